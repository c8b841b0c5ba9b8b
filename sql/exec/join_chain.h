// TJoinChain: the order in which a statement's sources are visited (the
// driver first), how each is linked to those before it, and the conditions
// tested at each level of the nested loop.
//
// Links: the sources follow each other in source-list order, each joined to
// the one before; JOIN ... ON clauses make the link inner or left outer (a
// RIGHT JOIN's table stands first, so the table it was joined to becomes
// the inner side of a left outer join). A WHERE comparison between columns
// of two sources makes a plain link inner. Unless NOJOINOPTIMIZE is given,
// the inner-joined source with the fewest rows (after its filters) becomes
// the driver when it has fewer rows than the current one and does not hang
// off it through inner joins; a source whose inner joins lead back to an
// UPDATE or DELETE target is never made the driver.
//
// Always: Levels holds each source exactly once; an outer join's inner side
// comes after the source it is joined to.
#pragma once

#include <cstdint>
#include <vector>

#include "sql/expr/exp_token.h"

namespace strata {

class TDataQuery;

// A comparison that bounds a source by values of sources before it: the
// source's column `Column` compared by `Operator` (as seen with the column
// on the left) with `Other`.
struct TJoinKey {
  TExpToken* Column = nullptr;
  TExpToken* Other = nullptr;
  uint8_t Operator = opEqual;
};

struct TLoopLevel {
  int Source = 0;  // in source-list order
  // The inner side of a left outer join: a row of NULLs when nothing matches.
  bool Outer = false;
  std::vector<TExpToken*> Match;     // the outer join's ON conditions
  std::vector<TExpToken*> Residual;  // tested once this level has its row
  std::vector<TExpToken*> Filtered;  // this source's own conditions, for its filters
  std::vector<TJoinKey> Keys;        // ranges taken from earlier levels
  bool NoRows = false;               // a filter no record can pass
};

struct TJoinChain {
  std::vector<TLoopLevel> Levels;
  // The level of each source (by source-list index).
  std::vector<int> LevelOf;
};

// Links the sources of a checked query (their cursors open) and orders them.
// `target`: the source rows are changed in (-1 for a SELECT). Raises the
// multiple-target join error.
TJoinChain BuildJoinChain(TDataQuery& query, int target);

// Makes the smallest eligible inner-joined source the driver (see above);
// true when the order changed. Counts the rows through the cursors, so the
// filters must be installed.
bool OptimizeJoinOrder(TDataQuery& query, TJoinChain& chain, int target);

}  // namespace strata
