// The table-level lock protocol of TDataTable: read slots, write regions,
// the table mutex, record locks and change detection across the three
// files. Lock regions: see lock_regions.h.
#include <algorithm>
#include <exception>
#include <optional>

#include "platform/clock.h"
#include "storage/best_effort.h"
#include "storage/blob/blob_file.h"
#include "storage/data/data_file.h"
#include "storage/engine_error.h"
#include "storage/file/rollback_journal.h"
#include "storage/index/index_file.h"
#include "storage/table/data_table.h"
#include "storage/table/lock_loop.h"
#include "storage/table/lock_regions.h"
#include "storage/table/table_lock_guards.h"

namespace strata {

// Change detection -------------------------------------------------------------

bool TDataTable::DetectChange() {
  // Inside a transaction this process holds the table mutex, so nobody else
  // has written; its own counters run ahead of the files until commit.
  if (in_transaction_) return false;
  bool changed = false;
  if (index_->DetectChange()) {
    // The index header moved: every index page is gone already; the records
    // are dropped too and the data header read again.
    data_->DiscardChanges();
    changed = true;
  } else if (data_->DetectChange()) {
    changed = true;
  }
  if (BlobLocksApply() && blob_->DetectChange()) changed = true;
  return changed;
}

// Looking for a change on record ---------------------------------------------------

bool TDataTable::KeepsWritersOut() const {
  // Every change begins under the table mutex and runs under the write
  // regions, which cover every read slot: while this object holds any of
  // them, no other writer (and no recovery) can begin a change.
  return first_read_.holds || second_read_.holds || write_holds_index_ || write_holds_blob_ ||
         write_holds_mutex_ || (table_lock_depth_ > 0 && TakesLocks());
}

void TDataTable::AfterRelease() {
  if (!KeepsWritersOut()) journal_looked_ = false;
}

// Read slots ---------------------------------------------------------------------

bool TDataTable::TakeReadSlots(ReadLockState& lock, const ReadLockState& other, bool wait) {
  uint16_t slot = 0;
  // Slots are drawn anew before every attempt; one already held through the
  // other read lock of this table (same handle) is never drawn.
  auto take_slot = [&](TFileHandler& file, uint16_t avoid) {
    return RunTableLockLoop(
        [&] {
          slot = DrawReadSlot(avoid);
          return file.Lock(ReadSlotOffset(slot), kReadSlotLength);
        },
        nullptr, wait ? kTableLockAttempts : 1);
  };
  if (!take_slot(*index_, other.holds ? other.index_slot : 0)) {
    if (!wait) return false;
    RaiseTableError(STRATA_LOCKTIMEOUT, name_);
  }
  lock.index_slot = slot;
  if (BlobLocksApply()) {
    if (!take_slot(*blob_, other.holds ? other.blob_slot : 0)) {
      index_->Unlock(ReadSlotOffset(lock.index_slot), kReadSlotLength);
      lock.index_slot = 0;
      if (!wait) return false;
      RaiseTableError(STRATA_LOCKTIMEOUT, name_);
    }
    lock.blob_slot = slot;
  } else {
    lock.blob_slot = 0;
  }
  lock.holds = true;
  return true;
}

bool TDataTable::ReleaseReadSlots(ReadLockState& lock) {
  bool released = true;
  if (lock.blob_slot != 0 && blob_) {
    released = blob_->Unlock(ReadSlotOffset(lock.blob_slot), kReadSlotLength);
  }
  released = index_->Unlock(ReadSlotOffset(lock.index_slot), kReadSlotLength) && released;
  lock.holds = false;
  lock.index_slot = 0;
  lock.blob_slot = 0;
  AfterRelease();
  return released;
}

std::optional<bool> TDataTable::BeginReadLock(ReadLockState& lock, const ReadLockState& other,
                                              bool wait) {
  if (!TakesLocks()) return false;
  // Nested, or covered by a lock that keeps writers out already: nothing to take.
  if (lock.depth > 0 || AnyTableLevelLockHeld()) {
    ++lock.depth;
    return false;
  }
  if (!TakeReadSlots(lock, other, wait)) return std::nullopt;
  lock.depth = 1;
  try {
    // With a read slot held no writer is at work: a change on record is
    // hot. (Writers kept out since the last look - a slot of the other read
    // lock held, say - mean none can have begun since.)
    while (!journal_looked_ && JournalHoldsChange()) {
      ReleaseReadSlots(lock);
      if (!wait) {
        // Recovery takes the write regions: left to a caller that may wait.
        lock.depth = 0;
        return std::nullopt;
      }
      RecoverForReading();
      TakeReadSlots(lock, other, true);
    }
    journal_looked_ = true;
    return DetectChange();
  } catch (...) {
    if (lock.holds) ReleaseReadSlots(lock);
    lock.depth = 0;
    throw;
  }
}

void TDataTable::EndReadLock(ReadLockState& lock) {
  if (!TakesLocks() || lock.depth == 0) return;
  if (--lock.depth > 0) return;
  lock.suspended = false;
  if (lock.holds && !ReleaseReadSlots(lock)) RaiseTableError(STRATA_UNLOCKFAILED, name_);
}

bool TDataTable::BeginRead() { return *BeginReadLock(first_read_, second_read_, true); }
std::optional<bool> TDataTable::TryBeginRead() {
  return BeginReadLock(first_read_, second_read_, false);
}
void TDataTable::EndRead() { EndReadLock(first_read_); }
bool TDataTable::BeginSecondRead() { return *BeginReadLock(second_read_, first_read_, true); }
void TDataTable::EndSecondRead() { EndReadLock(second_read_); }

void TDataTable::ResumeReadLocks() {
  // Read operations still running get their slots back.
  for (ReadLockState* lock : {&first_read_, &second_read_}) {
    if (!lock->suspended) continue;
    lock->suspended = false;
    if (lock->depth > 0) {
      TakeReadSlots(*lock, lock == &first_read_ ? second_read_ : first_read_, true);
    }
  }
}

// Write regions ------------------------------------------------------------------

bool TDataTable::BeginWrite() {
  if (!TakesLocks()) return false;
  if (write_depth_ > 0) {
    ++write_depth_;
    return false;
  }
  if (write_regions_kept_) {
    // The statement's earlier write lock kept them, under the table lock
    // held all along: nobody else can have written since.
    write_regions_kept_ = false;
    write_depth_ = 1;
    return DetectChange();
  }
  // The write regions cover this table's own read slots, and locks through
  // one handle do not nest: running read operations give their slots up
  // while the write lock excludes every other process anyway.
  for (ReadLockState* lock : {&first_read_, &second_read_}) {
    if (lock->holds) {
      ReleaseReadSlots(*lock);
      lock->suspended = true;
    }
  }
  bool took_mutex = false;
  bool took_index = false;
  auto give_back = [&] {
    if (took_index) index_->Unlock(kWriteRegionOffset, kWriteRegionLength);
    if (took_mutex) data_->Unlock(kTableMutexOffset, kTableMutexLength);
    AfterRelease();
    BestEffort([&] { ResumeReadLocks(); });
  };
  auto lock_region = [](TFileHandler& file, uint64_t offset, uint64_t length) {
    return RunTableLockLoop([&] { return file.Lock(offset, length); });
  };
  if (table_lock_depth_ == 0) {
    if (!lock_region(*data_, kTableMutexOffset, kTableMutexLength)) {
      give_back();
      RaiseTableError(STRATA_LOCKTIMEOUT, name_);
    }
    took_mutex = true;
  }
  if (!lock_region(*index_, kWriteRegionOffset, kWriteRegionLength)) {
    give_back();
    RaiseTableError(STRATA_LOCKTIMEOUT, name_);
  }
  took_index = true;
  bool took_blob = false;
  if (BlobLocksApply()) {
    if (!lock_region(*blob_, kWriteRegionOffset, kWriteRegionLength)) {
      give_back();
      RaiseTableError(STRATA_LOCKTIMEOUT, name_);
    }
    took_blob = true;
  }
  write_depth_ = 1;
  write_holds_mutex_ = took_mutex;
  write_holds_index_ = took_index;
  write_holds_blob_ = took_blob;
  try {
    // Under a table lock held all along (the mutex kept every writer out)
    // the last look still holds; the read slots given up above leave a gap
    // otherwise, and a writer may have come and gone in it.
    if (!journal_looked_) RecoverUnderWriteRegions();
    journal_looked_ = true;
    return DetectChange();
  } catch (...) {
    write_depth_ = 1;
    BestEffort([&] { EndWrite(); });
    throw;
  }
}

void TDataTable::EndWrite() {
  if (!TakesLocks() || write_depth_ == 0) return;
  if (--write_depth_ > 0) return;
  // Whatever was written under the write lock and not yet committed as a
  // change is complete now, before the lock that marks it live goes.
  std::exception_ptr failure;
  if (journal_ && journal_->Live()) {
    try {
      journal_->Commit();
    } catch (...) {
      // The change may stay on record: the next lock looks again.
      journal_looked_ = false;
      failure = std::current_exception();
    }
  }
  // In a statement's own transaction the regions wait for the commit's
  // write lock, unless a read operation of this table is waiting to take
  // its slots back (which they cover) or the mutex is the write's to give.
  if (!failure && in_transaction_ && one_statement_ && table_lock_depth_ > 0 &&
      !write_holds_mutex_ && !first_read_.suspended && !second_read_.suspended) {
    write_regions_kept_ = true;
    return;
  }
  bool released = ReleaseWriteRegions();
  if (write_holds_mutex_) {
    released = data_->Unlock(kTableMutexOffset, kTableMutexLength) && released;
  }
  write_holds_mutex_ = false;
  AfterRelease();
  ResumeReadLocks();
  if (failure) std::rethrow_exception(failure);
  if (!released) RaiseTableError(STRATA_LOCKTIMEOUT, name_);
}

// Table lock ---------------------------------------------------------------------

bool TDataTable::LockTable() {
  if (table_lock_depth_ > 0 || !TakesLocks()) {
    ++table_lock_depth_;
    return false;
  }
  if (write_holds_mutex_) {
    // The running write operation holds the mutex already: it stays held
    // for the table lock.
    write_holds_mutex_ = false;
    table_lock_depth_ = 1;
    return false;
  }
  if (!RunTableLockLoop([&] { return data_->Lock(kTableMutexOffset, kTableMutexLength); })) {
    RaiseTableError(STRATA_LOCKTIMEOUT, name_);
  }
  table_lock_depth_ = 1;
  try {
    // The table is ours until UnlockTable: a change on record now is hot.
    // (With writers kept out since the last look - a read slot of this
    // table held, say - none can be.)
    if (!journal_looked_ && JournalHoldsChange()) RecoverUnderMutex();
    journal_looked_ = true;
    return DetectChange();
  } catch (...) {
    table_lock_depth_ = 0;
    data_->Unlock(kTableMutexOffset, kTableMutexLength);
    AfterRelease();
    throw;
  }
}

bool TDataTable::ReleaseWriteRegions() {
  bool released = true;
  if (write_holds_blob_) released = blob_->Unlock(kWriteRegionOffset, kWriteRegionLength);
  if (write_holds_index_) {
    released = index_->Unlock(kWriteRegionOffset, kWriteRegionLength) && released;
  }
  write_holds_blob_ = false;
  write_holds_index_ = false;
  return released;
}

bool TDataTable::ReleaseKeptWriteRegions() {
  if (!write_regions_kept_) return true;
  write_regions_kept_ = false;
  return ReleaseWriteRegions();
}

void TDataTable::UnlockTable() {
  if (table_lock_depth_ == 0) return;
  if (--table_lock_depth_ > 0 || !TakesLocks()) return;
  if (write_depth_ > 0) {
    // A write operation is running: the mutex stays held until it ends.
    write_holds_mutex_ = true;
    return;
  }
  // Write regions kept for a commit that did not come go first, before the
  // mutex that covered them.
  const bool regions_released = ReleaseKeptWriteRegions();
  const bool released = data_->Unlock(kTableMutexOffset, kTableMutexLength) && regions_released;
  AfterRelease();
  if (!released) RaiseTableError(STRATA_LOCKTIMEOUT, name_);
}

// Record locks -------------------------------------------------------------------

bool TDataTable::IsRecordLockedBy(uint32_t record, int cursor_id) const {
  auto found = record_locks_.find(record);
  return found != record_locks_.end() && found->second == cursor_id;
}

bool TDataTable::LockRecord(uint32_t record, int cursor_id) {
  if (record == 0) RaiseTableError(STRATA_RECLOCKFAILED, name_);
  if (auto found = record_locks_.find(record); found != record_locks_.end()) {
    // The shared handle cannot lock a byte twice: another cursor of this
    // table object holding it means "in use".
    if (found->second == cursor_id) return false;
    RaiseTableError(STRATA_RECLOCKFAILED, name_);
  }
  bool changed = false;
  if (TakesLocks()) {
    std::optional<ReadLock> look;
    if (!settings_->StrictChangeDetection) {
      look.emplace(*this);
      changed = look->Changed();
    }
    // LockRetryCount + 1 attempts at most, LockWaitTime apart.
    int failures = 0;
    last_record_lock_attempts_ = 1;
    while (!data_->Lock(RecordLockOffset(record), kRecordLockLength)) {
      // The read slot has served its purpose (the change is noticed); held
      // through the waits it would keep out the writer that is about to
      // release this very record.
      if (look) {
        look->Release();
        look.reset();
      }
      if (++failures > settings_->LockRetryCount) RaiseTableError(STRATA_RECLOCKFAILED, name_);
      platform::SleepMs(settings_->LockWaitTime);
      ++last_record_lock_attempts_;
    }
    if (look) {
      try {
        look->Release();
      } catch (...) {
        data_->Unlock(RecordLockOffset(record), kRecordLockLength);
        throw;
      }
    }
  }
  record_locks_[record] = cursor_id;
  return changed;
}

void TDataTable::UnlockRecord(uint32_t record, int cursor_id) {
  auto found = record_locks_.find(record);
  if (found == record_locks_.end() || found->second != cursor_id) {
    RaiseTableError(STRATA_UNLOCKFAILED, name_);
  }
  record_locks_.erase(found);
  if (TakesLocks() && !data_->Unlock(RecordLockOffset(record), kRecordLockLength)) {
    RaiseTableError(STRATA_UNLOCKFAILED, name_);
  }
}

void TDataTable::UnlockCursorRecords(int cursor_id) {
  bool released = true;
  for (auto it = record_locks_.begin(); it != record_locks_.end();) {
    if (it->second != cursor_id) {
      ++it;
      continue;
    }
    if (TakesLocks()) {
      released = data_->Unlock(RecordLockOffset(it->first), kRecordLockLength) && released;
    }
    it = record_locks_.erase(it);
  }
  if (!released) RaiseTableError(STRATA_UNLOCKFAILED, name_);
}

}  // namespace strata
