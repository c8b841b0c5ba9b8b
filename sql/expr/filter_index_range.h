// Which part of a filter an index can answer: a condition of the filter's
// top-level AND chain that compares a field leading an index with a
// constant (=, <, <=, >, >=, BETWEEN), turned into an inclusive key range
// of that index.
//
// The range is a superset of the qualifying records, never a subset: bounds
// are inclusive and widened where the key rounds (BCD keys count 1/10000,
// whole-number fields take the floor and ceiling of a fractional constant,
// float bounds step one unit outward so that -0 and 0 both fall inside).
// The records in it are then checked against the whole filter one by one,
// so the filtered view is exactly that of record-by-record evaluation.
//
// Text fields are never answered from an index: an index of a table with
// language 0 orders text by bytes, while comparisons use the locale's string
// order (accents ignored, lower case before upper case), so neither a byte
// range nor byte equality bounds the matching texts.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sql/expr/exp_token.h"
#include "storage/index/index_descriptor.h"
#include "storage/record/field_descriptor.h"

namespace strata {

struct TIndexRange {
  int Index = 0;
  bool Empty = false;  // no record can qualify (a bound beyond the field's range)
  // Bounds in the field's record encoding; nullopt: open on that side.
  std::optional<std::vector<uint8_t>> Low;
  std::optional<std::vector<uint8_t>> High;
};

// The indexes that may be used: slot and descriptor of each.
struct TIndexChoice {
  int Slot = 0;
  const TIndexDescriptor* Descriptor = nullptr;
};

// The best range for `root` (equality preferred over one-sided ranges);
// nullopt when no condition can be answered from these indexes.
std::optional<TIndexRange> FindIndexRange(const TExpToken& root,
                                          const std::vector<TFieldDescriptor>& fields,
                                          const std::vector<TIndexChoice>& indexes);

}  // namespace strata
