// TSourceRows: the current rows of a statement's sources as expressions read
// them. Each source is bound to its cursor's record buffer (the record read,
// or the record being edited, so a SET value sees the assignments before
// it), to NULLs (the inner side of an outer join without a match), or to
// nothing. Blob fields are read through the source's cursor.
//
// Always: one slot per source of the query, in source-list order (the order
// expressions were resolved against); cursors are the sources' own.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "sql/expr/exp_eval.h"
#include "sql/expr/table_rows.h"

namespace strata {

class TDataCursor;
class TDataQuery;

class TSourceRows : public TRowSource {
 public:
  // The sources of `query` must be open.
  explicit TSourceRows(TDataQuery& query);
  ~TSourceRows() override;

  enum class TBinding : uint8_t { kNone, kRecord, kNull };
  void Bind(int source, TBinding binding) { slots_[static_cast<size_t>(source)].Binding = binding; }
  TBinding Binding(int source) const { return slots_[static_cast<size_t>(source)].Binding; }
  int Count() const { return static_cast<int>(slots_.size()); }

  bool ReadColumn(int source, uint16_t column, TExpValue& out) override;
  std::optional<int64_t> LastAutoInc(std::string_view table) override;

 private:
  struct TSlot {
    TDataCursor* Cursor = nullptr;
    std::unique_ptr<TRecordRows> Rows;
    TBinding Binding = TBinding::kNone;
  };
  std::vector<TSlot> slots_;
};

}  // namespace strata
