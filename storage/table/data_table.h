// TDataTable: one table as seen by this process through one directory
// object. It owns the table's three files (data, index and, when the table
// has blob fields, blob), shares them and their caches among every cursor of
// the table, and carries the table-level lock protocol between processes:
// read slots, write regions, the table mutex, record locks, change detection
// across the three file headers, and the table's part in a transaction.
//
// Disk tables keep a rollback journal (table_journal.cpp): every flush is
// one change of the three files as far as any later opener can see, and a
// hot journal left by a writer that is gone is rolled back before this
// process reads (at open, BeginRead, BeginWrite, LockTable).
//
// Invariants: a lock is asked of the operating system only when this object
// does not hold it already; no lock is taken at all when the table is open
// exclusively or its files carry the read-only attribute; every lock taken
// by a failing call is released before the error leaves it.
//
// The lock protocol is implemented in table_locking.cpp (the byte ranges
// locked: lock_regions.h; the scoped holds: table_lock_guards.h). Its state:
//
//   read lock (first_read_, second_read_: ReadLockState)
//     depth      nesting of Begin/End; slots are taken from the OS only on
//                0 -> 1 and only when no write or table lock is held (those
//                keep every writer out already)
//     holds      the index (and blob) read slot is locked at the OS
//     suspended  the slots were given up by BeginWrite: the write regions
//                cover them and locks through one handle do not nest
//
//       BeginRead (0 -> 1)       BeginWrite              EndWrite (depth > 0)
//   idle ------------------> holds ----------> suspended -----------------> holds
//     ^                        |                   |
//     +---- EndRead (1 -> 0) --+---------<---------+  (slots released if held)
//
//   write lock: write_depth_ (nesting), then write_holds_mutex_ /
//   write_holds_index_ / write_holds_blob_ for the table mutex and the index
//   and blob write regions it took at 0 -> 1.
//   table lock: table_lock_depth_ (nesting); it holds the table mutex.
//
//   The table mutex is locked once at the OS and handed between the two:
//     BeginWrite, no table lock     write takes it (write_holds_mutex_)
//     BeginWrite under table lock   write leaves it to the table lock
//     LockTable during a write      handed to the table lock
//     UnlockTable during a write    handed back to the write
//     EndWrite / UnlockTable        released by whichever holds it last
#pragma once

#include <cassert>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file.h"
#include "storage/data/data_header.h"
#include "storage/engine_settings.h"
#include "storage/index/index_header.h"

namespace strata {

class TDataFile;
class TIndexFile;
class TBlobFile;
class TFileHandler;
class TRollbackJournal;

class TDataTable {
 public:
  // `name` is the table name as first opened (trimmed, without ".DAT"); the
  // paths are the three file paths. `settings` outlives the files.
  TDataTable(std::string name, std::string data_path, std::string index_path, std::string blob_path,
             bool in_memory, std::shared_ptr<const TEngineSettings> settings);
  ~TDataTable();  // closes (errors swallowed; call Close() to see them)
  TDataTable(const TDataTable&) = delete;
  TDataTable& operator=(const TDataTable&) = delete;

  // Opening and closing --------------------------------------------------
  // Opens data, then index (a missing index file is created empty and the
  // table marked as needing its indexes rebuilt), then blob when the table
  // has blob fields. On failure every file opened so far is closed again.
  void Open(bool exclusive, bool read_only);
  // A scratch table (a result table, deleted when it closes) keeps no
  // rollback journal and writes its changes when it is flushed or closed,
  // not after each change. Set before Open.
  void SetScratch(bool scratch) { scratch_ = scratch; }
  bool Scratch() const { return scratch_; }
  // A scratch table may keep its files in memory (under the disk paths, in
  // the process's memory registry) until it outgrows the record cache (or
  // its blob file the block cache): then `claim` names a free disk path
  // without extension and the three files move there. Set before Open.
  void KeepFilesInMemory(std::function<std::string()> claim) {
    files_in_memory_ = true;
    claim_disk_path_ = std::move(claim);
  }
  bool FilesInMemory() const { return files_in_memory_; }
  // True while every file is still in memory: kept there and no move to
  // disk begun (a failed move may leave some of them on disk).
  bool AllFilesInMemory() const { return files_in_memory_ && !move_begun_; }
  // Moves the files to disk now (nothing when they are there already).
  void MoveFilesToDisk();
  // First-open checks of the three files; run under the read lock.
  void Verify();
  // Releases every record lock (STRATA_UNLOCKFAILED on failure), ends this
  // table's part in a transaction (uncommitted changes are discarded), flushes,
  // closes the files. Safe to call twice.
  void Close();
  // Close for a scratch table whose files are deleted next: its changes
  // are dropped rather than written.
  void CloseDiscarding();
  bool IsOpen() const { return open_; }

