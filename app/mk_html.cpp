#include "app/mk_html.h"

#include <cstdio>
#include <exception>

#include "app/exe_files.h"
#include "cgi/date_time.h"
#include "platform/file.h"
#include "platform/windows1252.h"

using namespace platform::literals;

namespace banner {
namespace {

// `value` (not negative) in decimal, padded with zeros to `width` digits.
void AppendDigits(std::string& out, int value, int width) {
  char digits[16];
  int count = 0;
  auto rest = static_cast<unsigned>(value);
  do {
    digits[count++] = static_cast<char>('0' + rest % 10);
    rest /= 10;
  } while (rest != 0);
  for (int pad = count; pad < width; ++pad) out += '0';
  while (count > 0) out += digits[--count];
}

// The characters of `pattern` from `at` on that repeat pattern[at].
size_t RunLength(const std::string& pattern, size_t at) {
  size_t end = at;
  while (end < pattern.size() && pattern[end] == pattern[at]) ++end;
  return end - at;
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string FormatDateTime(const std::string& pattern, const platform::DateTime& moment) {
  std::string out;
  bool after_hour = false;  // the last field written was hh: mm means minutes
  size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c == '"' || c == '\'') {
      const size_t close = pattern.find(c, i + 1);
      const size_t end = close == std::string::npos ? pattern.size() : close;
      out.append(pattern, i + 1, end - i - 1);
      i = close == std::string::npos ? end : close + 1;
      continue;
    }
    if (!IsLetter(c)) {
      out += c;
      ++i;
      continue;
    }
    const size_t run = RunLength(pattern, i);
    switch (Lower(c)) {
      case 'y':
        AppendDigits(out, run <= 2 ? moment.year % 100 : moment.year, run <= 2 ? 2 : 4);
        after_hour = false;
        break;
      case 'm':
        AppendDigits(out, after_hour ? moment.minute : moment.month, run >= 2 ? 2 : 1);
        after_hour = false;
        break;
      case 'd':
        AppendDigits(out, moment.day, run >= 2 ? 2 : 1);
        after_hour = false;
        break;
      case 'h':
        AppendDigits(out, moment.hour, run >= 2 ? 2 : 1);
        after_hour = true;
        break;
      case 'n':
        AppendDigits(out, moment.minute, run >= 2 ? 2 : 1);
        after_hour = false;
        break;
      case 's':
        AppendDigits(out, moment.second, run >= 2 ? 2 : 1);
        after_hour = false;
        break;
      default:
        out.append(pattern, i, run);
        break;
    }
    i += run;
  }
  return out;
}

std::string LogPath() { return ExecutableWithExtension(".txt"); }

void LogError(const std::string& message) { LogError(LogPath(), message, platform::LocalNow()); }

void LogError(const std::string& path, const std::string& message, const platform::DateTime& now) {
  // One appending write per line: lines of other processes are never lost
  // (a create-and-replace of a missing file could wipe a line another
  // process appended a moment before).
  platform::AppendToFile(path, FormatDateTime(kLogStampPattern, now) + " - " + message + "\r\n");
}

std::string FirstpartIP(const std::string& address) {
  std::string result = address;
  try {
    int dots = 0;
    for (size_t i = 0; i + 1 < address.size(); ++i) {
      if (IsLetter(address[i])) break;
      if (address[i] == '.' && ++dots == 2) result = address.substr(0, i);
    }
  } catch (const std::exception& error) {
    LogError(std::string("FirstpartIP ") + error.what());
  }
  return result;
}

std::string PastTimeString(int minutes) { return PastTimeString(minutes, platform::LocalNow()); }

std::string PastTimeString(int minutes, const platform::DateTime& now) {
  const int hours = minutes / 60;
  if (minutes < 0 || hours >= 24) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:00", minutes / 60, minutes % 60);
    throw ETimeConversionError(std::string("'") + text + "' ist keine gültige Uhrzeit"_w1252);
  }
  // Whole seconds on the scale of days: milliseconds are dropped first, so
  // the rounding to the second when decoding gives the exact result.
  const cgi::TDateTime moment =
      cgi::EncodeDateTime(now.year, now.month, now.day, now.hour, now.minute, now.second) -
      (hours * 3600.0 + (minutes % 60) * 60.0) / 86400.0;
  return FormatDateTime(kTimeStringPattern, cgi::DecodeDateTime(moment));
}

}  // namespace banner
