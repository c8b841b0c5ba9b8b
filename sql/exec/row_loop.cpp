#include "sql/exec/row_loop.h"

#include "sql/exec/source_filters.h"
#include "sql/parse/data_query.h"
#include "storage/cursor/data_cursor.h"

namespace strata {

// A level's join keys as one condition over its table alone, whose
// constants take the earlier rows' values before each look-up.
struct TRowLoop::TKeyProbe {
  TExpTokenStack Pool;
  TExpToken* Root = nullptr;
  std::vector<std::pair<TExpToken*, TExpToken*>> Constants;  // constant, the value's expression
  std::vector<TIndexChoice> Indexes;
};

TRowLoop::TRowLoop(TDataQuery& query, const TJoinChain& chain, TSourceRows& rows,
                   TEvalContext& context)
    : query_(query), chain_(chain), rows_(rows), context_(context) {
  for (const TLoopLevel& level : chain_.Levels) {
    if (level.Keys.empty()) {
      probes_.push_back(nullptr);
      continue;
    }
    auto probe = std::make_unique<TKeyProbe>();
    TDataCursor& cursor = *query_.SourceTables[static_cast<size_t>(level.Source)].Cursor;
    probe->Indexes = IndexChoices(cursor);
    for (const TJoinKey& key : level.Keys) {
      TExpToken* column = probe->Pool.New();
      *column = TExpToken{};
      column->Class = ncColumn;
      column->Source = 0;
      column->Column = key.Column->Column;
      column->ColumnName = key.Column->ColumnName;
      column->ResultType = key.Column->ResultType;
      column->ResultSubType = key.Column->ResultSubType;
      TExpToken* constant = probe->Pool.New();
      constant->Class = ncConstant;
      TExpToken* comparison = probe->Pool.New();
      comparison->Class = ncBinary;
      comparison->Code = key.Operator;
      comparison->ResultType = fldBOOL;
      comparison->Left = column;
      comparison->Right = constant;
      probe->Constants.emplace_back(constant, key.Other);
      if (probe->Root == nullptr) {
        probe->Root = comparison;
      } else {
        TExpToken* both = probe->Pool.New();
        both->Class = ncBinary;
        both->Code = opAnd;
        both->ResultType = fldBOOL;
        both->Left = probe->Root;
        both->Right = comparison;
        probe->Root = both;
      }
    }
    probes_.push_back(std::move(probe));
  }
}

TRowLoop::~TRowLoop() = default;

void TRowLoop::SetProgress(std::function<bool(int)> progress, uint16_t steps) {
  progress_ = std::move(progress);
  steps_ = steps == 0 ? 1 : steps;
}

void TRowLoop::Run(const std::function<TVisit()>& visit) {
  if (chain_.Levels.empty()) return;
  visit_ = &visit;
  stopped_ = false;
  reported_ = 0;
  if (progress_) {
    driver_count_ =
        query_.SourceTables[static_cast<size_t>(chain_.Levels[0].Source)].Cursor->RecordCount();
  }
  VisitLevel(0);
  if (progress_ && !stopped_ && reported_ < 100) progress_(100);
}

bool TRowLoop::Holds(const std::vector<TExpToken*>& conditions) {
  for (TExpToken* condition : conditions) {
    if (!Evaluate(*condition, context_).IsTrue()) return false;
  }
  return true;
}

bool TRowLoop::Position(size_t level) {
  TKeyProbe* probe = probes_[level].get();
  if (probe == nullptr) return true;
  for (auto& [constant, other] : probe->Constants) {
    const TExpValue& value = Evaluate(*other, context_);
    // Nothing compares true with NULL.
    if (value.Null) return false;
    constant->Value = value;
    constant->ResultType = value.Type;
  }
  TDataCursor& cursor =
      *query_.SourceTables[static_cast<size_t>(chain_.Levels[level].Source)].Cursor;
  if (auto range = FindIndexRange(*probe->Root, cursor.Fields(), probe->Indexes)) {
    return ApplyRange(cursor, *range);
  }
  return true;
}

bool TRowLoop::Report(uint32_t visited) {
  if (!progress_ || driver_count_ == 0) return true;
  const int percent =
      static_cast<int>((uint64_t{visited} * 100 + driver_count_ / 2) / driver_count_);
  if (percent - reported_ < steps_) return true;
  reported_ = percent;
  return progress_(percent);
}

TVisit TRowLoop::Deeper(size_t level) {
  if (level + 1 == chain_.Levels.size()) return (*visit_)();
  return VisitLevel(level + 1);
}

TVisit TRowLoop::VisitLevel(size_t level) {
  const TLoopLevel& at = chain_.Levels[level];
  TDataCursor& cursor = *query_.SourceTables[static_cast<size_t>(at.Source)].Cursor;
  bool matched = false;
  uint32_t visited = 0;
  if (!at.NoRows && Position(level)) {
    cursor.First();
    while (cursor.MoveNext()) {
      if (level == 0 && !Report(++visited)) {
        stopped_ = true;
        return TVisit::kStop;
      }
      rows_.Bind(at.Source, TSourceRows::TBinding::kRecord);
      if (!Holds(at.Match)) continue;
      matched = true;
      if (!Holds(at.Residual)) continue;
      const TVisit outcome = Deeper(level);
      if (outcome == TVisit::kStop) {
        stopped_ = true;
        return outcome;
      }
      if (outcome == TVisit::kLeave && level > leaving_level_) return outcome;
    }
  }
  if (at.Outer && !matched) {
    rows_.Bind(at.Source, TSourceRows::TBinding::kNull);
    if (Holds(at.Residual)) {
      const TVisit outcome = Deeper(level);
      if (outcome == TVisit::kStop) {
        stopped_ = true;
        return outcome;
      }
      if (outcome == TVisit::kLeave && level > leaving_level_) return outcome;
    }
  }
  rows_.Bind(at.Source, TSourceRows::TBinding::kNone);
  return TVisit::kContinue;
}

}  // namespace strata