  const std::string& Name() const { return name_; }
  const std::string& DataPath() const { return data_path_; }
  const std::string& IndexPath() const { return index_path_; }
  const std::string& BlobPath() const { return blob_path_; }
  bool InMemory() const { return in_memory_; }
  bool Exclusive() const { return exclusive_; }
  bool ReadOnly() const { return read_only_; }
  bool ReadOnlyByAttribute() const { return read_only_by_attribute_; }
  // Whether the lock protocol applies (not exclusive, not read-only by attribute).
  bool TakesLocks() const { return !exclusive_ && !read_only_by_attribute_; }
  bool HasBlobs() const;
  const TEngineSettings& Settings() const { return *settings_; }

  TDataFile& DataFile() { return *data_; }
  TIndexFile& IndexFile() { return *index_; }
  TBlobFile* BlobFile() { return HasBlobs() ? blob_.get() : nullptr; }

  // Set when the index file was missing at open; the first cursor rebuilds
  // the indexes from the records and then clears it.
  bool NeedsIndexRebuild() const { return needs_index_rebuild_; }
  void SetIndexesRebuilt() { needs_index_rebuild_ = false; }
  bool Verified() const { return verified_; }

  // Users (cursors) of this table object; maintained by the directory.
  int Users() const { return users_; }
  void AddUser() { ++users_; }
  void RemoveUser() {
    assert(users_ > 0);  // every user added once, removed once
    --users_;
  }
  int NewCursorId() { return ++last_cursor_id_; }

  // Kept open between uses (driven by TDataDirectory; table_reuse.cpp) ----
  // Whether the table may stay open with no user: an open disk table, used
  // shared, not a scratch table, its files on disk, no lock or transaction
  // part held, its indexes not waiting for a rebuild.
  bool CanIdle() const;
  // Flushes, then gives up the files' sharing locks (the files stay open, so
  // another process may open the table exclusively meanwhile) and keeps what
  // Resume compares: each file's identity, size and last write time, the
  // journal's identity, and the headers and descriptors held. On failure the
  // table is left as it was or half suspended; the caller closes it.
  // Under the HoldIdleTables setting (for a table that takes locks) the
  // sharing locks stay: the table stays in use for every other opener, here
  // and elsewhere, and nothing needs keeping.
  void Suspend();
  bool Suspended() const { return suspended_; }
  // Takes the sharing locks back, failing as an open does (STRATA_OSEACCES
  // (11013) while another process has the table exclusively; the table stays
  // suspended), and checks that the object still describes the files: false
  // when a path names another file now (replaced, renamed, deleted), or when
  // a file was written meanwhile and its header, under a read lock, differs
  // from what this object holds other than by an ordinary change (the table
  // was restructured, rebuilt or emptied). The caller then closes the object
  // and opens the table afresh. A table that kept its sharing locks is
  // taken up as it is: nobody could restructure, replace or delete it
  // meanwhile, and the next read lock sees other processes' changes as for
  // any table in use.
  bool Resume();
  // Whether the suspended table kept its sharing locks (HoldIdleTables).
  bool HeldIdle() const { return suspended_ && idle_ == nullptr; }
  // What Resume had to look at (for diagnostics and tests): the resumes
  // that checked the paths, and those that compared the stored headers.
  struct TResumeChecks {
    uint64_t Paths = 0;
    uint64_t Headers = 0;
  };
  const TResumeChecks& ResumeChecks() const { return resume_checks_; }

