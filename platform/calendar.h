// The calendar: leap years, month lengths and day numbers of the proleptic
// Gregorian calendar, and the date-time parts the clock and the date codecs
// exchange. Day 1 is 1 January of year 1 (a Monday); 30 December 1899 is day
// 693594. Day numbers run on below 1 and past 9999-12-31 as the calendar
// would, so callers check their own ranges. All functions are pure.
#pragma once

#include <cstdint>

namespace platform {

// A calendar day.
struct CalendarDate {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
};

// A calendar day with a time of day and its weekday.
struct DateTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  int day_of_week = 0;  // 0 = Sunday
};

inline constexpr int64_t kDayNumber18991230 = 693594;
inline constexpr int64_t kDayNumber99991231 = 3652059;

bool IsLeapYear(int year);
// Days of a month (1..12) of the year.
int DaysInMonth(int year, int month);
// Whether the date lies in 1-01-01 .. 9999-12-31 and its month has the day.
bool IsValidDate(int year, int month, int day);

// The day number of a date (month 1..12; a day beyond the month's end runs on
// into the next).
int64_t DayNumber(int year, int month, int day);
// The date of any day number.
CalendarDate DateOfDayNumber(int64_t day_number);
// 0 = Sunday .. 6 = Saturday.
int DayOfWeek(int64_t day_number);

}  // namespace platform
