#include "storage/record/field_value.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "storage/byte_order.h"
#include "storage/engine_error.h"
#include "storage/record/record_buffer.h"

namespace strata {
namespace {

[[noreturn]] void RaiseWrongType(const TFieldDescriptor& field, const TRecordContext& context) {
  RaiseFieldError(STRATA_INVALIDFLDTYPE, field.Name, context.TableName);
}

bool IsIntegerCode(uint8_t code) {
  switch (code) {
    case fldDATE:
    case fldBOOL:
    case fldINT16:
    case fldINT32:
    case fldTIME:
    case fldUINT16:
    case fldUINT32:
    case fldINT64:
      return true;
    default:
      return false;
  }
}

void Require(bool accepted, const TFieldDescriptor& field, const TRecordContext& context) {
  if (!accepted) RaiseWrongType(field, context);
}

// The field's data bytes, or nullopt when blank.
std::optional<std::vector<uint8_t>> Read(const TFieldDescriptor& field, RecordView record,
                                         const TRecordContext& context) {
  std::vector<uint8_t> data(std::max<size_t>(field.DataSize, field.IsAutoInc() ? 4 : 0));
  if (GetField(field, record, data, context)) return std::nullopt;
  return data;
}

// The data bytes of a number field (at most 8 bytes) into `out`, without
// allocating; false when blank.
bool ReadNumber(const TFieldDescriptor& field, RecordView record, uint8_t (&out)[8],
                const TRecordContext& context) {
  const size_t size = std::max<size_t>(field.DataSize, field.IsAutoInc() ? 4 : 0);
  if (size > sizeof out) {
    // Not a number field's size: read as any other field.
    const auto data = Read(field, record, context);
    if (!data) return false;
    std::copy_n(data->begin(), sizeof out, out);
    return true;
  }
  return !GetField(field, record, std::span<uint8_t>(out, size), context);
}

// Raises STRATA_MINVALERR (9730) / STRATA_MAXVALERR (9731) unless
// min <= value <= max.
void RequireRange(int64_t value, int64_t min, int64_t max, const TFieldDescriptor& field,
                  const TRecordContext& context) {
  if (value < min) RaiseFieldError(STRATA_MINVALERR, field.Name, context.TableName);
  if (value > max) RaiseFieldError(STRATA_MAXVALERR, field.Name, context.TableName);
}

bool Write(const TFieldDescriptor& field, RecordSpan record, std::span<const uint8_t> value,
           const TRecordContext& context) {
  return SetField(field, record, value, context);
}

bool WriteF64(const TFieldDescriptor& field, RecordSpan record, double value,
              const TRecordContext& context) {
  uint8_t bytes[8];
  PutF64(bytes, value);
  return Write(field, record, bytes, context);
}

}  // namespace

std::optional<int64_t> GetFieldInt64(const TFieldDescriptor& field, RecordView record,
                                     const TRecordContext& context) {
  Require(IsIntegerCode(field.TypeCode), field, context);
  uint8_t p[8] = {};
  if (!ReadNumber(field, record, p, context)) return std::nullopt;
  switch (field.TypeCode) {
    case fldINT16:
      return static_cast<int16_t>(GetU16(p));
    case fldBOOL:
    case fldUINT16:
      return GetU16(p);
    case fldUINT32:
      return GetU32(p);
    case fldINT64:
      return static_cast<int64_t>(GetU64(p));
    default:  // date, 32-bit integer, auto-increment, time
      return GetI32(p);
  }
}

std::optional<double> GetFieldDouble(const TFieldDescriptor& field, RecordView record,
                                     const TRecordContext& context) {
  switch (field.TypeCode) {
    case fldFLOAT:
    case fldTIMESTAMP: {
      uint8_t p[8] = {};
      if (!ReadNumber(field, record, p, context)) return std::nullopt;
      return GetF64(p);
    }
    case fldBCD: {
      const auto value = GetFieldBcd(field, record, context);
      if (!value) return std::nullopt;
      return value->ToDouble();
    }
    default: {
      const auto value = GetFieldInt64(field, record, context);
      if (!value) return std::nullopt;
      return static_cast<double>(*value);
    }
  }
}

std::optional<std::string> GetFieldString(const TFieldDescriptor& field, RecordView record,
                                          const TRecordContext& context) {
  Require(field.TypeCode == fldZSTRING, field, context);
  const auto data = Read(field, record, context);
  if (!data) return std::nullopt;
  const auto* chars = reinterpret_cast<const char*>(data->data());
  // Never past the data bytes, even when a damaged record lacks the zero.
  const size_t length = std::find(chars, chars + data->size(), '\0') - chars;
  return std::string(chars, length);
}

std::optional<bool> GetFieldBoolean(const TFieldDescriptor& field, RecordView record,
                                    const TRecordContext& context) {
  Require(field.TypeCode == fldBOOL, field, context);
  const auto data = Read(field, record, context);
  if (!data) return std::nullopt;
  return GetU16(data->data()) != 0;
}

std::optional<int32_t> GetFieldDate(const TFieldDescriptor& field, RecordView record,
                                    const TRecordContext& context) {
  Require(field.TypeCode == fldDATE, field, context);
  const auto data = Read(field, record, context);
  if (!data) return std::nullopt;
  return GetI32(data->data());
}

std::optional<int32_t> GetFieldTime(const TFieldDescriptor& field, RecordView record,
                                    const TRecordContext& context) {
  Require(field.TypeCode == fldTIME, field, context);
  const auto data = Read(field, record, context);
  if (!data) return std::nullopt;
  return GetI32(data->data());
}

std::optional<double> GetFieldTimestamp(const TFieldDescriptor& field, RecordView record,
                                        const TRecordContext& context) {
  Require(field.TypeCode == fldTIMESTAMP, field, context);
  const auto data = Read(field, record, context);
  if (!data) return std::nullopt;
  return GetF64(data->data());
}

std::optional<TBcd> GetFieldBcd(const TFieldDescriptor& field, RecordView record,
                                const TRecordContext& context) {
  Require(field.TypeCode == fldBCD, field, context);
  const auto data = Read(field, record, context);
  if (!data) return std::nullopt;
  return TBcd::Decode(data->data());
}

std::optional<std::vector<uint8_t>> GetFieldBytes(const TFieldDescriptor& field, RecordView record,
                                                  const TRecordContext& context) {
  Require(field.TypeCode == fldBYTES || field.TypeCode == fldVARBYTES ||
              field.TypeCode == fldUINT32 || field.TypeCode == fldFLOATIEEE,
          field, context);
  return Read(field, record, context);
}

bool SetFieldInt64(const TFieldDescriptor& field, RecordSpan record, int64_t value,
                   const TRecordContext& context) {
  Require(IsIntegerCode(field.TypeCode), field, context);
  uint8_t bytes[8] = {};
  switch (field.TypeCode) {
    case fldBOOL:
      PutU16(bytes, value != 0 ? 1 : 0);
      break;
    case fldINT16:
      RequireRange(value, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max(),
                   field, context);
      PutU16(bytes, static_cast<uint16_t>(value));
      break;
    case fldUINT16:
      RequireRange(value, 0, std::numeric_limits<uint16_t>::max(), field, context);
      PutU16(bytes, static_cast<uint16_t>(value));
      break;
    case fldUINT32:
      RequireRange(value, 0, std::numeric_limits<uint32_t>::max(), field, context);
      PutU32(bytes, static_cast<uint32_t>(value));
      break;
    case fldINT64:
      PutU64(bytes, static_cast<uint64_t>(value));
      break;
    default:  // date, 32-bit integer, auto-increment, time
      RequireRange(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                   field, context);
      PutI32(bytes, static_cast<int32_t>(value));
      break;
  }
  return Write(field, record, bytes, context);
}

bool SetFieldDouble(const TFieldDescriptor& field, RecordSpan record, double value,
                    const TRecordContext& context) {
  switch (field.TypeCode) {
    case fldFLOAT:
    case fldTIMESTAMP:
      return WriteF64(field, record, value, context);
    case fldBCD:
      return SetFieldBcd(field, record, TBcd::FromDouble(value, field.Decimals), context);
    default:
      RaiseWrongType(field, context);
  }
}

bool SetFieldString(const TFieldDescriptor& field, RecordSpan record, std::string_view value,
                    const TRecordContext& context) {
  Require(field.TypeCode == fldZSTRING, field, context);
  return Write(field, record,
               std::span(reinterpret_cast<const uint8_t*>(value.data()), value.size()), context);
}

bool SetFieldBoolean(const TFieldDescriptor& field, RecordSpan record, bool value,
                     const TRecordContext& context) {
  Require(field.TypeCode == fldBOOL, field, context);
  uint8_t bytes[2];
  PutU16(bytes, value ? 1 : 0);
  return Write(field, record, bytes, context);
}

bool SetFieldDate(const TFieldDescriptor& field, RecordSpan record, int32_t day_number,
                  const TRecordContext& context) {
  Require(field.TypeCode == fldDATE, field, context);
  uint8_t bytes[4];
  PutI32(bytes, day_number);
  return Write(field, record, bytes, context);
}

bool SetFieldTime(const TFieldDescriptor& field, RecordSpan record, int32_t time_ms,
                  const TRecordContext& context) {
  Require(field.TypeCode == fldTIME, field, context);
  uint8_t bytes[4];
  PutI32(bytes, time_ms);
  return Write(field, record, bytes, context);
}

bool SetFieldTimestamp(const TFieldDescriptor& field, RecordSpan record, double timestamp,
                       const TRecordContext& context) {
  Require(field.TypeCode == fldTIMESTAMP, field, context);
  return WriteF64(field, record, timestamp, context);
}

bool SetFieldBcd(const TFieldDescriptor& field, RecordSpan record, const TBcd& value,
                 const TRecordContext& context) {
  Require(field.TypeCode == fldBCD, field, context);
  uint8_t bytes[TBcd::kSize];
  value.Rescaled(field.Decimals).Encode(bytes);
  return Write(field, record, bytes, context);
}

bool SetFieldBytes(const TFieldDescriptor& field, RecordSpan record, std::span<const uint8_t> value,
                   const TRecordContext& context) {
  Require(field.TypeCode == fldBYTES || field.TypeCode == fldVARBYTES ||
              field.TypeCode == fldUINT32 || field.TypeCode == fldFLOATIEEE,
          field, context);
  std::vector<uint8_t> data(field.DataSize, 0);
  std::copy_n(value.begin(), std::min(value.size(), data.size()), data.begin());
  return Write(field, record, data, context);
}

}  // namespace strata
