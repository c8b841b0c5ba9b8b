#include "storage/record/new_record.h"

#include <algorithm>

#include "storage/record/record_header.h"
#include "storage/record/value_text.h"

namespace strata {

void InitNewRecord(std::span<const TFieldDescriptor> fields, std::span<uint8_t> record,
                   uint32_t record_number, int32_t* last_auto_increment,
                   const TRecordContext& context) {
  std::fill(record.begin(), record.end(), 0);
  if (record.size() < kRecordHeaderSize) return;
  if (last_auto_increment != nullptr) {
    *last_auto_increment = NextRowNumber(*last_auto_increment);
    SetRowNumber(record.data(), *last_auto_increment);
  }
  SetRecordNumber(record.data(), record_number);
  for (const TFieldDescriptor& field : fields) {
    if (field.DefaultValue.empty() || field.IsAutoInc() || field.NotStored) continue;
    SetFieldFromText(field, record, field.DefaultValue, context);
  }
}

}  // namespace strata
