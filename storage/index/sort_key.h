// TSortKeyFormat: the sort key of a record for sorting a table's records
// (record_sort.h): for each sort column in order its null-flag byte and its
// value in the index-key form of its type (index_key.h), with a descending
// column's bytes complemented as in an index, and a text upper-cased in the
// table's locale when the sort ignores case; then the record's row number
// in the 4-byte key form of an integer.
//
// Order: with the table's language id 0 the keys compare as unsigned bytes
// (columns, then row number). Otherwise column by column: a text in the
// locale's string order, every other column as bytes, a descending column
// reversed; then the row numbers as bytes.
//
// The columns are kept in groups of up to 16 (the key fields an index
// format holds), each group an index key format of its own; the key is the
// groups' keys back to back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "storage/data/record_sort.h"
#include "storage/index/index_key.h"
#include "storage/record/field_descriptor.h"

namespace strata {

struct TSortColumn {
  uint16_t Field = 0;  // field number, from 1
  bool Descending = false;
};

class TSortKeyFormat : public TRecordKeyOrder {
 public:
  // `locale_id`: the table's language id with its sort id in bits 16 and up.
  // STRATA_INVALIDIDXDESC (10023) naming `table` for a field not among
  // `fields`.
  TSortKeyFormat(std::span<const TFieldDescriptor> fields, std::span<const TSortColumn> columns,
                 bool case_insensitive, uint32_t locale_id, std::string_view table);

  size_t KeySize() const override { return key_size_; }
  size_t ColumnBytes() const { return columns_bytes_; }
  void BuildKey(const uint8_t* record, uint8_t* key) const override;
  int CompareColumns(const uint8_t* a, const uint8_t* b) const override;
  int Compare(const uint8_t* a, const uint8_t* b) const override;

 private:
  struct Group {
    TIndexKeyFormat Format;
    size_t Offset = 0;  // in the key
  };

  std::vector<Group> groups_;
  size_t columns_bytes_ = 0;
  size_t key_size_ = 4;
  bool byte_order_ = true;
};

}  // namespace strata
