// TSourceFilters: the filters one execution installs on its sources'
// cursors, and the index range each source is walked in.
//
// A source's own condition (TLoopLevel::Filtered) that an index of its
// table answers becomes a filter on its cursor, so that the cursor's view
// (and its record count) holds only the qualifying records. Cost rule: when
// the index range of a condition holds more than 90 % of the table's
// records, the condition is declined and tested per row instead, unless
// another condition of the source is answered (then it narrows the filter
// too). Conditions no index answers are tested per row. Ranges are tried
// narrowest first (equality, two bounds, one bound) and counted only as far
// as needed (at most 4096 records): a look-up never counts the table.
//
// The cursor is then walked over the smallest answered range, so that a
// look-up by an indexed column reads only its records. The target of an
// UPDATE is never walked over an index on a column the UPDATE sets (a
// changed key would move the record ahead of the walk). A single source
// walked over the narrowest answered range checks its filters record by
// record as it goes (TFilterView::kChecked); other sources build their
// views first.
//
// The filters are dropped again when the object goes.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sql/exec/join_chain.h"
#include "sql/expr/expression_filter.h"
#include "sql/expr/filter_index_range.h"

namespace strata {

class TDataCursor;
class TDataQuery;
class TFilter;

class TSourceFilters {
 public:
  TSourceFilters() = default;
  ~TSourceFilters();
  TSourceFilters(const TSourceFilters&) = delete;
  TSourceFilters& operator=(const TSourceFilters&) = delete;

  // `target`: the source an UPDATE changes (-1: none) and the fields it sets.
  void Install(TDataQuery& query, TJoinChain& chain, int target,
               const std::vector<uint16_t>& set_fields);
  // Moves each level's own conditions that no filter carries to its
  // residual conditions (after the conditions were placed again).
  void Reclassify(TJoinChain& chain) const;
  // Drops every filter installed.
  void Clear();

 private:
  void InstallLevel(TDataCursor& cursor, TLoopLevel& level, const std::vector<uint16_t>& set_fields,
                    bool walked_once);

  std::vector<std::pair<TDataCursor*, TFilter*>> installed_;
  std::vector<const TExpToken*> carried_;  // conditions the filters answer
};

// Whether a filter can carry the condition (it reads nothing but its table).
bool Filterable(const TExpToken& node);
// A filter expression from a resolved condition over one table: columns by
// name (resolved again against the table alone), parameters as their values.
TFilterExpression FilterExpressionOf(const TExpToken& condition);

// The indexes of the cursor's table a range may use.
std::vector<TIndexChoice> IndexChoices(TDataCursor& cursor);

// Restricts the cursor to `range` (an index range of its table): the
// range's index becomes current. False when no record can qualify.
bool ApplyRange(TDataCursor& cursor, const TIndexRange& range);

}  // namespace strata
