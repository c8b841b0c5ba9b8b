// Get, set and blank one field of a record buffer by its descriptor.
//
// A record buffer is the 9-byte record header (record_header.h) followed, for
// every stored field in descriptor order, by a flag byte (1 = has a value,
// 0 = blank) and the field's data bytes:
//
//  Offset            1         flag byte
//  Offset + 1        DataSize  value in the type's encoding
//
// An auto-increment field has no flag byte: it is the row number, the 4 bytes
// at offset 5, and is never blank. A field with the not-stored marker has no
// place in the record; set operations skip it unless the caller asks to
// write it, and then it must have been given an offset inside the buffer.
//
// A field whose place does not lie inside the given buffer raises
// STRATA_OUTOFRANGE (9985) naming the field and the table.
#pragma once

#include <cstdint>
#include <span>

#include "storage/record/field_descriptor.h"
#include "storage/record/record_context.h"

namespace strata {

// Reads a field. Returns true when the field is blank (1 - flag byte; never
// for auto-increment). When `dest` is given it must hold at least the data
// size (4 for auto-increment); it is zero-filled to the data size and then
// receives the data bytes (a blob field: only its 4-byte reference).
bool GetField(const TFieldDescriptor& field, std::span<const uint8_t> record,
              std::span<uint8_t> dest, const TRecordContext& context);
bool IsFieldBlank(const TFieldDescriptor& field, std::span<const uint8_t> record,
                  const TRecordContext& context);

// Stores a value given in the type's encoding (a string: its characters,
// read up to the first zero byte). Strings are cut to data size - 1 bytes,
// lose trailing spaces, take the field's character case and are blank when
// empty; a boolean other than 0 or 1 becomes 1; a blob reference above 0 has
// a value, 0 is blank, and a negative one is blank when `value_blank` says
// so. Every other type takes its data-size bytes (which `value` must hold).
// Returns true when the record buffer changed (the owning cursor then marks
// its buffer modified); false for a skipped not-stored field.
bool SetField(const TFieldDescriptor& field, std::span<uint8_t> record,
              std::span<const uint8_t> value, const TRecordContext& context,
              bool value_blank = false, bool write_not_stored = false);

// Makes a field blank: flag 0 and zeroed data bytes. An auto-increment field
// stays as it is. Returns true when the record buffer changed.
bool SetFieldBlank(const TFieldDescriptor& field, std::span<uint8_t> record,
                   const TRecordContext& context, bool write_not_stored = false);

}  // namespace strata
