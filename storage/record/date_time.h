// Day numbers, times of day and timestamps as the record encoding keeps them:
// a date is the day number counted from 1 January of year 1 (= day 1; 30
// December 1899 is day 693594), a time the milliseconds since midnight, a
// timestamp the milliseconds since 1 January of year 1, 00:00, as a double
// (day number x 86,400,000 + time of day).
// The calendar itself (leap years, month lengths, day numbers) is
// platform/calendar.h, shared with the gateway.
#pragma once

#include <cstdint>

#include "platform/calendar.h"

namespace strata {

constexpr int32_t kDayNumber18991230 = static_cast<int32_t>(platform::kDayNumber18991230);
constexpr int32_t kMaxDayNumber = static_cast<int32_t>(platform::kDayNumber99991231);
constexpr int32_t kMsPerDay = 86400000;

using TCalendarDate = platform::CalendarDate;

struct TTimeOfDay {
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int Millisecond = 0;
};

using platform::DaysInMonth;
using platform::IsLeapYear;

// False for a date outside 1-01-01 .. 9999-12-31 or a day the month lacks.
bool TryEncodeDate(int year, int month, int day, int32_t& day_number);
// False for a day number outside 1 .. kMaxDayNumber.
bool TryDecodeDate(int32_t day_number, TCalendarDate& date);

// False unless 0 <= hour < 24, minute and second < 60, millisecond < 1000.
bool TryEncodeTime(int hour, int minute, int second, int millisecond, int32_t& time_ms);
// Any value is taken modulo one day.
TTimeOfDay DecodeTime(int32_t time_ms);

double MakeTimestamp(int32_t day_number, int32_t time_ms);
// Splits a timestamp into its day number and time of day (rounded to whole
// milliseconds).
void SplitTimestamp(double timestamp, int32_t& day_number, int32_t& time_ms);

// The local clock: today's day number, the time of day, and both together.
int32_t CurrentDate();
int32_t CurrentTime();
double CurrentTimestamp();

}  // namespace strata
