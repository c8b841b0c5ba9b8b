// TDataSet: rows with a current row, field objects by position, and the
// open/closed state every reading operation checks. Descendants supply the
// rows (the Do* hooks); this class keeps Bof/Eof and the field list.
//
// Invariants: closed means no fields and Bof = Eof = true; open on an empty
// result means Bof = Eof = true; a failed Open leaves the dataset closed.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "sql/query/fields.h"

namespace strata {

// The runtime's dataset messages (Windows-1252).
extern const std::string_view kDataSetClosed;   // "Operation bei geschlossener ..."
extern const std::string_view kDataSetOpen;     // "Operation bei geöffneter ..."
extern const std::string_view kListIndexError;  // "Der Index der Liste ... (%d)"

class TDataSet {
 public:
  TDataSet();
  virtual ~TDataSet();
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;

  bool Active() const { return active_; }
  void SetActive(bool active);
  void Open();
  // Nothing happens when already closed; never throws.
  void Close();

  // The open rows; kDataSetClosed while closed.
  int32_t RecordCount();
  void First();
  void Last();
  // Moves up to `distance` rows (back when negative); the rows moved.
  int32_t MoveBy(int32_t distance);
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  // kListIndexError beyond the columns; kDataSetClosed while closed.
  TField& Fields(int index);

 protected:
  // EDatabaseError kDataSetClosed / kDataSetOpen.
  void CheckActive() const;
  void CheckInactive() const;
  void AddField(std::unique_ptr<TField> field) { fields_.push_back(std::move(field)); }

  // Make the rows ready and add the fields; the dataset stays closed when
  // this throws (DoClose is called).
  virtual void DoOpen() = 0;
  // Release the rows; must not throw.
  virtual void DoClose() noexcept = 0;
  // Each returns whether a row is current afterwards / was reached.
  virtual bool DoFirst() = 0;
  virtual bool DoLast() = 0;
  virtual bool DoNext() = 0;
  virtual bool DoPrior() = 0;
  virtual int32_t DoRecordCount() = 0;

 private:
  std::vector<std::unique_ptr<TField>> fields_;
  bool active_ = false;
  bool bof_ = true;
  bool eof_ = true;
};

}  // namespace strata
