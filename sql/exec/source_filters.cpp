#include "sql/exec/source_filters.h"

#include <algorithm>

#include "sql/expr/expression_filter.h"
#include "sql/parse/data_query.h"
#include "storage/best_effort.h"
#include "storage/cursor/data_cursor.h"
#include "storage/data/data_file.h"
#include "storage/index/index_file.h"
#include "storage/table/data_table.h"

namespace strata {

namespace {

bool FilterableTree(const TExpToken& node) {
  if (node.Class == ncSubSelect || node.Class == ncAggregate || node.Class == ncAllColumns) {
    return false;
  }
  if (node.Left != nullptr && !FilterableTree(*node.Left)) return false;
  if (node.Right != nullptr && !FilterableTree(*node.Right)) return false;
  return std::all_of(node.Args.begin(), node.Args.end(),
                     [](const TExpToken* arg) { return FilterableTree(*arg); });
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

// The most records the cost rule reads of one range.
constexpr uint32_t kCountLimit = 4096;

// Equality ranges before two-sided ones before one-sided ones (an empty
// range needs no reading at all).
int Narrowness(const TCandidate& candidate) {
  const TIndexRange& range = candidate.Range;
  if (range.Empty) return 3;
  if (range.Low && range.High) return *range.Low == *range.High ? 2 : 1;
  return 0;
}

// The table's slots (live records or not): its size without walking an
// index.
uint32_t TableSlots(TDataCursor& cursor) { return cursor.Table().DataFile().SlotCount(); }

// Restricts the cursor to `range` and counts its records up to `limit`;
// the range stays on.
uint32_t CountInRange(TDataCursor& cursor, const TIndexRange& range, uint32_t limit);

}  // namespace

bool Filterable(const TExpToken& node) { return FilterableTree(node); }

TFilterExpression FilterExpressionOf(const TExpToken& condition) {
  TFilterExpression expression;
  expression.Pool = std::make_unique<TExpTokenStack>();
  expression.Root = CloneForFilter(condition, *expression.Pool);
  return expression;
}

namespace {

uint32_t CountInRange(TDataCursor& cursor, const TIndexRange& range, uint32_t limit) {
  return ApplyRange(cursor, range) ? cursor.CountUpTo(limit) : 0;
}

}  // namespace

std::vector<TIndexChoice> IndexChoices(TDataCursor& cursor) {
  std::vector<TIndexChoice> indexes;
  for (int slot : cursor.Indexes()) {
    if (slot >= TDataCursor::kRowOrderIndex) continue;
    indexes.push_back(
        {slot, &cursor.IndexDescriptor(slot), &cursor.Table().IndexFile().KeyFormat(slot)});
  }
  return indexes;
}

bool ApplyRange(TDataCursor& cursor, const TIndexRange& range) {
  if (range.Empty) return false;
  if (cursor.CurrentIndex() != range.Index) cursor.SetIndex(range.Index);
  SetCursorRange(cursor, range);
  return true;
}

TSourceFilters::~TSourceFilters() { Clear(); }

void TSourceFilters::Clear() {
  // The filters of one cursor stand together: they go together, the view
  // settled once.
  std::vector<TFilter*> filters;
  for (auto it = installed_.rbegin(); it != installed_.rend();) {
    TDataCursor& cursor = *it->first;
    filters.clear();
    for (; it != installed_.rend() && it->first == &cursor; ++it) filters.push_back(it->second);
    BestEffort([&] { DropFilters(cursor, filters); });
  }
  installed_.clear();
  carried_.clear();
}

void TSourceFilters::Install(TDataQuery& query, TJoinChain& chain, int target,
                             const std::vector<uint16_t>& set_fields) {
  static const std::vector<uint16_t> kNone;
  // A single source is walked once; the sources of a join are walked again
  // for each row of the ones before them.
  const bool walked_once = chain.Levels.size() == 1;
  for (TLoopLevel& level : chain.Levels) {
    TDataCursor& cursor = *query.SourceTables[static_cast<size_t>(level.Source)].Cursor;
    cursor.CancelRange();
    InstallLevel(cursor, level, level.Source == target ? set_fields : kNone, walked_once);
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
                                  const std::vector<uint16_t>& set_fields, bool walked_once) {
  if (level.Filtered.empty()) return;
  const std::vector<TIndexChoice> indexes = IndexChoices(cursor);
  std::vector<TCandidate> candidates;
  for (TExpToken* condition : level.Filtered) {
    std::optional<TIndexRange> range;
    if (FilterableTree(*condition)) range = FindIndexRange(*condition, cursor.Fields(), indexes);
    if (range) candidates.push_back({condition, *range});
  }
  if (candidates.empty()) return;
  // The narrowest kinds of range are tried first; counting stops where the
  // cost rule declines, so a look-up never counts the whole table.
  std::stable_sort(
      candidates.begin(), candidates.end(),
      [](const TCandidate& a, const TCandidate& b) { return Narrowness(a) > Narrowness(b); });
  const uint32_t limit = static_cast<uint32_t>(uint64_t{TableSlots(cursor)} * 9 / 10);
  const int walk_index = cursor.CurrentIndex();
  bool answered = false;
  const TCandidate* walk = nullptr;
  const TCandidate* first_answered = nullptr;
  const TCandidate* counted = nullptr;  // whose range the cursor stands in
  for (TCandidate& candidate : candidates) {
    if (candidate.Range.Empty) {
      level.NoRows = true;
      answered = true;
      break;
    }
    // Beyond kCountLimit records the range counts as answered: walking it
    // costs no more than reading the table, and the count stays bounded.
    candidate.Estimate = CountInRange(cursor, candidate.Range, std::min(limit + 1, kCountLimit));
    counted = &candidate;
    candidate.Declined = candidate.Estimate > limit;
    if (candidate.Declined) continue;
    answered = true;
    if (first_answered == nullptr) first_answered = &candidate;
    if (!RangeUsesField(cursor, candidate.Range, set_fields)) {
      walk = &candidate;
      break;
    }
  }
  // The range goes on before the filters: each filter change settles the
  // cursor in its view, which within the range costs a few entries, and
  // outside it (or on the row-order index) a walk along the index.
  // The walk's range was the last one counted: the cursor stands in it.
  if (answered && walk != nullptr && !level.NoRows) {
    if (walk != counted) ApplyRange(cursor, walk->Range);
  } else {
    if (counted != nullptr) cursor.CancelRange();
    cursor.SetIndex(walk_index);
  }
  if (!answered) return;
  // A declined condition narrows the filter after all beside an answered one.
  // The filters go on together: the view is settled once. A cursor walked
  // once over the narrowest answered range checks each record there as it
  // passes it: building the view would read those records before the walk
  // reads them again.
  std::vector<TFilter*> filters;
  for (const TCandidate& candidate : candidates) {
    TFilter* filter = AddFilter(cursor, FilterExpressionOf(*candidate.Condition));
    installed_.emplace_back(&cursor, filter);
    carried_.push_back(candidate.Condition);
    filters.push_back(filter);
  }
  const bool checked = walked_once && walk != nullptr && walk == first_answered && !level.NoRows;
  ActivateFilters(cursor, filters, checked ? TFilterView::kChecked : TFilterView::kBuilt);
}

}  // namespace strata
