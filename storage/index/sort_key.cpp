#include "storage/index/sort_key.h"

#include <algorithm>
#include <cstring>

#include "storage/byte_order.h"
#include "storage/index/index_descriptor.h"
#include "storage/record/record_header.h"

namespace strata {

TSortKeyFormat::TSortKeyFormat(std::span<const TFieldDescriptor> fields,
                               std::span<const TSortColumn> columns, bool case_insensitive,
                               uint32_t locale_id, std::string_view table) {
  for (size_t first = 0; first < columns.size(); first += kMaxKeyFields) {
    TIndexDescriptor group;
    group.Unique = true;  // no row number per group: one at the very end
    group.CaseInsensitive = case_insensitive;
    const size_t count = std::min<size_t>(kMaxKeyFields, columns.size() - first);
    group.FieldCount = static_cast<uint8_t>(count);
    for (size_t i = 0; i < count; ++i) {
      group.FieldNumbers[i] = columns[first + i].Field;
      group.FieldDescending[i] = columns[first + i].Descending;
    }
    TIndexKeyFormat format(kFirstSecondaryIndex, group, fields, locale_id, table);
    byte_order_ = byte_order_ && format.ComparesBytes();
    const size_t size = format.KeySize();
    groups_.push_back({std::move(format), columns_bytes_});
    columns_bytes_ += size;
  }
  key_size_ = columns_bytes_ + 4;
}

void TSortKeyFormat::BuildKey(const uint8_t* record, uint8_t* key) const {
  for (const Group& group : groups_) group.Format.BuildFromRecord(record, key + group.Offset);
  PutIntegerKey(key + columns_bytes_, GetRowNumber(record));
}

int TSortKeyFormat::CompareColumns(const uint8_t* a, const uint8_t* b) const {
  if (byte_order_) return columns_bytes_ == 0 ? 0 : std::memcmp(a, b, columns_bytes_);
  for (const Group& group : groups_) {
    const int r = group.Format.Compare(a + group.Offset, b + group.Offset);
    if (r != 0) return r;
  }
  return 0;
}

int TSortKeyFormat::Compare(const uint8_t* a, const uint8_t* b) const {
  if (byte_order_) return std::memcmp(a, b, key_size_);
  const int r = CompareColumns(a, b);
  return r != 0 ? r : std::memcmp(a + columns_bytes_, b + columns_bytes_, 4);
}

}  // namespace strata