  // Lock protocol (each returns whether another process changed the table
  // since this one last looked) -------------------------------------------
  // Read slots of the index and blob files; skipped when a write lock or the
  // table lock is held. STRATA_LOCKTIMEOUT (10249) when a slot cannot be had.
  bool BeginRead();
  void EndRead();  // STRATA_UNLOCKFAILED (10242) when a slot cannot be released
  // BeginRead without waiting: nullopt, holding nothing, when a slot is not
  // free at once (a writer is at work) or a change on record needs
  // recovering first; else what BeginRead returns, to be ended by EndRead.
  std::optional<bool> TryBeginRead();
  // A second, independent read lock (own slots), for a scan that runs inside
  // another operation on the table.
  bool BeginSecondRead();
  void EndSecondRead();
  // Table mutex (unless the table lock is held), index write region, blob
  // write region; released in reverse. STRATA_LOCKTIMEOUT (10249) on failure.
  bool BeginWrite();
  void EndWrite();
  // Record lock of record `record` for cursor `cursor_id`; up to
  // LockRetryCount + 1 attempts LockWaitTime apart; STRATA_RECLOCKFAILED
  // (10258) on failure.
  bool LockRecord(uint32_t record, int cursor_id);
  void UnlockRecord(uint32_t record, int cursor_id);  // STRATA_UNLOCKFAILED (10242) when not held
  void UnlockCursorRecords(int cursor_id);
  // Attempts the last LockRecord made at the operating system (diagnostics).
  int LastRecordLockAttempts() const { return last_record_lock_attempts_; }
  bool IsRecordLocked(uint32_t record) const { return record_locks_.contains(record); }
  bool IsRecordLockedBy(uint32_t record, int cursor_id) const;
  // The table mutex, held until UnlockTable.
  bool LockTable();
  void UnlockTable();

  bool ReadLocked() const { return first_read_.depth > 0; }
  bool WriteLocked() const { return write_depth_ > 0; }
  bool TableLocked() const { return table_lock_depth_ > 0; }

  // Re-reads the three headers: index first (when changed: drop pages, re-read
  // the data header and drop records), else the data header; the blob header
  // independently. Returns "changed".
  bool DetectChange();

  // Flushes the three files: modified items, then each header when it is
  // modified or `force_header`; the OS buffer flush when anything was
  // written and ForceBufferFlush or `force_os_flush`. Returns whether
  // anything was written.
  bool Flush(bool force_header, bool force_os_flush = false);
  // The flush that ends a modifying operation: data and index headers are
  // always written (their change counters advance), the blob header when the
  // blobs changed.
  bool FlushAfterChange(bool blobs_changed);
  // Set whenever a write reached the data file.
  bool Written() const { return written_; }
  void ClearWritten() { written_ = false; }

  // Transaction part (driven by TDataDirectory) ---------------------------
  bool InTransaction() const { return in_transaction_; }
  // Exclusive tables flush first; then LockTable and the in-transaction
  // mode of the files. In a transaction of `one_statement` the write
  // regions that a write operation took stay held when it ends, for the
  // commit's write lock to take over (or the transaction's end to release):
  // held longer, within the one statement, rather than given up and taken
  // again.
  void JoinTransaction(bool one_statement = false);
  // Commit, step by step: BeginWrite, then the flush with forced data and
  // index headers (the blob header when the blobs changed; nothing at all
  // for a table the transaction left unchanged), then EndTransaction (also
  // after a failure).
  void BeginCommit();
  void CommitFlush();
  void EndTransaction();
  // Drops the changes this transaction holds in the caches (the headers are
  // read again); the transaction mode stays until EndTransaction.
  void DiscardTransactionChanges();
  // Drops every cache, changes included, re-reads the headers, UnlockTable.
  void RollbackTransaction();

