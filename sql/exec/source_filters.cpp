#include "sql/exec/source_filters.h"

#include <algorithm>

#include "sql/expr/expression_filter.h"
#include "sql/parse/data_query.h"
#include "storage/best_effort.h"
#include "storage/cursor/data_cursor.h"

namespace strata {

namespace {

// Whether a filter can carry the condition (it reads nothing but its table).
bool Filterable(const TExpToken& node) {
  if (node.Class == ncSubSelect || node.Class == ncAggregate || node.Class == ncAllColumns) {
    return false;
  }
  if (node.Left != nullptr && !Filterable(*node.Left)) return false;
  if (node.Right != nullptr && !Filterable(*node.Right)) return false;
  return std::all_of(node.Args.begin(), node.Args.end(),
                     [](const TExpToken* arg) { return Filterable(*arg); });
}

// A copy of a resolved condition for a filter on its table: columns by name
// (resolved again against the table alone), parameters as their values.
TExpToken* CloneForFilter(const TExpToken& node, TExpTokenStack& pool) {
  TExpToken* copy = pool.New();
  copy->Class = node.Class == ncParameter ? ncConstant : node.Class;
  copy->Code = node.Code;
  copy->Part = node.Part;
  copy->Text = node.Text;
  copy->ResultType = node.ResultType;
  copy->ResultSubType = node.ResultSubType;
  copy->Size = node.Size;
  copy->Scale = node.Scale;
  copy->Value = node.Value;
  copy->ColumnName = node.ColumnName;
  copy->CountAll = node.CountAll;
  copy->Distinct = node.Distinct;
  if (node.Left != nullptr) copy->Left = CloneForFilter(*node.Left, pool);
  if (node.Right != nullptr) copy->Right = CloneForFilter(*node.Right, pool);
  for (const TExpToken* arg : node.Args) copy->Args.push_back(CloneForFilter(*arg, pool));
  return copy;
}

bool RangeUsesField(const TDataCursor& cursor, const TIndexRange& range,
                    const std::vector<uint16_t>& fields) {
  const TIndexDescriptor& index = cursor.IndexDescriptor(range.Index);
  for (size_t i = 0; i < index.FieldCount; ++i) {
    if (std::find(fields.begin(), fields.end(), index.FieldNumbers[i]) != fields.end()) return true;
  }
  return false;
}

struct TCandidate {
  TExpToken* Condition = nullptr;
  TIndexRange Range;
  uint32_t Estimate = 0;
  bool Declined = false;
};

}  // namespace

std::vector<TIndexChoice> IndexChoices(TDataCursor& cursor) {
  std::vector<TIndexChoice> indexes;
  for (int slot : cursor.Indexes()) {
    if (slot >= TDataCursor::kRowOrderIndex) continue;
    indexes.push_back({slot, &cursor.IndexDescriptor(slot)});
  }
  return indexes;
}

bool ApplyRange(TDataCursor& cursor, const TIndexRange& range) {
  if (range.Empty) return false;
  if (cursor.CurrentIndex() != range.Index) cursor.SetIndex(range.Index);
  std::vector<TKeyFieldValue> low;
  std::vector<TKeyFieldValue> high;
  if (range.Low) low.push_back({range.Low->data(), range.Low->size()});
  if (range.High) high.push_back({range.High->data(), range.High->size()});
  if (low.empty() && high.empty()) {
    cursor.CancelRange();
  } else {
    cursor.SetRange(low, high);
  }
  return true;
}

TSourceFilters::~TSourceFilters() { Clear(); }

void TSourceFilters::Clear() {
  for (auto it = installed_.rbegin(); it != installed_.rend(); ++it) {
    BestEffort([&] { DropFilter(*it->first, it->second); });
  }
  installed_.clear();
  carried_.clear();
}

void TSourceFilters::Install(TDataQuery& query, TJoinChain& chain, int target,
                             const std::vector<uint16_t>& set_fields) {
  static const std::vector<uint16_t> kNone;
  for (TLoopLevel& level : chain.Levels) {
    TDataCursor& cursor = *query.SourceTables[static_cast<size_t>(level.Source)].Cursor;
    cursor.CancelRange();
    InstallLevel(cursor, level, level.Source == target ? set_fields : kNone);
  }
  Reclassify(chain);
}

void TSourceFilters::Reclassify(TJoinChain& chain) const {
  for (TLoopLevel& level : chain.Levels) {
    for (TExpToken* condition : level.Filtered) {
      if (std::find(carried_.begin(), carried_.end(), condition) == carried_.end()) {
        level.Residual.push_back(condition);
      }
    }
    level.Filtered.clear();
  }
}

void TSourceFilters::InstallLevel(TDataCursor& cursor, TLoopLevel& level,
                                  const std::vector<uint16_t>& set_fields) {
  if (level.Filtered.empty()) return;
  const std::vector<TIndexChoice> indexes = IndexChoices(cursor);
  const int walk_index = cursor.CurrentIndex();
  const uint32_t total = cursor.RecordCount();
  std::vector<TCandidate> candidates;
  for (TExpToken* condition : level.Filtered) {
    std::optional<TIndexRange> range;
    if (Filterable(*condition)) range = FindIndexRange(*condition, cursor.Fields(), indexes);
    if (!range) continue;
    TCandidate candidate{condition, *range};
    if (!range->Empty && ApplyRange(cursor, *range)) candidate.Estimate = cursor.RecordCount();
    cursor.CancelRange();
    candidate.Declined = uint64_t{candidate.Estimate} * 10 > uint64_t{total} * 9 && !range->Empty;
    candidates.push_back(std::move(candidate));
  }
  cursor.SetIndex(walk_index);
  const bool answered = std::any_of(candidates.begin(), candidates.end(),
                                    [](const TCandidate& c) { return !c.Declined; });
  if (!answered) return;
  const TCandidate* walk = nullptr;
  for (const TCandidate& candidate : candidates) {
    TFilterExpression expression;
    expression.Pool = std::make_unique<TExpTokenStack>();
    expression.Root = CloneForFilter(*candidate.Condition, *expression.Pool);
    TFilter* filter = AddFilter(cursor, std::move(expression));
    installed_.emplace_back(&cursor, filter);
    carried_.push_back(candidate.Condition);
    ActivateFilter(cursor, filter);
    if (candidate.Declined || RangeUsesField(cursor, candidate.Range, set_fields)) continue;
    if (walk == nullptr || candidate.Estimate < walk->Estimate) walk = &candidate;
  }
  if (walk != nullptr) ApplyRange(cursor, walk->Range);
}

}  // namespace strata
