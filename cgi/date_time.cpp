#include "cgi/date_time.h"

#include <cmath>
#include <string>

#include "cgi/errors.h"
#include "platform/windows1252.h"

namespace cgi {

using namespace platform::literals;

namespace {

// Day 0 of the date-time scale, 1899-12-30, as a calendar day number.
constexpr long long kDay0 = platform::kDayNumber18991230;

}  // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second) {
  if (!platform::IsValidDate(year, month, day) || hour < 0 || hour > 23 || minute < 0 ||
      minute > 59 || second < 0 || second > 59) {
    throw EConvertError("Ungültiges Argument zum Codieren des Datums"_w1252);
  }
  double days = static_cast<double>(platform::DayNumber(year, month, day) - kDay0);
  double time = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
  // Before day 0 the fraction still counts forward from midnight.
  return days >= 0 ? days + time : days - time;
}

TDateTimeParts DecodeDateTime(TDateTime value) {
  // 0001-01-01 to 9999-12-31 and nothing beyond.
  if (!(value > -693594.0 && value < 2958466.0)) {
    throw EConvertError("'" + std::to_string(value) + "' ist kein gültiges Datum"_w1252);
  }
  TDateTimeParts parts;
  double whole = std::trunc(value);
  double fraction = std::fabs(value - whole);
  long long seconds = std::llround(fraction * 86400.0);
  long long days = static_cast<long long>(whole);
  if (seconds >= 86400) {  // rounding reached the next midnight
    seconds -= 86400;
    days += value >= 0 ? 1 : -1;
  }
  const platform::CalendarDate date = platform::DateOfDayNumber(days + kDay0);
  parts.year = date.year;
  parts.month = date.month;
  parts.day = date.day;
  parts.hour = static_cast<int>(seconds / 3600);
  parts.minute = static_cast<int>(seconds / 60 % 60);
  parts.second = static_cast<int>(seconds % 60);
  parts.day_of_week = platform::DayOfWeek(days + kDay0);
  return parts;
}

}  // namespace cgi
