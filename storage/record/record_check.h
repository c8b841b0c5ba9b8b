// The check of a record before it is written: required fields present,
// values within their minimum and maximum.
#pragma once

#include <cstdint>
#include <span>

#include "storage/record/field_descriptor.h"
#include "storage/record/record_context.h"

namespace strata {

// Goes through the fields in order; the first failure raises, naming the
// field and the table:
//   STRATA_REQDERR (9732)    required and blank
//   STRATA_MINVALERR (9730)  below the minimum
//   STRATA_MAXVALERR (9731)  above the maximum
// A blank field is not compared with its limits. Strings compare in the
// table's locale (case-sensitive, non-spacing marks ignored), other types
// numerically. Fields with the not-stored marker are not checked.
void CheckRecord(std::span<const TFieldDescriptor> fields, std::span<const uint8_t> record,
                 const TRecordContext& context);

}  // namespace strata
