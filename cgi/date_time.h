// Date-time values as the gateway stores them: days since 1899-12-30 as a
// double, the fraction being the time of day; -1 means "not set".
// The calendar itself is platform/calendar.h.
#pragma once

#include "platform/calendar.h"

namespace cgi {

using TDateTime = double;

// The calendar parts of a value (milliseconds always 0).
using TDateTimeParts = platform::DateTime;

// The value of a calendar date plus a time of day. Raises EConvertError when
// a part is out of range (month 13, day 31 of April, hour 24, ...).
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second);

// The calendar parts of a value, to the second. For values below 0 the whole
// days count back from 1899-12-30 and the fraction's absolute value is the
// time of day.
TDateTimeParts DecodeDateTime(TDateTime value);

}  // namespace cgi
