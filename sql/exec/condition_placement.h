// Where each part of a statement's WHERE tree (the ON conditions included)
// is tested. The tree is split at its ANDs into conditions; each goes to
// the loop level of the last source it reads (TLoopLevel, join_chain.h):
//
//   condition                                   placed as
//   one source's, answerable from an index      a filter on that source's
//     (not of an outer join's inner side)         cursor (installed when run)
//   an outer join's ON condition                a match condition of its level
//   any other                                   a residual condition, tested
//                                               once its sources have rows
//   column of a source <op> value of earlier    also a join key: the range of
//     sources                                     that source follows it
//
// A condition that reads no source is tested at the first level.
#pragma once

#include <cstdint>
#include <vector>

#include "sql/exec/join_chain.h"

namespace strata {

class TDataQuery;
struct TExpToken;

// The sources (their indexes in the source list) a tree reads.
uint64_t SourcesOf(const TExpToken& node);

// Splits the query's WHERE tree over the chain's levels.
void PlaceConditions(TDataQuery& query, TJoinChain& chain);

}  // namespace strata
