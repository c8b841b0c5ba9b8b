#include "storage/record/value_text.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <limits>

#include "platform/letter_case.h"
#include "storage/byte_order.h"
#include "storage/record/bcd.h"
#include "storage/record/convert_error.h"
#include "storage/record/date_time.h"
#include "storage/record/record_buffer.h"

namespace strata {
namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads an unsigned decimal number of 1..9 digits at the front of `text`.
bool TakeNumber(std::string_view& text, int& value) {
  size_t length = 0;
  while (length < text.size() && IsDigit(text[length])) ++length;
  if (length == 0 || length > 9) return false;
  std::from_chars(text.data(), text.data() + length, value);
  text.remove_prefix(length);
  return true;
}

bool TakeChar(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

// year-month-day
bool TryParseDate(std::string_view text, int32_t& day_number) {
  int year = 0;
  int month = 0;
  int day = 0;
  if (!TakeNumber(text, year) || !TakeChar(text, '-') || !TakeNumber(text, month) ||
      !TakeChar(text, '-') || !TakeNumber(text, day) || !text.empty()) {
    return false;
  }
  return TryEncodeDate(year, month, day, day_number);
}

// hours:minutes[:seconds[.fraction]] [AM|PM]
bool TryParseTime(std::string_view text, int32_t& time_ms) {
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  if (!TakeNumber(text, hour) || !TakeChar(text, ':') || !TakeNumber(text, minute)) return false;
  if (TakeChar(text, ':')) {
    if (!TakeNumber(text, second)) return false;
    if (TakeChar(text, '.')) {
      // Milliseconds from the first three fraction digits; finer ones drop.
      size_t length = 0;
      while (length < text.size() && IsDigit(text[length])) ++length;
      if (length == 0) return false;
      for (size_t i = 0; i < 3; ++i) {
        millisecond = millisecond * 10 + (i < length ? text[i] - '0' : 0);
      }
      text.remove_prefix(length);
    }
  }
  text = TrimBlanks(text);
  if (!text.empty()) {
    const bool am = platform::SameAsciiIgnoringCase(text, "AM");
    const bool pm = platform::SameAsciiIgnoringCase(text, "PM");
    if ((!am && !pm) || hour > 12) return false;
    if (hour == 12) hour = 0;
    if (pm) hour += 12;
  }
  return TryEncodeTime(hour, minute, second, millisecond, time_ms);
}

bool IsFloatSyntax(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t exponent_digits = 0;
    while (i < text.size() && IsDigit(text[i])) ++i, ++exponent_digits;
    if (exponent_digits == 0) return false;
  }
  return i == text.size();
}

std::vector<uint8_t> Bytes16(uint16_t value) {
  std::vector<uint8_t> bytes(2);
  PutU16(bytes.data(), value);
  return bytes;
}

std::vector<uint8_t> Bytes32(uint32_t value) {
  std::vector<uint8_t> bytes(4);
  PutU32(bytes.data(), value);
  return bytes;
}

std::vector<uint8_t> Bytes64(uint64_t value) {
  std::vector<uint8_t> bytes(8);
  PutU64(bytes.data(), value);
  return bytes;
}

std::vector<uint8_t> BytesF64(double value) {
  std::vector<uint8_t> bytes(8);
  PutF64(bytes.data(), value);
  return bytes;
}

}  // namespace

int32_t ParseDateText(std::string_view text) {
  const std::string_view body = TrimBlanks(text);
  if (platform::SameAsciiIgnoringCase(body, "CURRENT_DATE")) return CurrentDate();
  int32_t day_number = 0;
  if (!TryParseDate(body, day_number)) throw EConvertError::Format(kInvalidDate, text);
  return day_number;
}

int32_t ParseTimeText(std::string_view text) {
  const std::string_view body = TrimBlanks(text);
  if (platform::SameAsciiIgnoringCase(body, "CURRENT_TIME")) return CurrentTime();
  int32_t time_ms = 0;
  if (!TryParseTime(body, time_ms)) throw EConvertError::Format(kInvalidTime, text);
  return time_ms;
}

