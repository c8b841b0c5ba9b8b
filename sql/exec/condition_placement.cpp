#include "sql/exec/condition_placement.h"

#include <algorithm>
#include <bit>

#include "sql/exec/exec_messages.h"
#include "sql/expr/sql_error.h"
#include "sql/parse/data_query.h"

namespace strata {

namespace {

uint64_t Bit(int source) { return source >= 0 && source < 64 ? uint64_t{1} << source : 0; }

bool IsComparison(const TExpToken& node) {
  if (node.Class != ncBinary) return false;
  switch (node.Code) {
    case opEqual:
    case opNotEqual:
    case opLess:
    case opLessEqual:
    case opGreater:
    case opGreaterEqual:
      return true;
    default:
      return false;
  }
}

// The operator seen from the other side: a < b is b > a.
uint8_t Mirrored(uint8_t op) {
  switch (op) {
    case opLess:
      return opGreater;
    case opLessEqual:
      return opGreaterEqual;
    case opGreater:
      return opLess;
    case opGreaterEqual:
      return opLessEqual;
    default:
      return op;
  }
}

class TPlacer {
 public:
  TPlacer(TDataQuery& query, TJoinChain& chain) : query_(query), chain_(chain) {
    for (const TTableJoin& join : query.Joins) {
      if (join.Condition == nullptr) continue;
      // LEFT: the joined table is the inner side; RIGHT: the table it was
      // joined to (the joined table stands first).
      const int position = join.Kind == TJoinKind::kRight ? join.LeftPosition : join.SourcePosition;
      if (join.Kind == TJoinKind::kInner) continue;
      const int source = IndexOf(position);
      if (source >= 0) outer_on_.push_back({join.Condition, source});
    }
  }

  void Place(TExpToken* node, int match_source) {
    if (node == nullptr) return;
    for (const auto& [root, source] : outer_on_) {
      if (root == node) match_source = source;
    }
    if (node->Class == ncBinary && node->Code == opAnd) {
      Place(node->Left, match_source);
      Place(node->Right, match_source);
      return;
    }
    PlaceCondition(*node, match_source);
  }

 private:
  int IndexOf(int position) const {
    for (size_t i = 0; i < query_.SourceTables.size(); ++i) {
      if (query_.SourceTables[i].Position == position) return static_cast<int>(i);
    }
    return -1;
  }
  int LevelOf(int source) const { return chain_.LevelOf[static_cast<size_t>(source)]; }
  TLoopLevel& Level(int level) { return chain_.Levels[static_cast<size_t>(level)]; }

  // The deepest level among the sources of `mask` (0 when none).
  int DeepestLevel(uint64_t mask) const {
    int deepest = 0;
    for (int source = 0; source < 64 && mask != 0; ++source, mask >>= 1) {
      if (mask & 1) deepest = std::max(deepest, LevelOf(source));
    }
    return deepest;
  }

  void CheckJoinSides(const TExpToken& node) const {
    if (!IsComparison(node)) return;
    const uint64_t left = SourcesOf(*node.Left);
    const uint64_t right = SourcesOf(*node.Right);
    if (left == 0 || right == 0 || std::popcount(left | right) < 2) return;
    if (std::popcount(left) > 1 || std::popcount(right) > 1) {
      RaiseSqlError(msg::kJoinMultipleCorrelations);
    }
  }

  // A comparison of a column of the level's source with values of earlier
  // levels becomes a key of that level.
  void AddKey(TExpToken& node, int level) {
    if (!IsComparison(node)) return;
    const int source = Level(level).Source;
    const auto earlier_only = [&](const TExpToken& side) {
      const uint64_t mask = SourcesOf(side);
      return mask != 0 && (mask & Bit(source)) == 0 && DeepestLevel(mask) < level;
    };
    const auto own_column = [&](const TExpToken& side) {
      return side.Class == ncColumn && side.Source == source;
    };
    if (own_column(*node.Left) && earlier_only(*node.Right)) {
      Level(level).Keys.push_back({node.Left, node.Right, node.Code});
    } else if (own_column(*node.Right) && earlier_only(*node.Left)) {
      Level(level).Keys.push_back({node.Right, node.Left, Mirrored(node.Code)});
    }
  }

  void PlaceCondition(TExpToken& node, int match_source) {
    CheckJoinSides(node);
    const uint64_t mask = SourcesOf(node);
    if (match_source >= 0) {
      const int level = std::max(LevelOf(match_source), DeepestLevel(mask));
      Level(level).Match.push_back(&node);
      AddKey(node, level);
      return;
    }
    const int level = DeepestLevel(mask);
    if (std::popcount(mask) == 1 && !Level(level).Outer) {
      Level(level).Filtered.push_back(&node);
      return;
    }
    Level(level).Residual.push_back(&node);
    AddKey(node, level);
  }

  TDataQuery& query_;
  TJoinChain& chain_;
  std::vector<std::pair<const TExpToken*, int>> outer_on_;
};

}  // namespace

uint64_t SourcesOf(const TExpToken& node) {
  uint64_t mask = 0;
  if (node.Class == ncColumn) mask |= Bit(node.Source);
  if (node.Left != nullptr) mask |= SourcesOf(*node.Left);
  if (node.Right != nullptr) mask |= SourcesOf(*node.Right);
  for (const TExpToken* arg : node.Args) mask |= SourcesOf(*arg);
  return mask;
}

void PlaceConditions(TDataQuery& query, TJoinChain& chain) {
  for (TLoopLevel& level : chain.Levels) {
    level.Match.clear();
    level.Residual.clear();
    level.Filtered.clear();
    level.Keys.clear();
  }
  TPlacer placer(query, chain);
  placer.Place(query.Where.Root, -1);
}

}  // namespace strata
