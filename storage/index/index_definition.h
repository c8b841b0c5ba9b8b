// The rules for defining indexes on a table: the primary index, secondary
// indexes, their names, key fields and key sizes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storage/record/field_descriptor.h"
#include "storage/index/index_header.h"

namespace strata {

// An index as a table definition asks for it.
struct TIndexDef {
  std::string Name;                    // empty for the primary index
  std::vector<uint16_t> FieldNumbers;  // key fields in key order, at most 16
  bool Primary = false;                // slot 0; always unique
  bool Unique = false;
  bool Descending = false;  // the whole index in reverse (every per-field flag set)
  bool CaseInsensitive = false;
  // Per-field descending flags, one per key field, used when the index as a
  // whole is ascending; missing entries count as ascending.
  std::vector<bool> FieldDescending;
};

// The bytes one field takes in a key after its null-flag byte: the field's
// data size, 8 for BCD.
int KeyValueWidth(const TFieldDescriptor& field);

// The field with this number, or nullptr.
const TFieldDescriptor* FindField(std::span<const TFieldDescriptor> fields, uint16_t number);

// Fills slot 0 of `header` from `def`: at most 16 fields (STRATA_INDEXLIMIT), a
// primary already defined (STRATA_PRIMARYKEYREDEFINE), unknown field numbers
// (STRATA_INVALIDIDXDESC), blob fields (STRATA_SEARCHCOLREQD), key size
// (STRATA_INVALIDKEY). Without key fields the records are ordered by row number
// (header byte 3978 set). Errors name `table`.
void DefinePrimaryIndex(TIndexHeader& header, const TIndexDef& def,
                        std::span<const TFieldDescriptor> fields, std::string_view table);

// Fills the next free secondary slot from `def` and returns its number: at most
// 30 indexes and 16 fields (STRATA_INDEXLIMIT), name required
// (STRATA_INDEXNAMEREQUIRED), beginning with a letter, "_" or a character
// 128..254 and at most 30 characters (STRATA_INVALIDINDEXNAME), unique among
// the table's indexes without regard to case (STRATA_INDEXEXISTS), unknown
// field numbers (STRATA_INVALIDIDXDESC), blob fields (STRATA_SEARCHCOLREQD),
// key size (STRATA_INVALIDKEY).
int AddSecondaryIndex(TIndexHeader& header, const TIndexDef& def,
                      std::span<const TFieldDescriptor> fields, std::string_view table);

// The key size a descriptor's fields give: sum of (width + 1), plus 4 for the
// row number unless unique. Raises STRATA_INVALIDKEY (10026) when the sum of
// the key fields lies outside 1..522 and STRATA_INVALIDIDXDESC (10023) for an
// unknown field.
uint16_t ComputeKeySize(const TIndexDescriptor& index, std::span<const TFieldDescriptor> fields,
                        std::string_view table);

}  // namespace strata
