// Scoped holds on a table's locks: each takes its lock in the constructor
// and gives it back when it goes, on every path. Release() gives it back
// early and reports a failed release; the destructor cannot report one
// (when an error is already on its way, that error is the one that
// matters), so code that wants release errors calls Release() at the end.
// A constructor that fails holds nothing.
#pragma once

#include <cstdint>

#include "storage/best_effort.h"
#include "storage/table/data_table.h"

namespace strata {

// What every hold shares: the table while the lock is held (null once given
// back or kept), the "changed" answer of taking it, and the one way of
// giving it back, `EndCall` (a callable on the table).
template <class EndCall>
class TableHold {
 public:
  ~TableHold() {
    if (table_ != nullptr) BestEffort([&] { end_(*table_); });
  }
  TableHold(const TableHold&) = delete;
  TableHold& operator=(const TableHold&) = delete;
  // Whether the table changed since this process last looked.
  bool Changed() const { return changed_; }
  void Release() {
    TDataTable* table = table_;
    table_ = nullptr;
    if (table != nullptr) end_(*table);
  }

 protected:
  explicit TableHold(EndCall end = {}) : end_(end) {}
  // Called by the hold's constructor once the lock is taken.
  void Held(TDataTable& table, bool changed) {
    table_ = &table;
    changed_ = changed;
  }
  void Forget() { table_ = nullptr; }

 private:
  TDataTable* table_ = nullptr;
  bool changed_ = false;
  EndCall end_;
};

namespace lock_calls {
struct EndRead {
  void operator()(TDataTable& table) const { table.EndRead(); }
};
struct EndSecondRead {
  void operator()(TDataTable& table) const { table.EndSecondRead(); }
};
struct EndWrite {
  void operator()(TDataTable& table) const { table.EndWrite(); }
};
struct UnlockTable {
  void operator()(TDataTable& table) const { table.UnlockTable(); }
};
struct UnlockRecord {
  uint32_t record = 0;
  int cursor_id = 0;
  void operator()(TDataTable& table) const { table.UnlockRecord(record, cursor_id); }
};
}  // namespace lock_calls

// BeginRead / EndRead.
class ReadLock : public TableHold<lock_calls::EndRead> {
 public:
  explicit ReadLock(TDataTable& table) { Held(table, table.BeginRead()); }
};

// BeginSecondRead / EndSecondRead: a scan inside another operation.
class SecondReadLock : public TableHold<lock_calls::EndSecondRead> {
 public:
  explicit SecondReadLock(TDataTable& table) { Held(table, table.BeginSecondRead()); }
};

// BeginWrite / EndWrite.
class WriteLock : public TableHold<lock_calls::EndWrite> {
 public:
  explicit WriteLock(TDataTable& table) { Held(table, table.BeginWrite()); }
};

// LockRecord / UnlockRecord for one cursor. Does not release a record that
// the cursor held before (a cursor never locks a record twice).
class RecordLock : public TableHold<lock_calls::UnlockRecord> {
 public:
  RecordLock(TDataTable& table, uint32_t record, int cursor_id)
      : TableHold(lock_calls::UnlockRecord{record, cursor_id}) {
    const bool owned = !table.IsRecordLockedBy(record, cursor_id);
    Held(table, table.LockRecord(record, cursor_id));
    if (!owned) Forget();
  }
  // Keeps the lock beyond this scope (pessimistic editing).
  void Keep() { Forget(); }
};

// LockTable / UnlockTable.
class TableLock : public TableHold<lock_calls::UnlockTable> {
 public:
  explicit TableLock(TDataTable& table) { Held(table, table.LockTable()); }
};

}  // namespace strata
