// Which part of a filter an index can answer: a condition of the filter's
// top-level AND chain that compares a field leading an ascending index with
// constants, turned into an inclusive key range of that index:
//
//   field = c, field < c, <=, >, >= (either side), field BETWEEN a AND b,
//   field IN (a, b, ...) (from the lowest to the highest of them), and for a
//   text field LIKE 'text%' (one "%", at the end, no "_": every text that
//   begins with "text"). A text field is keyed by a case-sensitive index;
//   UPPER(field) by a case-insensitive one; LOWER(field) by none.
//
// The range is a superset of the records the index order puts there, never
// a subset: bounds are inclusive and widened where the key rounds (BCD keys
// count 1/10000, whole-number fields take the floor and ceiling of a
// fractional constant, float bounds step one unit outward so that -0 and 0
// both fall inside). The records in it are then checked against the whole
// filter one by one.
//
// For numbers, dates and booleans the key order is the comparison's order,
// so the filtered view is exactly that of record-by-record evaluation. For
// texts it is the index's order: text keys are the texts as stored (cut at
// the field's size, upper-cased in a case-insensitive index), bounded with
// the index's own key comparison, which in a table of language 0 is byte
// order and otherwise the table's locale order. Comparisons in a statement
// use the locale's string order (accents ignored, lower case before upper
// case), so where the two orders differ an index-answered text condition
// finds only the records its index range holds: through a byte-ordered
// index "field = 'cafe'" does not find a stored "café" although the two
// compare equal, and "field > 'a'" does not find "B" (0x42 is below 0x61 in
// bytes, yet "B" sorts after "a"). Equality of texts without accents and
// control characters, and ranges over texts that differ only in digits or
// in letters of one case (time strings of one format), are found alike both
// ways. In the locale's order a LIKE prefix has no
// highest key to write down and bounds the range from below only.
//
// <>, NOT IN, NOT BETWEEN and NOT LIKE leave the whole index and are tested
// record by record.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sql/expr/exp_token.h"
#include "storage/index/index_descriptor.h"
#include "storage/record/field_descriptor.h"

namespace strata {

class TDataCursor;
class TIndexKeyFormat;

struct TIndexRange {
  int Index = 0;
  bool Empty = false;  // no record can qualify (a bound beyond the field's range)
  // Keys: Low and High are whole keys of the index, of which the first key
  // field bounds the range (texts). Otherwise they are the bounds in the
  // field's record encoding (numbers). nullopt: open on that side.
  bool Keys = false;
  std::optional<std::vector<uint8_t>> Low;
  std::optional<std::vector<uint8_t>> High;
};

// The indexes that may be used: slot, descriptor and key format of each
// (without a key format no text condition is answered from the index).
struct TIndexChoice {
  int Slot = 0;
  const TIndexDescriptor* Descriptor = nullptr;
  const TIndexKeyFormat* Format = nullptr;
};

// The best range for `root` (equality, IN and BETWEEN preferred over
// one-sided ranges); nullopt when no condition can be answered from these
// indexes. Of the indexes able to answer a condition the first is taken.
std::optional<TIndexRange> FindIndexRange(const TExpToken& root,
                                          const std::vector<TFieldDescriptor>& fields,
                                          const std::vector<TIndexChoice>& indexes);

// Restricts `cursor`, whose current index is range.Index, to `range` (not
// Empty); a range open on both sides cancels the cursor's range.
void SetCursorRange(TDataCursor& cursor, const TIndexRange& range);

}  // namespace strata
