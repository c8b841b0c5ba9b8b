// Scoped holds on a table's locks: each takes its lock in the constructor
// and gives it back when it goes, on every path. Release() gives it back
// early and reports a failed release; the destructor cannot report one
// (when an error is already on its way, that error is the one that
// matters), so code that wants release errors calls Release() at the end.
#pragma once

#include <cstdint>

#include "storage/table/data_table.h"

namespace strata {

// BeginRead / EndRead.
class ReadLock {
 public:
  explicit ReadLock(TDataTable& table) : table_(&table) { changed_ = table.BeginRead(); }
  ~ReadLock() {
    if (table_ == nullptr) return;
    try {
      table_->EndRead();
    } catch (...) {
    }
  }
  ReadLock(const ReadLock&) = delete;
  ReadLock& operator=(const ReadLock&) = delete;
  // Whether the table changed since this process last looked.
  bool Changed() const { return changed_; }
  void Release() {
    TDataTable* table = table_;
    table_ = nullptr;
    if (table != nullptr) table->EndRead();
  }

 private:
  TDataTable* table_;
  bool changed_ = false;
};

// BeginSecondRead / EndSecondRead: a scan inside another operation.
class SecondReadLock {
 public:
  explicit SecondReadLock(TDataTable& table) : table_(&table) {
    changed_ = table.BeginSecondRead();
  }
  ~SecondReadLock() {
    if (table_ == nullptr) return;
    try {
      table_->EndSecondRead();
    } catch (...) {
    }
  }
  SecondReadLock(const SecondReadLock&) = delete;
  SecondReadLock& operator=(const SecondReadLock&) = delete;
  bool Changed() const { return changed_; }
  void Release() {
    TDataTable* table = table_;
    table_ = nullptr;
    if (table != nullptr) table->EndSecondRead();
  }

 private:
  TDataTable* table_;
  bool changed_ = false;
};

// BeginWrite / EndWrite.
class WriteLock {
 public:
  explicit WriteLock(TDataTable& table) : table_(&table) { changed_ = table.BeginWrite(); }
  ~WriteLock() {
    if (table_ == nullptr) return;
    try {
      table_->EndWrite();
    } catch (...) {
    }
  }
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;
  bool Changed() const { return changed_; }
  void Release() {
    TDataTable* table = table_;
    table_ = nullptr;
    if (table != nullptr) table->EndWrite();
  }

 private:
  TDataTable* table_;
  bool changed_ = false;
};

// LockRecord / UnlockRecord for one cursor. Does not release a record that
// the cursor held before (a cursor never locks a record twice).
class RecordLock {
 public:
  RecordLock(TDataTable& table, uint32_t record, int cursor_id)
      : table_(&table), record_(record), cursor_id_(cursor_id) {
    owned_ = !table.IsRecordLockedBy(record, cursor_id);
    changed_ = table.LockRecord(record, cursor_id);
    if (!owned_) table_ = nullptr;
  }
  ~RecordLock() {
    if (table_ == nullptr) return;
    try {
      table_->UnlockRecord(record_, cursor_id_);
    } catch (...) {
    }
  }
  RecordLock(const RecordLock&) = delete;
  RecordLock& operator=(const RecordLock&) = delete;
  bool Changed() const { return changed_; }
  void Release() {
    TDataTable* table = table_;
    table_ = nullptr;
    if (table != nullptr) table->UnlockRecord(record_, cursor_id_);
  }
  // Keeps the lock beyond this scope (pessimistic editing).
  void Keep() { table_ = nullptr; }

 private:
  TDataTable* table_;
  uint32_t record_;
  int cursor_id_;
  bool owned_ = true;
  bool changed_ = false;
};

// LockTable / UnlockTable.
class TableLock {
 public:
  explicit TableLock(TDataTable& table) : table_(&table) { changed_ = table.LockTable(); }
  ~TableLock() {
    if (table_ == nullptr) return;
    try {
      table_->UnlockTable();
    } catch (...) {
    }
  }
  TableLock(const TableLock&) = delete;
  TableLock& operator=(const TableLock&) = delete;
  bool Changed() const { return changed_; }
  void Release() {
    TDataTable* table = table_;
    table_ = nullptr;
    if (table != nullptr) table->UnlockTable();
  }

 private:
  TDataTable* table_;
  bool changed_ = false;
};

}  // namespace strata
