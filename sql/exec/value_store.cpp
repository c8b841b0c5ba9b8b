#include "sql/exec/value_store.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "sql/expr/datetime_constant.h"
#include "storage/cursor/data_cursor.h"
#include "storage/data/data_file.h"
#include "storage/record/convert_error.h"
#include "storage/record/date_time.h"
#include "storage/record/field_value.h"
#include "storage/record/value_text.h"
#include "storage/table/data_table.h"

namespace strata {

namespace {

using TEncoder = std::function<void(const TFieldDescriptor&, RecordSpan, const TRecordContext&)>;

// Encodes through the typed setters into a scratch record, then puts the
// field's data bytes into the cursor's buffer.
void PutEncoded(TDataCursor& cursor, uint16_t field, const TEncoder& encode) {
  const TFieldDescriptor& descriptor = cursor.Field(field);
  std::vector<uint8_t> scratch(cursor.RecordSize(), 0);
  encode(descriptor, scratch, cursor.Table().DataFile().Context());
  cursor.PutField(
      field, std::span<const uint8_t>(scratch.data() + descriptor.Offset + 1, descriptor.DataSize));
}

std::span<const uint8_t> BytesOf(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// A string read as a value text of the field's type; false when it is none.
bool PutText(TDataCursor& cursor, uint16_t field, const std::string& text) {
  try {
    cursor.PutFieldText(field, text);
    return true;
  } catch (const EConvertError&) {
    return false;
  }
}

bool StoreWhole(TDataCursor& cursor, uint16_t field, const TExpValue& value) {
  if (value.Type == fldBOOL || IsWholeType(value.Type)) {
    cursor.PutFieldInt64(field, value.Type == fldBOOL ? (value.Int != 0 ? 1 : 0) : value.Int);
    return true;
  }
  if (IsNumericType(value.Type)) {
    cursor.PutFieldInt64(field, std::llround(NumericAsDouble(value)));
    return true;
  }
  if (value.Type == fldZSTRING) return PutText(cursor, field, value.Str);
  return false;
}

bool StoreBoolean(TDataCursor& cursor, uint16_t field, const TExpValue& value) {
  if (value.Type == fldBOOL || IsWholeType(value.Type)) {
    const bool on = value.Int != 0;
    PutEncoded(cursor, field,
               [on](const TFieldDescriptor& d, RecordSpan r, const TRecordContext& c) {
                 SetFieldBoolean(d, r, on, c);
               });
    return true;
  }
  if (value.Type == fldZSTRING) return PutText(cursor, field, value.Str);
  return false;
}

bool StoreFloat(TDataCursor& cursor, uint16_t field, const TExpValue& value) {
  if (value.Type == fldBOOL || IsNumericType(value.Type)) {
    cursor.PutFieldDouble(
        field, value.Type == fldBOOL ? (value.Int != 0 ? 1.0 : 0.0) : NumericAsDouble(value));
    return true;
  }
  if (value.Type == fldZSTRING) return PutText(cursor, field, value.Str);
  return false;
}

bool StoreDate(TDataCursor& cursor, uint16_t field, const TExpValue& value) {
  std::optional<int32_t> day;
  if (value.Type == fldDATE) day = static_cast<int32_t>(value.Int);
  if (value.Type == fldTIMESTAMP) day = static_cast<int32_t>(std::floor(value.Float / kMsPerDay));
  if (value.Type == fldZSTRING) day = ReadDateConstant(value.Str);
  if (!day) return false;
  PutEncoded(cursor, field, [&](const TFieldDescriptor& d, RecordSpan r, const TRecordContext& c) {
    SetFieldDate(d, r, *day, c);
  });
  return true;
}

bool StoreTime(TDataCursor& cursor, uint16_t field, const TExpValue& value) {
  std::optional<int32_t> time;
  if (value.Type == fldTIME) time = static_cast<int32_t>(value.Int);
  if (value.Type == fldTIMESTAMP) time = static_cast<int32_t>(std::fmod(value.Float, kMsPerDay));
  if (value.Type == fldZSTRING) time = ReadTimeConstant(value.Str);
  if (!time) return false;
  PutEncoded(cursor, field, [&](const TFieldDescriptor& d, RecordSpan r, const TRecordContext& c) {
    SetFieldTime(d, r, *time, c);
  });
  return true;
}

bool StoreTimestamp(TDataCursor& cursor, uint16_t field, const TExpValue& value) {
  std::optional<double> stamp;
  if (value.Type == fldTIMESTAMP) stamp = value.Float;
  if (value.Type == fldDATE) stamp = static_cast<double>(value.Int) * kMsPerDay;
  if (value.Type == fldZSTRING) stamp = ReadTimestampConstant(value.Str);
  if (!stamp) return false;
  cursor.PutFieldDouble(field, *stamp);
  return true;
}

bool StoreBytes(TDataCursor& cursor, uint16_t field, const TExpValue& value) {
  if (value.Type != fldZSTRING && value.Type != fldBYTES && value.Type != fldVARBYTES &&
      value.Type != fldBLOB) {
    return false;
  }
  PutEncoded(cursor, field, [&](const TFieldDescriptor& d, RecordSpan r, const TRecordContext& c) {
    SetFieldBytes(d, r, BytesOf(value.Str), c);
  });
  return true;
}

bool StoreString(TDataCursor& cursor, uint16_t field, const TExpValue& value) {
  const TFieldDescriptor& descriptor = cursor.Field(field);
  const bool text = value.Type == fldZSTRING || value.Type == fldBLOB;
  std::string converted;
  if (!text) converted = ValueText(value);
  const std::string& source = text ? value.Str : converted;
  const size_t width = descriptor.DataSize > 0 ? descriptor.DataSize - 1u : 0;
  cursor.PutFieldString(field, std::string_view(source).substr(0, width));
  return true;
}

}  // namespace

std::string ValueText(const TExpValue& value) {
  char buffer[64];
  switch (value.Type) {
    case fldBOOL:
      return value.Int != 0 ? "TRUE" : "FALSE";
    case fldDATE:
      return DateText(static_cast<int32_t>(value.Int));
    case fldTIME:
      return TimeText(static_cast<int32_t>(value.Int));
    case fldTIMESTAMP: {
      const double day = std::floor(value.Float / kMsPerDay);
      return DateText(static_cast<int32_t>(day)) + " " +
             TimeText(static_cast<int32_t>(value.Float - day * kMsPerDay));
    }
    case fldFLOAT:
    case fldBCD:
      std::snprintf(buffer, sizeof buffer, "%.15g", value.Float);
      return buffer;
    default:
      if (IsWholeType(value.Type)) return std::to_string(value.Int);
      return value.Str;
  }
}

bool StoreValue(TDataCursor& cursor, uint16_t field, const TExpValue& value) {
  const TFieldDescriptor& descriptor = cursor.Field(field);
  const bool empty_text = value.Type == fldZSTRING && value.Str.empty();
  if (value.Null || value.Type == fldUNKNOWN ||
      (empty_text && (descriptor.TypeCode == fldZSTRING || descriptor.IsBlob()))) {
    cursor.PutFieldBlank(field);
    return true;
  }
  switch (descriptor.TypeCode) {
    case fldZSTRING:
      return StoreString(cursor, field, value);
    case fldBLOB:
      if (value.Type == fldZSTRING || value.Type == fldBLOB || value.Type == fldBYTES ||
          value.Type == fldVARBYTES) {
        cursor.PutField(field, BytesOf(value.Str));
      } else {
        cursor.PutField(field, BytesOf(ValueText(value)));
      }
      return true;
    case fldBOOL:
      return StoreBoolean(cursor, field, value);
    case fldINT16:
    case fldINT32:
    case fldUINT16:
    case fldUINT32:
    case fldINT64:
      return StoreWhole(cursor, field, value);
    case fldFLOAT:
    case fldBCD:
    case fldFLOATIEEE:
      return StoreFloat(cursor, field, value);
    case fldDATE:
      return StoreDate(cursor, field, value);
    case fldTIME:
      return StoreTime(cursor, field, value);
    case fldTIMESTAMP:
      return StoreTimestamp(cursor, field, value);
    case fldBYTES:
    case fldVARBYTES:
      return StoreBytes(cursor, field, value);
    default:
      return false;
  }
}

}  // namespace strata
