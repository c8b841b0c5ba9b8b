// TRowLoop: the nested loop over a join chain. The driver's records are
// visited in its cursor's order; for each, the next level's source is
// bounded by its join keys (the values of the rows before it put into an
// index range) and its records visited, and so on down to the last level.
// A level's match and residual conditions are tested as soon as its row is
// bound; an outer join's inner side without a matching record contributes
// one row of NULLs. Every complete combination that passes goes to the
// visitor.
//
// Progress: with N the driver's record count at the start and k the driver
// records visited, k * 100 / N (rounded) is reported whenever it has grown
// by at least the step since the last report, and 100 at the end; the
// callback may stop the loop.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "sql/exec/join_chain.h"
#include "sql/exec/source_rows.h"
#include "sql/expr/exp_eval.h"

namespace strata {

class TDataQuery;

enum class TVisit : uint8_t {
  kContinue,
  kStop,
  // The row of the leaving level is gone (deleted): go on with the record
  // that follows it.
  kLeave,
};

class TRowLoop {
 public:
  TRowLoop(TDataQuery& query, const TJoinChain& chain, TSourceRows& rows, TEvalContext& context);
  ~TRowLoop();

  void SetProgress(std::function<bool(int percent)> progress, uint16_t steps);
  // The level whose row kLeave refers to (the changed source's).
  void SetLeavingLevel(size_t level) { leaving_level_ = level; }

  void Run(const std::function<TVisit()>& visit);

 private:
  struct TKeyProbe;

  TVisit VisitLevel(size_t level);
  TVisit Deeper(size_t level);
  bool Holds(const std::vector<TExpToken*>& conditions);
  // Bounds the level's cursor by its keys; false when no record can match.
  bool Position(size_t level);
  bool Report(uint32_t visited);

  TDataQuery& query_;
  const TJoinChain& chain_;
  TSourceRows& rows_;
  TEvalContext& context_;
  std::vector<std::unique_ptr<TKeyProbe>> probes_;  // per level (nullptr: no keys)
  const std::function<TVisit()>* visit_ = nullptr;
  size_t leaving_level_ = 0;

  std::function<bool(int)> progress_;
  uint16_t steps_ = 20;
  uint32_t driver_count_ = 0;
  int reported_ = 0;
  bool stopped_ = false;
};

}  // namespace strata
