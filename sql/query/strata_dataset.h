// TStrataDataSet: a dataset over an engine cursor (TDataCursor). Owns the
// cursor while open and makes one field object per shown column of its
// table; the hidden AVG counter columns ("Sys__Avg__Count...") that follow
// the shown ones get none.
//
// Close releases the cursor on every path; a result table, opened as a
// temporary table, goes with its last cursor.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sql/query/dataset.h"

namespace strata {

class TDataCursor;

// Lets go of a cursor (closing it; a temporary result table goes with it).
// Never throws.
void ReleaseResultCursor(std::unique_ptr<TDataCursor> cursor) noexcept;

class TStrataDataSet : public TDataSet {
 public:
  TStrataDataSet();
  ~TStrataDataSet() override;

  // Reading column `field_number` (from 1) of the current row; no row reads
  // as NULL.
  bool FieldIsNull(uint16_t field_number) const;
  std::optional<int64_t> FieldInteger(uint16_t field_number) const;
  std::optional<std::string> FieldText(uint16_t field_number) const;
  std::string FieldBlob(uint16_t field_number) const;

 protected:
  // Takes the cursor the next DoOpen uses (DoOpen of a descendant may ask
  // for it first).
  void SetCursor(std::unique_ptr<TDataCursor> cursor);
  bool HasCursor() const { return static_cast<bool>(cursor_); }

  void DoOpen() override;
  void DoClose() noexcept override;
  bool DoFirst() override;
  bool DoLast() override;
  bool DoNext() override;
  bool DoPrior() override;
  int32_t DoRecordCount() override;

 private:
  bool OnRow() const;
  void CreateFields();
  void ReleaseCursor() noexcept;

  std::unique_ptr<TDataCursor> cursor_;
};

}  // namespace strata
