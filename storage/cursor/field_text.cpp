#include "storage/cursor/field_text.h"

#include <charconv>
#include <cstdio>
#include <limits>

#include "platform/hex_digit.h"
#include "storage/byte_order.h"
#include "storage/record/bcd.h"
#include "storage/record/convert_error.h"
#include "storage/record/date_time.h"
#include "storage/record/field_value.h"
#include "storage/record/value_text.h"

namespace strata {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

std::string DoubleText(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string HexText(std::span<const uint8_t> bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (uint8_t byte : bytes) {
    text.push_back(kHexDigits[byte >> 4]);
    text.push_back(kHexDigits[byte & 15]);
  }
  return text;
}

std::vector<uint8_t> HexBytes(const TFieldDescriptor& field, std::string_view text) {
  if (text.size() % 2 != 0 || text.size() / 2 > field.DataSize) {
    throw EConvertError::Format("'%s' is not a valid value", text);
  }
  std::vector<uint8_t> bytes(field.DataSize, 0);
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = platform::HexDigit(text[i]);
    const int low = platform::HexDigit(text[i + 1]);
    if (high < 0 || low < 0) throw EConvertError::Format("'%s' is not a valid value", text);
    bytes[i / 2] = static_cast<uint8_t>(high * 16 + low);
  }
  return bytes;
}

}  // namespace

bool HasFieldText(const TFieldDescriptor& field) {
  switch (field.TypeCode) {
    case fldZSTRING:
    case fldDATE:
    case fldBOOL:
    case fldINT16:
    case fldINT32:
    case fldFLOAT:
    case fldBCD:
    case fldBYTES:
    case fldTIME:
    case fldTIMESTAMP:
    case fldUINT16:
    case fldUINT32:
    case fldFLOATIEEE:
    case fldVARBYTES:
    case fldINT64:
      return true;
    default:
      return false;
  }
}

std::optional<std::string> FormatFieldText(const TFieldDescriptor& field,
                                           std::span<const uint8_t> record,
                                           const TRecordContext& context) {
  switch (field.TypeCode) {
    case fldZSTRING:
      return GetFieldString(field, record, context);
    case fldDATE:
      if (auto day = GetFieldDate(field, record, context)) return DateText(*day);
      return std::nullopt;
    case fldBOOL:
      if (auto value = GetFieldBoolean(field, record, context)) return *value ? "TRUE" : "FALSE";
      return std::nullopt;
    case fldINT16:
    case fldINT32:
    case fldUINT16:
    case fldUINT32:
    case fldINT64:
      if (auto value = GetFieldInt64(field, record, context)) return std::to_string(*value);
      return std::nullopt;
    case fldFLOAT:
      if (auto value = GetFieldDouble(field, record, context)) return DoubleText(*value);
      return std::nullopt;
    case fldBCD:
      if (auto value = GetFieldBcd(field, record, context)) return value->ToText();
      return std::nullopt;
    case fldTIME:
      if (auto value = GetFieldTime(field, record, context)) return TimeText(*value);
      return std::nullopt;
    case fldTIMESTAMP:
      if (auto value = GetFieldTimestamp(field, record, context)) {
        int32_t day = 0;
        int32_t time = 0;
        SplitTimestamp(*value, day, time);
        return DateText(day) + " " + TimeText(time);
      }
      return std::nullopt;
    case fldBYTES:
    case fldFLOATIEEE:
    case fldVARBYTES:
      if (auto value = GetFieldBytes(field, record, context)) return HexText(*value);
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

std::vector<uint8_t> ParseFieldText(const TFieldDescriptor& field, std::string_view text) {
  switch (field.TypeCode) {
    case fldBYTES:
    case fldFLOATIEEE:
    case fldVARBYTES:
      return HexBytes(field, text);
    case fldUINT32: {
      std::vector<uint8_t> bytes(4);
      PutU32(bytes.data(), static_cast<uint32_t>(
                               ParseIntegerText(text, 0, std::numeric_limits<uint32_t>::max())));
      return bytes;
    }
    default:
      if (!HasFieldText(field)) throw EConvertError::Format("'%s' is not a valid value", text);
      return EncodeValueText(field, text);
  }
}

}  // namespace strata
