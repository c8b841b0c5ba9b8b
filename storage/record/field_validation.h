// Validation of a new table's field descriptors before its files are
// created: names, numbers, types, value texts, limits; assigns data sizes
// and record offsets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "storage/record/field_descriptor.h"

namespace strata {

constexpr size_t kMaxFields = 1024;
constexpr size_t kMaxBlobFields = 128;
constexpr size_t kMaxIndexes = 32;
constexpr uint32_t kMinBlobBlockSize = 64;
constexpr uint32_t kDefaultBlobBlockSize = 512;  // what a block size of 0 means
constexpr uint32_t kMaxRecordSize = 65535;
constexpr size_t kMaxFieldNameLength = 30;
constexpr uint8_t kMaxDeclaredSize = 250;

// Checks the descriptors in order and, when all pass, trims the names,
// clears declared sizes and decimals where the type has none, derives data
// sizes and assigns offsets (auto-increment 5; other stored fields from 9
// on). Returns the record size. On failure the descriptors are unchanged and
// the engine error names the table (and the field):
//   STRATA_INVALIDFIELDNAME (10038)   name empty, longer than 30, bad first
//                                     character, or duplicate
//   STRATA_INVALIDFLDTYPE (10000)     duplicate field number, unknown type
//                                     code, declared size above 250, or a
//                                     not-stored field where none is allowed
//   STRATA_INVALIDVCHKSTRUCT (10006)  default, minimum or maximum text not a
//                                     value of the type
//   STRATA_FLDLIMIT (9492)            more than 1024 fields
//   STRATA_BLOBLIMIT (9498)           more than 128 blob fields or a blob
//                                     block size below 64 (0 means 512)
//   STRATA_INDEXLIMIT (9487)          more than 32 indexes
//   STRATA_RECTOOBIG (9477)           a record size above 65535
uint16_t ValidateFieldDescriptors(std::span<TFieldDescriptor> fields, std::string_view table,
                                  size_t index_count, uint32_t blob_block_size,
                                  bool allow_not_stored = false);

// Whether `name` (already trimmed) is acceptable as a field name: 1..30
// characters, beginning with A-Z, a-z, "_" or a character 128..254.
bool IsValidFieldName(std::string_view name);

}  // namespace strata
