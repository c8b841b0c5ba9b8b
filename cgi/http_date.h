// The dates of HTTP headers: reading a request's date text and writing the
// date text of response headers and cookies. Weekday and month names come
// from fixed English tables, never from the locale.
#pragma once

#include <string>

#include "cgi/date_time.h"

namespace cgi {

// Reads an HTTP date in any of the usual forms:
//   "Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
//   "Sun Nov  6 08:49:37 1994".
// A two-digit year below 100 counts from 1900. A text that does not fit
// raises EConvertError.
TDateTime ParseHTTPDate(const std::string& text);

// "Thu, 05 Dec 2024 13:45:07 GMT". The value is written as stored: it is
// not converted to Greenwich time.
std::string HTTPDateText(TDateTime value);

}  // namespace cgi
