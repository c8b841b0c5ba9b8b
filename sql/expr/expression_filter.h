// Table filters: conditions in the expression language over one table's
// fields that narrow a cursor's view.
//
// The storage engine knows filters only as its TCursorFilter interface; this
// file implements it (TExpressionFilterSet) and offers the cursor's filter
// operations as functions over TDataCursor. A cursor's set is installed on
// the cursor with its first filter and stays there; while no filter is
// active it does not narrow the view.
//
// The view of a set with active filters is kept as a bitmap of qualifying
// record numbers, built when a filter is activated or deactivated: when a
// condition of an active filter compares a field leading an index with a
// constant, only the records of that index range are read (filter_index_range.h),
// otherwise every record; each record read is checked against every active
// filter. Records this cursor writes or deletes update the bitmap. When
// another cursor or process changes the table, the set stops trusting the
// bitmap and checks each record the cursor passes (until filters are
// activated or deactivated again, which rebuilds it).
//
// Invariants: at most 64 filters per cursor; every filter's expression is
// resolved against the table and of boolean type.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "sql/expr/exp_token.h"
#include "sql/expr/table_rows.h"
#include "storage/cursor/cursor_filter.h"

namespace strata {

class TDataCursor;

constexpr size_t kMaxFilters = 64;

// How activated filters narrow the view: kBuilt reads the qualifying
// records into the bitmap at once; kChecked builds nothing and checks each
// record as the cursor passes it (for a cursor walked once over an index
// range, where building the view would read the same records a second
// time). A later activation or deactivation builds the view again.
enum class TFilterView : uint8_t { kBuilt, kChecked };

// A parsed filter expression not yet given to a cursor.
struct TFilterExpression {
  std::unique_ptr<TExpTokenStack> Pool;
  TExpToken* Root = nullptr;
};

// Parses filter text (errors: 10051 naming `table_name`).
TFilterExpression ParseFilterExpression(std::string_view text, std::string_view table_name);

// One filter of a cursor: its expression and whether it is active.
class TFilter {
 public:
  bool Active() const { return active_; }
  const TExpToken& Root() const { return *root_; }

 private:
  friend class TExpressionFilterSet;
  std::unique_ptr<TExpTokenStack> pool_;
  TExpToken* root_ = nullptr;
  bool active_ = false;
};

class TExpressionFilterSet : public TCursorFilter {
 public:
  explicit TExpressionFilterSet(TDataCursor& cursor);
  ~TExpressionFilterSet() override;

  // Resolves and checks the expression against the cursor's table (10051),
  // 9482 beyond 64 filters. The new filter is inactive.
  TFilter* Add(TFilterExpression expression);
  // 10050 for a filter not of this set.
  void Drop(TFilter* filter);
  void Activate(TFilter* filter);
  void Deactivate(TFilter* filter);
  // As Drop and Activate for each of `filters`, with one rebuild of the
  // view; nothing changes when one of them is not of this set.
  void Drop(std::span<TFilter* const> filters);
  void Activate(std::span<TFilter* const> filters, TFilterView view = TFilterView::kBuilt);
  size_t Count() const { return filters_.size(); }
  // Whether the last rebuild read an index range (and which index), for tests.
  std::optional<int> LastIndexUsed() const { return last_index_; }

  // TCursorFilter
  bool Narrows() const override { return active_count_ > 0; }
  bool NeedsRecord() const override { return !trusted_; }
  bool Accepts(uint32_t record_number, std::span<const uint8_t> record) override;
  std::optional<uint32_t> KnownCount() const override;
  void RecordWritten(uint32_t record_number, std::span<const uint8_t> record) override;
  void RecordRemoved(uint32_t record_number) override;
  void TableChanged() override { trusted_ = false; }

 private:
  TFilter& Find(TFilter* filter) const;
  // Whether `record` satisfies every active filter.
  bool Qualifies(std::span<const uint8_t> record);
  // Builds the bitmap of the active filters (or falls back to record checks).
  void Rebuild();

  TDataCursor& cursor_;
  std::vector<std::unique_ptr<TFilter>> filters_;
  size_t active_count_ = 0;
  TTableColumns columns_;
  TRecordRows rows_;
  TEvalContext context_;
  TRecordsBitmap bitmap_;
  bool trusted_ = false;  // the bitmap holds the view
  std::optional<int> last_index_;
};

// The cursor's filter operations. The set is created and installed on the
// cursor by the first AddFilter.
TFilter* AddFilter(TDataCursor& cursor, std::string_view expression);
TFilter* AddFilter(TDataCursor& cursor, TFilterExpression expression);
void DropFilter(TDataCursor& cursor, TFilter* filter);
void ActivateFilter(TDataCursor& cursor, TFilter* filter);
void DeactivateFilter(TDataCursor& cursor, TFilter* filter);
// As DropFilter / ActivateFilter for each of `filters`, the view settled once.
void DropFilters(TDataCursor& cursor, std::span<TFilter* const> filters);
void ActivateFilters(TDataCursor& cursor, std::span<TFilter* const> filters,
                     TFilterView view = TFilterView::kBuilt);
// The cursor's set, or nullptr when no filter was ever added.
TExpressionFilterSet* FilterSetOf(TDataCursor& cursor);

}  // namespace strata
