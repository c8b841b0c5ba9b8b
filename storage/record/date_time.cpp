#include "storage/record/date_time.h"

#include <cmath>

#include "platform/clock.h"

namespace strata {

bool TryEncodeDate(int year, int month, int day, int32_t& day_number) {
  if (!platform::IsValidDate(year, month, day)) return false;
  day_number = static_cast<int32_t>(platform::DayNumber(year, month, day));
  return true;
}

bool TryDecodeDate(int32_t day_number, TCalendarDate& date) {
  if (day_number < 1 || day_number > kMaxDayNumber) return false;
  date = platform::DateOfDayNumber(day_number);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, int32_t& time_ms) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      millisecond < 0 || millisecond > 999) {
    return false;
  }
  time_ms = ((hour * 60 + minute) * 60 + second) * 1000 + millisecond;
  return true;
}

TTimeOfDay DecodeTime(int32_t time_ms) {
  int32_t ms = time_ms % kMsPerDay;
  if (ms < 0) ms += kMsPerDay;
  return TTimeOfDay{ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000};
}

double MakeTimestamp(int32_t day_number, int32_t time_ms) {
  return static_cast<double>(day_number) * kMsPerDay + time_ms;
}

void SplitTimestamp(double timestamp, int32_t& day_number, int32_t& time_ms) {
  // A value no timestamp field can hold (damaged bytes) reads as day 0.
  constexpr double kLimit = 2147483647.0 * kMsPerDay;
  if (!std::isfinite(timestamp) || std::fabs(timestamp) >= kLimit) {
    day_number = 0;
    time_ms = 0;
    return;
  }
  const double whole = std::round(timestamp);
  const double day = std::floor(whole / kMsPerDay);
  day_number = static_cast<int32_t>(day);
  time_ms = static_cast<int32_t>(whole - day * kMsPerDay);
}

int32_t CurrentDate() {
  const platform::DateTime now = platform::LocalNow();
  int32_t day_number = 0;
  TryEncodeDate(now.year, now.month, now.day, day_number);
  return day_number;
}

int32_t CurrentTime() {
  const platform::DateTime now = platform::LocalNow();
  int32_t time_ms = 0;
  TryEncodeTime(now.hour, now.minute, now.second, now.millisecond, time_ms);
  return time_ms;
}

double CurrentTimestamp() {
  // One reading of the clock, so date and time belong together at midnight.
  const platform::DateTime now = platform::LocalNow();
  int32_t day_number = 0;
  int32_t time_ms = 0;
  TryEncodeDate(now.year, now.month, now.day, day_number);
  TryEncodeTime(now.hour, now.minute, now.second, now.millisecond, time_ms);
  return MakeTimestamp(day_number, time_ms);
}

}  // namespace strata
