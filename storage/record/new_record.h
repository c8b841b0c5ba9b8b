// Building a new blank record: zero fill, record number, row number, and
// the fields' default values.
#pragma once

#include <cstdint>
#include <span>

#include "storage/record/field_descriptor.h"
#include "storage/record/record_context.h"

namespace strata {

// Zero-fills `record`, writes `record_number` at offset 1 and, when
// `last_auto_increment` is given (the data file header's value), takes the
// next row number from it (advancing it; the caller marks its header
// modified) and writes it at offset 5. Then every stored field with a
// non-empty default text is set from that text. An auto-increment field
// keeps the row number: a default on it would hand the same row number to
// every new record.
void InitNewRecord(std::span<const TFieldDescriptor> fields, std::span<uint8_t> record,
                   uint32_t record_number, int32_t* last_auto_increment,
                   const TRecordContext& context);

}  // namespace strata
