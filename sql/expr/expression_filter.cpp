#include "sql/expr/expression_filter.h"

#include <algorithm>

#include "sql/expr/exp_grammar.h"
#include "sql/expr/exp_messages.h"
#include "sql/expr/filter_index_range.h"
#include "sql/expr/operand_types.h"
#include "storage/cursor/data_cursor.h"
#include "storage/data/data_file.h"
#include "storage/engine_error.h"
#include "storage/index/index_file.h"
#include "storage/table/data_table.h"

namespace strata {

namespace {

TSqlErrorTarget FilterTarget(std::string_view table) {
  return TSqlErrorTarget{STRATA_INVALIDFILTER, std::string(table)};
}

}  // namespace

TFilterExpression ParseFilterExpression(std::string_view text, std::string_view table_name) {
  TExpressionParser tokens{std::string(text)};
  tokens.SetErrorTarget(FilterTarget(table_name));
  tokens.SetParseContext(msg::kFilterContext);
  tokens.NextToken();
  TFilterExpression expression;
  expression.Pool = std::make_unique<TExpTokenStack>();
  if (tokens.AtEnd()) RaiseSqlError(FilterTarget(table_name), msg::kFilterNotBoolean);
  expression.Root = ParseExpression(tokens, *expression.Pool, kFilterPermissions);
  if (!tokens.AtEnd()) {
    tokens.Raise(msg::kUnknownSymbol, {tokens.TokenText(), tokens.ParseContext()});
  }
  return expression;
}

TExpressionFilterSet::TExpressionFilterSet(TDataCursor& cursor)
    : cursor_(cursor),
      columns_(cursor.TableName(), cursor.Fields()),
      rows_(cursor.Fields(), cursor.Table().DataFile().Context()) {
  context_.Rows = &rows_;
  context_.LocaleId = cursor.Table().DataFile().Context().NlsLocaleId();
}

TExpressionFilterSet::~TExpressionFilterSet() = default;

TFilter& TExpressionFilterSet::Find(TFilter* filter) const {
  for (const auto& owned : filters_) {
    if (owned.get() == filter) return *owned;
  }
  RaiseTableError(STRATA_NOSUCHFILTER, cursor_.TableName());
}

TFilter* TExpressionFilterSet::Add(TFilterExpression expression) {
  if (filters_.size() >= kMaxFilters) RaiseTableError(STRATA_INTERNALLIMIT, cursor_.TableName());
  TResolveOptions options;
  options.Context = msg::kFilterContext;
  options.Target = FilterTarget(cursor_.TableName());
  ResolveExpression(*expression.Root, columns_, options);
  if (expression.Root->ResultType != fldBOOL) {
    RaiseSqlError(options.Target, msg::kFilterNotBoolean);
  }
  auto filter = std::make_unique<TFilter>();
  filter->pool_ = std::move(expression.Pool);
  filter->root_ = expression.Root;
  filters_.push_back(std::move(filter));
  return filters_.back().get();
}

void TExpressionFilterSet::Drop(TFilter* filter) {
  TFilter& found = Find(filter);
  const bool was_active = found.active_;
  std::erase_if(filters_, [&](const auto& owned) { return owned.get() == &found; });
  if (was_active) {
    --active_count_;
    Rebuild();
  }
}

void TExpressionFilterSet::Activate(TFilter* filter) {
  TFilter& found = Find(filter);
  if (!found.active_) {
    found.active_ = true;
    ++active_count_;
  }
  Rebuild();
}

void TExpressionFilterSet::Drop(std::span<TFilter* const> filters) {
  for (TFilter* filter : filters) Find(filter);
  bool was_active = false;
  for (TFilter* filter : filters) {
    auto found = std::find_if(filters_.begin(), filters_.end(),
                              [&](const auto& owned) { return owned.get() == filter; });
    if (found == filters_.end()) continue;  // named twice
    if ((*found)->active_) {
      was_active = true;
      --active_count_;
    }
    filters_.erase(found);
  }
  if (was_active) Rebuild();
}

void TExpressionFilterSet::Activate(std::span<TFilter* const> filters, TFilterView view) {
  for (TFilter* filter : filters) Find(filter);
  for (TFilter* filter : filters) {
    TFilter& found = Find(filter);
    if (!found.active_) {
      found.active_ = true;
      ++active_count_;
    }
  }
  if (view == TFilterView::kBuilt) {
    Rebuild();
    return;
  }
  // Untrusted, the set checks every record the cursor passes.
  bitmap_.Clear();
  trusted_ = false;
  last_index_.reset();
}

void TExpressionFilterSet::Deactivate(TFilter* filter) {
  TFilter& found = Find(filter);
  if (found.active_) {
    found.active_ = false;
    --active_count_;
  }
  Rebuild();
}

bool TExpressionFilterSet::Qualifies(std::span<const uint8_t> record) {
  rows_.Bind(record);
  for (const auto& filter : filters_) {
    if (filter->active_ && !Evaluate(*filter->root_, context_).IsTrue()) return false;
  }
  return true;
}

bool TExpressionFilterSet::Accepts(uint32_t record_number, std::span<const uint8_t> record) {
  if (trusted_) return bitmap_.Contains(record_number);
  return Qualifies(record);
}

std::optional<uint32_t> TExpressionFilterSet::KnownCount() const {
  if (!trusted_) return std::nullopt;
  return bitmap_.Count();
}

void TExpressionFilterSet::RecordWritten(uint32_t record_number, std::span<const uint8_t> record) {
  if (!trusted_ || active_count_ == 0) return;
  if (Qualifies(record)) {
    bitmap_.Add(record_number);
  } else {
    bitmap_.Remove(record_number);
  }
}

void TExpressionFilterSet::RecordRemoved(uint32_t record_number) { bitmap_.Remove(record_number); }

void TExpressionFilterSet::Rebuild() {
  bitmap_.Clear();
  trusted_ = false;
  last_index_.reset();
  if (active_count_ == 0) return;

  // The best index range over all active filters (each must hold, so any
  // one filter's range bounds the view).
  std::vector<TIndexChoice> indexes;
  for (int slot : cursor_.Indexes()) {
    if (slot >= kSysDeletedIndex) continue;
    indexes.push_back(
        {slot, &cursor_.IndexDescriptor(slot), &cursor_.Table().IndexFile().KeyFormat(slot)});
  }
  std::optional<TIndexRange> range;
  for (const auto& filter : filters_) {
    if (!filter->active_) continue;
    if (auto found = FindIndexRange(*filter->root_, cursor_.Fields(), indexes)) {
      if (!range || (found->Low && found->High && !(range->Low && range->High))) range = found;
    }
  }

  // A second cursor on the table reads the records; a table opened for
  // exclusive use admits none, and its records are then checked as the
  // cursor passes them.
  TDataCursor scan(cursor_.Directory().shared_from_this());
  try {
    scan.Open(cursor_.TableName(), {.ReadOnly = true});
  } catch (const EStrataEngineError&) {
    return;
  }
  if (range) {
    last_index_ = range->Index;
    if (range->Empty) {
      trusted_ = true;
      return;
    }
    scan.SetIndex(range->Index);
    SetCursorRange(scan, *range);
  }
  scan.First();
  for (;;) {
    uint32_t visited = scan.ScanNext(4096, [&](TDataCursor& at) {
      if (Qualifies(at.RecordBuffer())) bitmap_.Add(at.CurrentRecordNumber());
      return true;
    });
    if (visited < 4096) break;
  }
  trusted_ = true;
}

TExpressionFilterSet* FilterSetOf(TDataCursor& cursor) {
  return dynamic_cast<TExpressionFilterSet*>(cursor.Filter().get());
}

namespace {

TExpressionFilterSet& SetOf(TDataCursor& cursor) {
  if (TExpressionFilterSet* set = FilterSetOf(cursor)) return *set;
  auto set = std::make_shared<TExpressionFilterSet>(cursor);
  cursor.SetFilter(set);
  return *set;
}

TExpressionFilterSet& ExistingSetOf(TDataCursor& cursor) {
  TExpressionFilterSet* set = FilterSetOf(cursor);
  if (!set) RaiseTableError(STRATA_NOSUCHFILTER, cursor.TableName());
  return *set;
}

// The view changed: the cursor goes before its first record.
void Reposition(TDataCursor& cursor) { cursor.SetFilter(cursor.Filter()); }

}  // namespace

TFilter* AddFilter(TDataCursor& cursor, std::string_view expression) {
  return AddFilter(cursor, ParseFilterExpression(expression, cursor.TableName()));
}

TFilter* AddFilter(TDataCursor& cursor, TFilterExpression expression) {
  return SetOf(cursor).Add(std::move(expression));
}

void DropFilter(TDataCursor& cursor, TFilter* filter) {
  ExistingSetOf(cursor).Drop(filter);
  Reposition(cursor);
}

void ActivateFilter(TDataCursor& cursor, TFilter* filter) {
  ExistingSetOf(cursor).Activate(filter);
  Reposition(cursor);
}

void DeactivateFilter(TDataCursor& cursor, TFilter* filter) {
  ExistingSetOf(cursor).Deactivate(filter);
  Reposition(cursor);
}

void DropFilters(TDataCursor& cursor, std::span<TFilter* const> filters) {
  if (filters.empty()) return;
  ExistingSetOf(cursor).Drop(filters);
  Reposition(cursor);
}

void ActivateFilters(TDataCursor& cursor, std::span<TFilter* const> filters, TFilterView view) {
  if (filters.empty()) return;
  ExistingSetOf(cursor).Activate(filters, view);
  Reposition(cursor);
}

}  // namespace strata