double ParseTimestampText(std::string_view text) {
  const std::string_view body = TrimBlanks(text);
  if (platform::SameAsciiIgnoringCase(body, "CURRENT_TIMESTAMP")) return CurrentTimestamp();
  if (platform::SameAsciiIgnoringCase(body, "CURRENT_DATE")) return MakeTimestamp(CurrentDate(), 0);
  if (platform::SameAsciiIgnoringCase(body, "CURRENT_TIME")) return MakeTimestamp(0, CurrentTime());
  const size_t blank = body.find(' ');
  int32_t day_number = 0;
  int32_t time_ms = 0;
  if (blank == std::string_view::npos || !TryParseDate(body.substr(0, blank), day_number) ||
      !TryParseTime(TrimBlanks(body.substr(blank)), time_ms)) {
    throw EConvertError::Format(kInvalidDateTime, text);
  }
  return MakeTimestamp(day_number, time_ms);
}

bool ParseBooleanText(std::string_view text) {
  const std::string_view body = TrimBlanks(text);
  if (platform::SameAsciiIgnoringCase(body, "TRUE")) return true;
  if (platform::SameAsciiIgnoringCase(body, "FALSE")) return false;
  throw EConvertError::Format(kInvalidBoolean, text);
}

int64_t ParseIntegerText(std::string_view text, int64_t min, int64_t max) {
  std::string_view body = TrimBlanks(text);
  if (body.size() > 1 && body.front() == '+' && IsDigit(body[1])) body.remove_prefix(1);
  int64_t value = 0;
  const auto result = std::from_chars(body.data(), body.data() + body.size(), value);
  if (body.empty() || result.ec != std::errc() || result.ptr != body.data() + body.size() ||
      value < min || value > max) {
    throw EConvertError::Format(kInvalidInteger, text);
  }
  return value;
}

double ParseFloatText(std::string_view text) {
  std::string_view body = TrimBlanks(text);
  if (!IsFloatSyntax(body)) throw EConvertError::Format(kInvalidFloat, text);
  if (body.front() == '+') body.remove_prefix(1);
  double value = 0;
  const auto result = std::from_chars(body.data(), body.data() + body.size(), value);
  if (result.ec != std::errc() || result.ptr != body.data() + body.size()) {
    throw EConvertError::Format(kInvalidFloat, text);
  }
  return value;
}

std::vector<uint8_t> EncodeValueText(const TFieldDescriptor& field, std::string_view text) {
  switch (field.TypeCode) {
    case fldZSTRING:
      return std::vector<uint8_t>(text.begin(), text.end());
    case fldDATE:
      return Bytes32(static_cast<uint32_t>(ParseDateText(text)));
    case fldBOOL:
      return Bytes16(ParseBooleanText(text) ? 1 : 0);
    case fldINT16:
      return Bytes16(static_cast<uint16_t>(ParseIntegerText(text, -32768, 32767)));
    case fldINT32:
      return Bytes32(static_cast<uint32_t>(ParseIntegerText(
          text, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max())));
    case fldUINT16:
      return Bytes16(static_cast<uint16_t>(ParseIntegerText(text, 0, 65535)));
    case fldINT64:
      return Bytes64(static_cast<uint64_t>(ParseIntegerText(
          text, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max())));
    case fldFLOAT:
      return BytesF64(ParseFloatText(text));
    case fldBCD: {
      std::vector<uint8_t> bytes(TBcd::kSize);
      TBcd::FromText(text).Rescaled(field.Decimals).Encode(bytes.data());
      return bytes;
    }
    case fldTIME:
      return Bytes32(static_cast<uint32_t>(ParseTimeText(text)));
    case fldTIMESTAMP:
      return BytesF64(ParseTimestampText(text));
    default:
      throw EConvertError::Format("'%s' is not a valid value", text);
  }
}

bool IsValidValueText(const TFieldDescriptor& field, std::string_view text) {
  if (text.empty()) return true;
  try {
    EncodeValueText(field, text);
    return true;
  } catch (const EConvertError&) {
    return false;
  }
}

bool SetFieldFromText(const TFieldDescriptor& field, std::span<uint8_t> record,
                      std::string_view text, const TRecordContext& context) {
  if (text.empty() && field.TypeCode != fldZSTRING) return SetFieldBlank(field, record, context);
  const std::vector<uint8_t> value = EncodeValueText(field, text);
  return SetField(field, record, value, context);
}

std::string DateText(int32_t day_number) {
  TCalendarDate date;
  if (!TryDecodeDate(day_number, date)) return std::to_string(day_number);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
  return text;
}

std::string TimeText(int32_t time_ms) {
  const TTimeOfDay time = DecodeTime(time_ms);
  char text[32];
  if (time.Millisecond != 0) {
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", time.Hour, time.Minute, time.Second,
                  time.Millisecond);
  } else {
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", time.Hour, time.Minute, time.Second);
  }
  return text;
}

}  // namespace strata
