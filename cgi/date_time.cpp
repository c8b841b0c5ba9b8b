#include "cgi/date_time.h"

#include <cmath>
#include <string>

#include "cgi/errors.h"
#include "platform/windows1252.h"

namespace cgi {

using namespace platform::literals;

namespace {

// Days from 1970-01-01 to a civil date (proleptic Gregorian calendar).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& year, int& month, int& day) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long y = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// 1899-12-30, day 0 of the date-time scale, counted from 1970-01-01.
const long long kEpochOffset = DaysFromCivil(1899, 12, 30);

}  // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59) {
    throw EConvertError("Ungültiges Argument zum Codieren des Datums"_w1252);
  }
  double days = static_cast<double>(DaysFromCivil(year, month, day) - kEpochOffset);
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
  CivilFromDays(days + kEpochOffset, parts.Year, parts.Month, parts.Day);
  parts.Hour = static_cast<int>(seconds / 3600);
  parts.Minute = static_cast<int>(seconds / 60 % 60);
  parts.Second = static_cast<int>(seconds % 60);
  long long weekday = (days + kEpochOffset + 4) % 7;  // 1970-01-01 was a Thursday
  parts.DayOfWeek = static_cast<int>(weekday < 0 ? weekday + 7 : weekday);
  return parts;
}

}  // namespace cgi
