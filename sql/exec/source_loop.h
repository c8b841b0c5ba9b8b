// TSourceLoop: one run over a query's sources, as SELECT, UPDATE and DELETE
// make it: the join chain, the WHERE conditions placed on it (first pass),
// the filters installed on the cursors, the join order optimised and the
// conditions placed again (final pass); then the nested loop, with the rows
// its expressions read. The filters go when the loop goes.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "sql/exec/join_chain.h"
#include "sql/exec/row_loop.h"
#include "sql/exec/source_filters.h"
#include "sql/exec/source_rows.h"
#include "sql/exec/strata_executor.h"

namespace strata {

class TDataQuery;

class TSourceLoop {
 public:
  // `target`: the source an UPDATE or DELETE changes (-1 for a SELECT);
  // `set_fields`: the target's fields an UPDATE sets.
  TSourceLoop(TDataQuery& query, int target, const std::vector<uint16_t>& set_fields,
              const TExecutorOptions& options);
  ~TSourceLoop();

  TSourceRows& Rows() { return rows_; }
  TEvalContext& Context() { return context_; }
  const TJoinChain& Chain() const { return chain_; }

  void Run(const std::function<TVisit()>& visit);

 private:
  TDataQuery& query_;
  TJoinChain chain_;
  TSourceFilters filters_;
  TSourceRows rows_;
  TEvalContext context_;
  std::unique_ptr<TRowLoop> loop_;
};

}  // namespace strata
