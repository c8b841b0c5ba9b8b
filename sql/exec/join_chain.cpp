#include "sql/exec/join_chain.h"

#include <algorithm>

#include "sql/exec/exec_messages.h"
#include "sql/expr/sql_error.h"
#include "sql/parse/data_query.h"
#include "storage/cursor/data_cursor.h"

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

namespace {

bool IsColumnComparison(const TExpToken& node) {
  if (node.Class != ncBinary || node.Code < opEqual || node.Code > opGreaterEqual) return false;
  return node.Left->Class == ncColumn && node.Right->Class == ncColumn &&
         node.Left->Source != node.Right->Source;
}

// The inner links between sources: WHERE comparisons of two sources'
// columns (the ON conditions of inner joins among them), outside the ON
// conditions of outer joins.
void CollectInnerLinks(const TExpToken* node, const std::vector<const TExpToken*>& outer_on,
                       std::vector<std::vector<bool>>& links) {
  if (node == nullptr) return;
  for (const TExpToken* on : outer_on) {
    if (on == node) return;
  }
  if (node->Class == ncBinary && node->Code == opAnd) {
    CollectInnerLinks(node->Left, outer_on, links);
    CollectInnerLinks(node->Right, outer_on, links);
    return;
  }
  if (!IsColumnComparison(*node)) return;
  const auto a = static_cast<size_t>(node->Left->Source);
  const auto b = static_cast<size_t>(node->Right->Source);
  if (a < links.size() && b < links.size()) links[a][b] = links[b][a] = true;
}

// The sources reachable from `from` through inner links, `from` first.
std::vector<int> InnerComponent(int from, const std::vector<std::vector<bool>>& links) {
  std::vector<int> component{from};
  std::vector<bool> seen(links.size(), false);
  seen[static_cast<size_t>(from)] = true;
  for (size_t next = 0; next < component.size(); ++next) {
    const auto at = static_cast<size_t>(component[next]);
    for (size_t other = 0; other < links.size(); ++other) {
      if (links[at][other] && !seen[other]) {
        seen[other] = true;
        component.push_back(static_cast<int>(other));
      }
    }
  }
  return component;
}

bool Contains(const std::vector<int>& sources, int source) {
  return std::find(sources.begin(), sources.end(), source) != sources.end();
}

}  // namespace

bool OptimizeJoinOrder(TDataQuery& query, TJoinChain& chain, int target) {
  const size_t count = chain.Levels.size();
  if (query.NoJoinOptimize || count < 2) return false;
  std::vector<const TExpToken*> outer_on;
  for (const TTableJoin& join : query.Joins) {
    if (join.Kind != TJoinKind::kInner && join.Condition != nullptr)
      outer_on.push_back(join.Condition);
  }
  std::vector<std::vector<bool>> links(count, std::vector<bool>(count, false));
  CollectInnerLinks(query.Where.Root, outer_on, links);

  const int driver = chain.Levels[0].Source;
  const std::vector<int> driver_component = InnerComponent(driver, links);
  const auto rows_of = [&](int source) {
    return query.SourceTables[static_cast<size_t>(source)].Cursor->RecordCount();
  };
  int best = -1;
  uint32_t best_rows = 0;
  std::vector<int> best_component;
  for (size_t source = 0; source < count; ++source) {
    const int candidate = static_cast<int>(source);
    if (Contains(driver_component, candidate)) continue;
    const std::vector<int> component = InnerComponent(candidate, links);
    if (component.size() < 2) continue;  // not the side of an inner join
    // Nothing below an outer join, nothing leading back to the target.
    bool eligible = !Contains(component, target);
    for (int member : component) {
      if (chain.Levels[static_cast<size_t>(chain.LevelOf[static_cast<size_t>(member)])].Outer) {
        eligible = false;
      }
    }
    if (!eligible) continue;
    const uint32_t rows = rows_of(candidate);
    if (best < 0 || rows < best_rows) {
      best = candidate;
      best_rows = rows;
      best_component = component;
    }
  }
  if (best < 0 || best_rows >= rows_of(driver)) return false;

  // The new driver and the sources hanging off it first, then the others
  // in their order.
  std::vector<TLoopLevel> levels;
  for (int member : best_component) {
    levels.push_back(chain.Levels[static_cast<size_t>(chain.LevelOf[static_cast<size_t>(member)])]);
  }
  for (const TLoopLevel& level : chain.Levels) {
    if (!Contains(best_component, level.Source)) levels.push_back(level);
  }
  chain.Levels = std::move(levels);
  for (size_t i = 0; i < count; ++i) {
    chain.LevelOf[static_cast<size_t>(chain.Levels[i].Source)] = static_cast<int>(i);
  }
  return true;
}

}  // namespace strata
