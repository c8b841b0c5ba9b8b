// TIndexKeyFormat: how the keys of one index are built from record buffers
// or field values, and how two keys compare.
//
// Key = for each key field its null-flag byte (1 = value, 0 = blank) and key
// value, then, unless the index is unique, the record's row number. Key
// values are chosen so that unsigned byte order is numeric order:
//   string          text padded with zeros to the data size (upper-cased in
//                   a case-insensitive index)
//   32-bit, 16-bit, 64-bit signed, date, time, BCD (as 64-bit units of
//                   1/10000)   big-endian with the sign bit inverted
//   boolean, 16-bit unsigned   big-endian
//   double, timestamp          big-endian; sign bit set when >= 0, every bit
//                              inverted when negative
//   anything else              the raw data bytes
// A field marked descending in an ascending index has its flag and value
// bytes complemented (a string all but its last byte). The "Sys Deleted"
// key is the record's status byte and row number.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storage/index/index_descriptor.h"
#include "storage/record/field_descriptor.h"

namespace strata {

// How much of a key a comparison looks at.
struct TKeyLimit {
  int Fields = -1;  // >= 0: only the first Fields key fields
  int Bytes = -1;   // >= 0: only the first Bytes bytes (when Fields < 0)

  static TKeyLimit Whole() { return {}; }
  static TKeyLimit FirstFields(int count) { return {count, -1}; }
  static TKeyLimit FirstBytes(int count) { return {-1, count}; }
  bool IsWhole() const { return Fields < 0 && Bytes < 0; }
};

// One key field's value in its record encoding (the field's data bytes:
// little-endian integers, an IEEE double, 34 BCD bytes, characters of a
// text). Data == nullptr means blank.
struct TKeyFieldValue {
  const void* Data = nullptr;
  size_t Size = 0;

  static TKeyFieldValue Blank() { return {}; }
  static TKeyFieldValue Text(std::string_view text) { return {text.data(), text.size()}; }
};

// The key layout and order of one index. Immutable once built; cheap to
// copy. Comparisons use unsigned bytes over the whole key when the table's
// language id is 0 (and always for "Sys Deleted"), otherwise go field by
// field with the locale's string order for texts.
class TIndexKeyFormat {
 public:
  TIndexKeyFormat() = default;
  // The format of the index in descriptor slot `slot`. `locale_id` is the
  // table's language id with its sort id in bits 16 and up (see
  // platform::nls::MakeLocaleId). Raises STRATA_INVALIDIDXDESC (10023) naming
  // the index and `table` for a key field number that is not among `fields`.
  TIndexKeyFormat(int slot, const TIndexDescriptor& index, std::span<const TFieldDescriptor> fields,
                  uint32_t locale_id, std::string_view table);

  uint16_t KeySize() const { return key_size_; }
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  bool Unique() const { return unique_; }
  bool Descending() const { return descending_; }
  bool ComparesBytes() const { return byte_order_; }
  // Bytes taken by the first `count` key fields (flag bytes included).
  int PrefixBytes(int count) const;

  // The key of a record buffer. With `field_count` >= 0 only the first
  // field_count key fields are built; the rest of the key is zero.
  void BuildFromRecord(const uint8_t* record, uint8_t* key, int field_count = -1) const;
  // A search key from values of the first values.size() key fields (the
  // rest of the key, row number included, is zero). Values are normalised as
  // when stored: texts cut at the data size and the first zero, trailing
  // blanks removed, the field's character case applied, empty means blank;
  // booleans other than 0 read as 1.
  void BuildFromValues(std::span<const TKeyFieldValue> values, uint8_t* key) const;
  // A search key whose first key field (a text) holds `text` exactly as
  // BuildFromRecord keys a stored text: cut at the field's size and the
  // first zero, upper-cased in a case-insensitive index, no trimming and no
  // character case of the field; blank when empty. The rest of the key is
  // zero. With `fill`, the value bytes after the text are 0xFF instead, the
  // highest key in byte order of every text that begins with `text`.
  // Whether the first key field is a text: FirstFieldIsText().
  std::vector<uint8_t> TextKey(std::string_view text, bool fill = false) const;
  bool FirstFieldIsText() const { return !fields_.empty() && fields_[0].is_text; }
  bool CaseInsensitive() const { return case_insensitive_; }

  // The bytes a byte-order comparison (ComparesBytes()) looks at within
  // `limit`: it is memcmp over them, negated in a descending index.
  int CompareLength(TKeyLimit limit) const {
    if (limit.IsWhole()) return key_size_;
    return limit.Fields >= 0 ? PrefixBytes(limit.Fields) : std::min<int>(limit.Bytes, key_size_);
  }
  // <0, 0, >0 as a sorts before, equal to or after b in the index.
  int Compare(const uint8_t* a, const uint8_t* b) const;
  int Compare(const uint8_t* a, const uint8_t* b, TKeyLimit limit) const;

 private:
  struct KeyField {
    uint16_t record_offset = 0;  // flag byte (auto-increment: the value)
    uint16_t key_offset = 0;     // flag byte in the key
    uint8_t type = 0;
    uint8_t data_size = 0;
    uint8_t width = 0;  // key value bytes
    uint8_t char_case = 0;
    bool complemented = false;  // flag and value bytes stored complemented
    bool reversed = false;      // comparison result reversed (field mode)
    bool is_text = false;
    bool auto_inc = false;
    bool stored = true;
  };

  void BuildValue(const KeyField& field, const uint8_t* value, size_t size, uint8_t* out) const;
  int CompareField(const KeyField& field, const uint8_t* a, const uint8_t* b, int bytes) const;
  int CompareBytes(const uint8_t* a, const uint8_t* b, size_t n) const;

  std::vector<KeyField> fields_;
  std::string table_;  // named by errors
  uint16_t key_size_ = 0;
  uint16_t fields_bytes_ = 0;
  uint32_t locale_ = 0;  // for the locale's string order and case mapping
  bool byte_order_ = true;
  bool descending_ = false;
  bool unique_ = true;
  bool case_insensitive_ = false;
  bool sys_deleted_ = false;
};

// The 4 key bytes of a signed 32-bit integer (row numbers included).
void PutIntegerKey(uint8_t* out, int32_t value);

}  // namespace strata
