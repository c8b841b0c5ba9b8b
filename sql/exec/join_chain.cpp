#include "sql/exec/join_chain.h"

#include "sql/exec/exec_messages.h"
#include "sql/expr/sql_error.h"
#include "sql/parse/data_query.h"

namespace strata {

namespace {

int IndexOf(const TDataQuery& query, int position) {
  for (size_t i = 0; i < query.SourceTables.size(); ++i) {
    if (query.SourceTables[i].Position == position) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

TJoinChain BuildJoinChain(TDataQuery& query, int /*target*/) {
  const size_t count = query.SourceTables.size();
  TJoinChain chain;
  chain.Levels.resize(count);
  chain.LevelOf.resize(count);
  for (size_t i = 0; i < count; ++i) {
    chain.Levels[i].Source = static_cast<int>(i);
    chain.LevelOf[i] = static_cast<int>(i);
  }
  // Each source is the inner side of at most one join.
  std::vector<int> joined(count, 0);
  for (const TTableJoin& join : query.Joins) {
    const int inner =
        IndexOf(query, join.Kind == TJoinKind::kRight ? join.LeftPosition : join.SourcePosition);
    if (inner < 0) continue;
    if (++joined[static_cast<size_t>(inner)] > 1) {
      RaiseSqlError(
          FormatMessage(msg::kJoinMultipleTargets,
                        {query.SourceTables[static_cast<size_t>(inner)].CorrelationName}));
    }
    if (join.Kind != TJoinKind::kInner) chain.Levels[static_cast<size_t>(inner)].Outer = true;
  }
  return chain;
}

bool OptimizeJoinOrder(TDataQuery& query, TJoinChain& /*chain*/, int /*target*/) {
  if (query.NoJoinOptimize) return false;
  return false;
}

}  // namespace strata