 private:
  struct ReadLockState {
    int depth = 0;           // nesting of Begin/End calls
    bool holds = false;      // slots taken from the operating system
    bool suspended = false;  // slots given up while a write lock covers them
    uint16_t index_slot = 0;
    uint16_t blob_slot = 0;
  };
  // Without `wait` a slot is tried once: nullopt when the lock is not taken.
  std::optional<bool> BeginReadLock(ReadLockState& lock, const ReadLockState& other, bool wait);
  void EndReadLock(ReadLockState& lock);
  // Whether the slots were taken; only without `wait` can they be missed.
  bool TakeReadSlots(ReadLockState& lock, const ReadLockState& other, bool wait);
  bool ReleaseReadSlots(ReadLockState& lock);
  bool BlobLocksApply() const;
  void CloseFiles() noexcept;
  // Drops the (closed or abandoned) file objects and the open and idle state.
  void ForgetFiles();
  void ResumeReadLocks();
  bool AnyTableLevelLockHeld() const { return write_depth_ > 0 || table_lock_depth_ > 0; }
  // Releases the index and blob write regions held; false when the system
  // refuses.
  bool ReleaseWriteRegions();
  // Releases the write regions that the last write lock of a statement's
  // transaction kept; false when the system refuses.
  bool ReleaseKeptWriteRegions();
  // Whether this object holds a lock that keeps every other writer out: a
  // read slot, a write region or the table mutex.
  bool KeepsWritersOut() const;
  // Called after each release: forgets the last look at the journal once
  // nothing keeps writers out any more.
  void AfterRelease();
  // The journal (table_journal.cpp).
  void OpenJournal(bool exclusive);
  void AttachJournal();
  bool JournalHoldsChange();
  void RecoverForReading();
  void RecoverUnderMutex();
  void RecoverUnderWriteRegions();
  // Runs a flush as one change of the files: committed when it returns,
  // rolled back when it throws.
  bool Journaled(bool sync, const std::function<bool()>& flush);
  bool OutgrowsCaches();
  void ResumeFiles();
  bool HeadersAgree();
  bool FileOpsInMemory() const { return in_memory_ || files_in_memory_; }

  std::string name_;
  std::string data_path_;
  std::string index_path_;
  std::string blob_path_;
  bool in_memory_;
  std::shared_ptr<const TEngineSettings> settings_;
  std::unique_ptr<TDataFile> data_;
  std::unique_ptr<TIndexFile> index_;
  std::unique_ptr<TBlobFile> blob_;
  std::unique_ptr<TRollbackJournal> journal_;  // disk tables whose folder may be written
  // The data file as OpenJournal opened it, held until the data file object
  // shares its handle (so the file is opened and looked up once).
  std::unique_ptr<TFileHandler> journal_data_;

  bool open_ = false;
  bool exclusive_ = false;
  bool scratch_ = false;
  bool files_in_memory_ = false;
  bool move_begun_ = false;
  std::function<std::string()> claim_disk_path_;
  bool read_only_ = false;
  bool read_only_by_attribute_ = false;
  bool needs_index_rebuild_ = false;
  bool verified_ = false;
  int users_ = 0;
  int last_cursor_id_ = 0;

  ReadLockState first_read_;
  ReadLockState second_read_;
  int write_depth_ = 0;
  bool write_holds_mutex_ = false;
  bool write_holds_index_ = false;
  bool write_holds_blob_ = false;
  // The write regions stay held after the write lock ended (see
  // JoinTransaction): the next BeginWrite takes them over.
  bool write_regions_kept_ = false;
  int table_lock_depth_ = 0;
  bool in_transaction_ = false;
  bool one_statement_ = false;  // the transaction is one statement's own
  bool written_ = false;
  // The journal was last looked at (found clear or rolled back) under a lock
  // that kept every writer out, and such a lock has been held without a
  // break since: no change can be on record but one of this object's own,
  // so the next lock need not read the journal again. Cleared when the last
  // such lock goes, and when a change of this object's own failed to end.
  bool journal_looked_ = false;
  int last_record_lock_attempts_ = 0;
  std::map<uint32_t, int> record_locks_;  // record -> cursor id that holds it

  // While suspended: what Resume compares the files with; none when the
  // table kept its sharing locks.
  bool suspended_ = false;
  struct TIdleRecord {
    platform::FileIdentity Data, Index, Blob;
    std::optional<platform::FileIdentity> Journal;
    // A file was written so shortly before the table went idle that a
    // later write could show the same write time: Resume compares the
    // headers whatever the stamps say.
    bool RecentlyWritten = false;
  };
  std::unique_ptr<TIdleRecord> idle_;
  TResumeChecks resume_checks_;
};

}  // namespace strata
