#include "storage/record/record_check.h"

#include <string>
#include <vector>

#include "platform/nls.h"
#include "storage/record/bcd.h"
#include "storage/byte_order.h"
#include "storage/engine_error.h"
#include "storage/record/record_buffer.h"
#include "storage/record/value_text.h"

namespace strata {
namespace {

std::string_view TextOf(const std::vector<uint8_t>& data) {
  const auto* chars = reinterpret_cast<const char*>(data.data());
  size_t length = 0;
  while (length < data.size() && chars[length] != '\0') ++length;
  return std::string_view(chars, length);
}

template <typename T>
int Order(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// Compares a field's value (its data bytes) with a limit given as a value
// text. Types without value texts never reach here: their limits are empty.
int CompareWithLimit(const TFieldDescriptor& field, const std::vector<uint8_t>& value,
                     std::string_view limit_text, const TRecordContext& context) {
  if (field.TypeCode == fldZSTRING) {
    return platform::nls::CompareText(context.NlsLocaleId(), TextOf(value), limit_text);
  }
  const std::vector<uint8_t> limit = EncodeValueText(field, limit_text);
  switch (field.TypeCode) {
    case fldBOOL:
    case fldUINT16:
      return Order(GetU16(value.data()), GetU16(limit.data()));
    case fldINT16:
      return Order(static_cast<int16_t>(GetU16(value.data())),
                   static_cast<int16_t>(GetU16(limit.data())));
    case fldDATE:
    case fldINT32:
    case fldTIME:
      return Order(GetI32(value.data()), GetI32(limit.data()));
    case fldINT64:
      return Order(static_cast<int64_t>(GetU64(value.data())),
                   static_cast<int64_t>(GetU64(limit.data())));
    case fldFLOAT:
    case fldTIMESTAMP:
      return Order(GetF64(value.data()), GetF64(limit.data()));
    case fldBCD:
      return TBcd::Decode(value.data()).Compare(TBcd::Decode(limit.data()));
    default:
      return 0;
  }
}

}  // namespace

void CheckRecord(std::span<const TFieldDescriptor> fields, std::span<const uint8_t> record,
                 const TRecordContext& context) {
  for (const TFieldDescriptor& field : fields) {
    if (field.NotStored) continue;
    if (!field.Required && field.MinValue.empty() && field.MaxValue.empty()) continue;
    std::vector<uint8_t> value(field.DataSize < 4 ? 4 : field.DataSize);
    const bool blank = GetField(field, record, value, context);
    if (blank) {
      if (field.Required) RaiseFieldError(STRATA_REQDERR, field.Name, context.TableName);
      continue;
    }
    if (!field.MinValue.empty() && CompareWithLimit(field, value, field.MinValue, context) < 0) {
      RaiseFieldError(STRATA_MINVALERR, field.Name, context.TableName);
    }
    if (!field.MaxValue.empty() && CompareWithLimit(field, value, field.MaxValue, context) > 0) {
      RaiseFieldError(STRATA_MAXVALERR, field.Name, context.TableName);
    }
  }
}

}  // namespace strata
