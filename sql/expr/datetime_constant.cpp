#include "sql/expr/datetime_constant.h"

#include <string>

#include "storage/record/date_time.h"

namespace strata {

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// Reads a decimal integer at `pos` (at most 9 digits); false when there is none.
bool ReadNumber(std::string_view text, size_t& pos, int& value, size_t* digits = nullptr) {
  const size_t start = pos;
  value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 9) {
    value = value * 10 + (text[pos] - '0');
    ++pos;
  }
  if (digits) *digits = pos - start;
  return pos > start;
}

bool IsAmPm(std::string_view text, size_t pos, char letter) {
  if (pos + 1 >= text.size()) return false;
  const char a = static_cast<char>(text[pos] & ~0x20);
  const char m = static_cast<char>(text[pos + 1] & ~0x20);
  return a == letter && m == 'M';
}

}  // namespace

std::optional<int32_t> ReadDateConstant(std::string_view text) {
  text = Trim(text);
  size_t pos = 0;
  int year = 0, month = 0, day = 0;
  if (!ReadNumber(text, pos, year) || pos >= text.size() || text[pos++] != '-') return std::nullopt;
  if (!ReadNumber(text, pos, month) || pos >= text.size() || text[pos++] != '-') {
    return std::nullopt;
  }
  if (!ReadNumber(text, pos, day) || pos != text.size()) return std::nullopt;
  int32_t day_number = 0;
  if (!TryEncodeDate(year, month, day, day_number)) return std::nullopt;
  return day_number;
}

std::optional<int32_t> ReadTimeConstant(std::string_view text) {
  // AM or PM may stand anywhere: take it out first.
  std::string clean;
  int am_pm = 0;  // 1 AM, 2 PM
  for (size_t i = 0; i < text.size(); ++i) {
    if (am_pm == 0 && (IsAmPm(text, i, 'A') || IsAmPm(text, i, 'P'))) {
      am_pm = (text[i] & ~0x20) == 'A' ? 1 : 2;
      ++i;
      continue;
    }
    clean.push_back(text[i]);
  }
  const std::string_view rest = Trim(clean);
  size_t pos = 0;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  if (!ReadNumber(rest, pos, hour) || pos >= rest.size() || rest[pos++] != ':') return std::nullopt;
  if (!ReadNumber(rest, pos, minute)) return std::nullopt;
  if (pos < rest.size() && rest[pos] == ':') {
    ++pos;
    if (!ReadNumber(rest, pos, second)) return std::nullopt;
    if (pos < rest.size() && rest[pos] == '.') {
      ++pos;
      size_t digits = 0;
      if (!ReadNumber(rest, pos, millisecond, &digits)) return std::nullopt;
      // ".5" is half a second.
      while (digits < 3) {
        millisecond *= 10;
        ++digits;
      }
      while (digits > 3) {
        millisecond /= 10;
        --digits;
      }
    }
  }
  if (pos != rest.size()) return std::nullopt;
  if (am_pm != 0) {
    if (hour < 1 || hour > 12) return std::nullopt;
    if (am_pm == 1 && hour == 12) hour = 0;
    if (am_pm == 2 && hour != 12) hour += 12;
  }
  int32_t time_ms = 0;
  if (!TryEncodeTime(hour, minute, second, millisecond, time_ms)) return std::nullopt;
  return time_ms;
}

std::optional<double> ReadTimestampConstant(std::string_view text) {
  text = Trim(text);
  const size_t blank = text.find(' ');
  if (blank == std::string_view::npos) {
    if (text.find(':') != std::string_view::npos) {
      auto time = ReadTimeConstant(text);
      if (!time) return std::nullopt;
      return MakeTimestamp(0, *time);
    }
    auto date = ReadDateConstant(text);
    if (!date) return std::nullopt;
    return MakeTimestamp(*date, 0);
  }
  auto date = ReadDateConstant(text.substr(0, blank));
  auto time = ReadTimeConstant(text.substr(blank + 1));
  if (!date || !time) return std::nullopt;
  return MakeTimestamp(*date, *time);
}

}  // namespace strata
