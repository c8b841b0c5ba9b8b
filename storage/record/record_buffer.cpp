#include "storage/record/record_buffer.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/nls.h"
#include "storage/byte_order.h"
#include "storage/engine_error.h"
#include "storage/record/record_header.h"

namespace strata {
namespace {

constexpr size_t kBlobReferenceSize = 4;
constexpr size_t kAutoIncSize = 4;
constexpr uint8_t kCaseLower = 1;
constexpr uint8_t kCaseUpper = 2;

// The bytes a field occupies in the record: the 4-byte row number for an
// auto-increment field, else its flag byte and data bytes. Raises
// STRATA_OUTOFRANGE (9985) when they do not lie inside the buffer (a not-stored
// field without a place).
template <typename Byte>
std::span<Byte> FieldSlot(const TFieldDescriptor& field, std::span<Byte> record,
                          const TRecordContext& context) {
  if (field.IsAutoInc()) {
    if (record.size() < kRowNumberOffset + kAutoIncSize) {
      RaiseFieldError(STRATA_OUTOFRANGE, field.Name, context.TableName);
    }
    return record.subspan(kRowNumberOffset, kAutoIncSize);
  }
  const size_t size = size_t{1} + field.DataSize;
  if (field.Offset < kRecordHeaderSize || field.Offset + size > record.size()) {
    RaiseFieldError(STRATA_OUTOFRANGE, field.Name, context.TableName);
  }
  return record.subspan(field.Offset, size);
}

// A string value by the set rules: cut at the first zero and at data size -
// 1 bytes, trailing spaces removed, the field's character case applied.
std::string StringValue(const TFieldDescriptor& field, std::span<const uint8_t> value,
                        const TRecordContext& context) {
  const size_t capacity = field.DataSize == 0 ? 0 : field.DataSize - 1u;
  const auto* chars = reinterpret_cast<const char*>(value.data());
  size_t length = std::min(value.size(), capacity);
  length = std::find(chars, chars + length, '\0') - chars;
  while (length > 0 && chars[length - 1] == ' ') --length;
  std::string text(chars, length);
  if (field.CharCase == kCaseLower) {
    text = platform::nls::ToLower(context.NlsLocaleId(), text);
  } else if (field.CharCase == kCaseUpper) {
    text = platform::nls::ToUpper(context.NlsLocaleId(), text);
  }
  // The mapping keeps one byte per character; cut again should it not.
  if (text.size() > capacity) text.resize(capacity);
  return text;
}

// `value` must hold at least `count` bytes for a fixed-size type.
void RequireValueBytes(const TFieldDescriptor& field, std::span<const uint8_t> value, size_t count,
                       const TRecordContext& context) {
  if (value.size() < count) RaiseFieldError(STRATA_INVALIDFLDTYPE, field.Name, context.TableName);
}

}  // namespace

bool GetField(const TFieldDescriptor& field, std::span<const uint8_t> record,
              std::span<uint8_t> dest, const TRecordContext& context) {
  if (field.NotStored && !field.IsAutoInc() &&
      (field.Offset < kRecordHeaderSize || field.Offset + 1u + field.DataSize > record.size())) {
    // No place in this buffer: nothing was ever stored.
    if (!dest.empty()) std::fill_n(dest.begin(), std::min<size_t>(dest.size(), field.DataSize), 0);
    return true;
  }
  const std::span<const uint8_t> slot = FieldSlot(field, record, context);
  if (field.IsAutoInc()) {
    if (!dest.empty()) {
      RequireValueBytes(field, dest, kAutoIncSize, context);
      std::copy(slot.begin(), slot.end(), dest.begin());
    }
    return false;
  }
  const bool blank = slot[0] == 0;
  if (!dest.empty()) {
    RequireValueBytes(field, dest, field.DataSize, context);
    std::fill_n(dest.begin(), field.DataSize, 0);
    const size_t count = field.IsBlob() ? kBlobReferenceSize : field.DataSize;
    std::copy_n(slot.begin() + 1, std::min<size_t>(count, field.DataSize), dest.begin());
  }
  return blank;
}

bool IsFieldBlank(const TFieldDescriptor& field, std::span<const uint8_t> record,
                  const TRecordContext& context) {
  return GetField(field, record, {}, context);
}

bool SetField(const TFieldDescriptor& field, std::span<uint8_t> record,
              std::span<const uint8_t> value, const TRecordContext& context, bool value_blank,
              bool write_not_stored) {
  if (field.NotStored && !write_not_stored) return false;
  const std::span<uint8_t> slot = FieldSlot(field, record, context);
  if (field.IsAutoInc()) {
    RequireValueBytes(field, value, kAutoIncSize, context);
    std::copy_n(value.begin(), kAutoIncSize, slot.begin());
    return true;
  }
  uint8_t& flag = slot[0];
  const std::span<uint8_t> data = slot.subspan(1);
  switch (field.TypeCode) {
    case fldZSTRING: {
      const std::string text = StringValue(field, value, context);
      std::fill(data.begin(), data.end(), 0);
      std::copy(text.begin(), text.end(), data.begin());
      flag = text.empty() ? 0 : 1;
      break;
    }
    case fldBLOB: {
      RequireValueBytes(field, value, kBlobReferenceSize, context);
      const int32_t reference = GetI32(value.data());
      std::fill(data.begin(), data.end(), 0);
      PutI32(data.data(), reference);
      if (reference > 0) {
        flag = 1;
      } else if (reference == 0) {
        flag = 0;
      } else {
        flag = value_blank ? 0 : 1;
      }
      break;
    }
    case fldBOOL: {
      RequireValueBytes(field, value, 2, context);
      const uint16_t truth = GetU16(value.data());
      PutU16(data.data(), truth <= 1 ? truth : 1);
      flag = 1;
      break;
    }
    default:
      RequireValueBytes(field, value, field.DataSize, context);
      std::copy_n(value.begin(), field.DataSize, data.begin());
      flag = 1;
      break;
  }
  return true;
}

bool SetFieldBlank(const TFieldDescriptor& field, std::span<uint8_t> record,
                   const TRecordContext& context, bool write_not_stored) {
  if (field.IsAutoInc()) return false;
  if (field.NotStored && !write_not_stored) return false;
  const std::span<uint8_t> slot = FieldSlot(field, record, context);
  // Zeroing all data bytes also covers a blob's 4-byte reference.
  std::fill(slot.begin(), slot.end(), 0);
  return true;
}

}  // namespace strata
