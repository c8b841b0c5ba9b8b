// MK_HTML: the small helpers of the banner service. The error log beside the
// executable, the address prefix of a visitor key, and the time strings that
// the statements store and compare, with the date-time formatting they use.
// Plain functions without state of their own; the overloads that take a
// moment or a path are the same work with the clock or the place given.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/clock.h"

namespace banner {

// The stamp of a log line: 2026.12.08  04:03:24.
inline constexpr const char* kLogStampPattern = "yyyy.mm.dd  hh:mm:ss";
// A time string: 2026-12-08  04:03:24. Every part has a fixed width and the
// larger units come first, so ordering two of them as text orders them in time.
inline constexpr const char* kTimeStringPattern = "yyyy\"-\"mm\"-\"dd  hh:mm:ss";

// A text that is no valid time of day (24:00:00 and later).
class ETimeConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Formats a local moment. Understood: yyyy (year, 4 digits), mm (month; the
// minutes when it follows an hh with only other characters between), dd,
// hh (00 to 23), ss; text in double quotes is copied without the quotes and
// every other character as it stands. Milliseconds are dropped.
std::string FormatDateTime(const std::string& pattern, const platform::DateTime& moment);

// The path of the error log: the executable's path with extension ".txt".
std::string LogPath();
// Appends one line: the stamp of now, " - ", the message, CR LF. Creates the
// file when it does not exist. Failures of the file system (OsError) reach
// the caller; there is no retry.
void LogError(const std::string& message);
void LogError(const std::string& path, const std::string& message, const platform::DateTime& now);

// The part of a dotted address before its second dot (192.168.10.20 gives
// 192.168). The last character is never examined, and a letter before the
// second dot leaves the address whole (IPv6 addresses stay as they are).
std::string FirstpartIP(const std::string& address);

// The time string of the moment `minutes` before now (local time). Valid
// minutes are 0 to 1439; others raise ETimeConversionError.
std::string PastTimeString(int minutes);
std::string PastTimeString(int minutes, const platform::DateTime& now);

}  // namespace banner
