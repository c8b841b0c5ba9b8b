#include "storage/table/data_table.h"

#include <algorithm>

#include "storage/best_effort.h"
#include "storage/blob/blob_file.h"
#include "storage/data/data_file.h"
#include "storage/engine_error.h"
#include "storage/engine_names.h"
#include "storage/file/rollback_journal.h"
#include "storage/index/index_file.h"
#include "storage/table/lock_regions.h"

namespace strata {

TDataTable::TDataTable(std::string name, std::string data_path, std::string index_path,
                       std::string blob_path, bool in_memory,
                       std::shared_ptr<const TEngineSettings> settings)
    : name_(std::move(name)),
      data_path_(std::move(data_path)),
      index_path_(std::move(index_path)),
      blob_path_(std::move(blob_path)),
      in_memory_(in_memory),
      settings_(std::move(settings)) {}

TDataTable::~TDataTable() {
  try {
    Close();
  } catch (...) {
    // A destructor cannot report; Close() has released what it could.
  }
}

bool TDataTable::HasBlobs() const { return blob_ != nullptr && blob_->IsOpen(); }

bool TDataTable::BlobLocksApply() const { return HasBlobs(); }

void TDataTable::Open(bool exclusive, bool read_only) {
  if (open_) return;
  exclusive_ = exclusive;
  try {
    if (!in_memory_ && !scratch_) OpenJournal(exclusive);
    data_ = std::make_unique<TDataFile>(*settings_);
    data_->SetTableName(name_);
    data_->Open(data_path_, FileOpsInMemory(), exclusive, read_only);
    if (journal_data_) data_->TakeSizeAtOpen(*journal_data_);
    journal_data_.reset();
    read_only_ = read_only || data_->ReadOnly();
    read_only_by_attribute_ = data_->ReadOnlyByAttribute();
    const TDataHeader& header = data_->Header();

    index_ = std::make_unique<TIndexFile>(*settings_);
    index_->SetTableName(name_);
    index_->SetTableContext(
        data_->Fields(),
        static_cast<uint32_t>(header.LocaleId) | (static_cast<uint32_t>(header.SortId) << 16),
        header.Encrypted);
    try {
      index_->Open(index_path_, FileOpsInMemory(), exclusive, read_only_);
    } catch (const EStrataEngineError& error) {
      if (error.Code != STRATA_OSENOENT || read_only_) throw;
      // The index file is gone: start an empty one (it keeps only the row
      // order index) and let the first cursor rebuild the indexes.
      index_->Create(index_path_, {}, FileOpsInMemory(), exclusive);
      index_->Flush(true);
      needs_index_rebuild_ = true;
    }

    if (header.BlobFieldCount > 0) {
      blob_ = std::make_unique<TBlobFile>(*settings_);
      blob_->SetTableName(name_);
      blob_->Open(blob_path_, FileOpsInMemory(), exclusive, read_only_, data_->BlobBlockSize(),
                  header.Encrypted);
    }
    AttachJournal();
  } catch (...) {
    CloseFiles();
    throw;
  }
  open_ = true;
}

void TDataTable::Verify() {
  data_->Verify();
  index_->Verify();
  if (blob_) blob_->Verify();
  verified_ = true;
}

void TDataTable::CloseFiles() noexcept {
  journal_data_.reset();
  journal_.reset();
  // Each file is closed even when another fails to.
  auto close = [](auto& file) {
    if (!file) return;
    BestEffort([&] { file->Close(); });
    file.reset();
  };
  close(blob_);
  close(index_);
  close(data_);
}

void TDataTable::CloseDiscarding() {
  assert(scratch_);  // only a scratch table has no other reader of its files
  if (!open_) return;
  // A scratch table takes no locks of its own once its last cursor is gone
  // (it is exclusive): nothing but the files is to be let go.
  record_locks_.clear();
  first_read_ = {};
  second_read_ = {};
  write_depth_ = 0;
  write_regions_kept_ = false;
  table_lock_depth_ = 0;
  in_transaction_ = false;
  journal_.reset();
  if (blob_) blob_->Abandon();
  index_->Abandon();
  data_->Abandon();
  ForgetFiles();
}

void TDataTable::Close() {
  if (!open_) return;
  std::exception_ptr failure;
  auto attempt = [&](auto&& step) {
    try {
      step();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };
  // Record locks first, then this table's part of a transaction (never
  // committed: its changes are dropped), then every other table-level lock.
  attempt([&] {
    bool released = true;
    if (TakesLocks()) {
      for (const auto& [record, cursor] : record_locks_) {
        released = data_->Unlock(RecordLockOffset(record), kRecordLockLength) && released;
      }
    }
    record_locks_.clear();
    if (!released) RaiseTableError(STRATA_UNLOCKFAILED, name_);
  });
  if (in_transaction_) attempt([&] { RollbackTransaction(); });
  attempt([&] {
    while (write_depth_ > 0) EndWrite();
  });
  attempt([&] {
    while (table_lock_depth_ > 0) UnlockTable();
  });
  attempt([&] {
    second_read_.depth = std::min(second_read_.depth, 1);
    second_read_.suspended = false;
    EndReadLock(second_read_);
  });
  attempt([&] {
    first_read_.depth = std::min(first_read_.depth, 1);
    first_read_.suspended = false;
    EndReadLock(first_read_);
  });
  attempt([&] { Flush(false); });
  journal_.reset();  // what the files' own closing writes is not a change
  if (blob_) attempt([&] { blob_->Close(); });
  attempt([&] { index_->Close(); });
  attempt([&] { data_->Close(); });
  ForgetFiles();
  if (failure) std::rethrow_exception(failure);
}

void TDataTable::ForgetFiles() {
  blob_.reset();
  index_.reset();
  data_.reset();
  open_ = false;
  journal_looked_ = false;
  suspended_ = false;
  idle_.reset();
}

// Flushing -------------------------------------------------------------------

bool TDataTable::Flush(bool force_header, bool force_os_flush) {
  return Journaled(settings_->ForceBufferFlush || force_os_flush, [&] {
    bool wrote_data = data_->Flush(force_header, force_os_flush);
    if (wrote_data) written_ = true;
    bool wrote = index_->Flush(force_header, force_os_flush);
    if (blob_) wrote = blob_->Flush(force_header, force_os_flush) || wrote;
    return wrote_data || wrote;
  });
}

bool TDataTable::FlushAfterChange(bool blobs_changed) {
  // A scratch table's changes wait in the caches: no other user reads them.
  if (scratch_) {
    if (files_in_memory_ && OutgrowsCaches()) MoveFilesToDisk();
    return false;
  }
  return Journaled(settings_->ForceBufferFlush, [&] {
    bool wrote_data = data_->Flush(true);
    if (wrote_data) written_ = true;
    bool wrote = index_->Flush(true);
    if (blob_) wrote = blob_->Flush(blobs_changed) || wrote;
    return wrote_data || wrote;
  });
}

// Files kept in memory -------------------------------------------------------

bool TDataTable::OutgrowsCaches() {
  if (data_->SlotCount() > data_->CacheCapacity()) return true;
  return blob_ && blob_->Size() > settings_->BlockCacheBytes;
}

void TDataTable::MoveFilesToDisk() {
  if (!files_in_memory_) return;
  assert(open_ && claim_disk_path_);  // set up by the directory before Open
  Flush(false);
  move_begun_ = true;
  const std::string base = claim_disk_path_();
  const std::string data_path = base + std::string(kDataFileExtension);
  const std::string index_path = base + std::string(kIndexFileExtension);
  const std::string blob_path = base + std::string(kBlobFileExtension);
  // File by file; a failure leaves the moved ones on disk under the new
  // paths and the rest in memory, so the table's paths follow each move.
  data_->MoveToDisk(data_path, exclusive_);
  data_path_ = data_path;
  index_->MoveToDisk(index_path, exclusive_);
  index_path_ = index_path;
  if (blob_) {
    blob_->MoveToDisk(blob_path, exclusive_);
  }
  blob_path_ = blob_path;
  files_in_memory_ = false;
}

// Transactions ---------------------------------------------------------------

void TDataTable::JoinTransaction(bool one_statement) {
  if (in_transaction_) return;
  if (exclusive_) Flush(false);
  LockTable();
  data_->SetInTransaction(true);
  index_->SetInTransaction(true);
  if (blob_) blob_->SetInTransaction(true);
  in_transaction_ = true;
  one_statement_ = one_statement;
}

void TDataTable::BeginCommit() { BeginWrite(); }

void TDataTable::CommitFlush() {
  data_->SetInTransaction(false);
  index_->SetInTransaction(false);
  if (blob_) blob_->SetInTransaction(false);
  // A table that the transaction changed has its data and index headers
  // written, their change counters advanced, so that other processes see
  // the commit - and its blob header when the blobs changed, as after a
  // change outside a transaction. One it only read has nothing to write,
  // nor to tell anyone.
  const bool blobs_changed = blob_ && blob_->HasUnwrittenChanges();
  const bool changed =
      data_->HasUnwrittenChanges() || index_->HasUnwrittenChanges() || blobs_changed;
  if (!changed) return;
  Journaled(settings_->ForceBufferFlush, [&] {
    bool wrote_data = data_->Flush(true);
    if (wrote_data) written_ = true;
    index_->Flush(true);
    if (blob_) blob_->Flush(blobs_changed);
    return wrote_data;
  });
}

void TDataTable::DiscardTransactionChanges() {
  data_->DiscardChanges();
  index_->DiscardChanges();
  if (blob_) blob_->DiscardChanges();
}

void TDataTable::EndTransaction() {
  // The commit's write lock ends for good: nothing is kept past it.
  one_statement_ = false;
  std::exception_ptr failure;
  try {
    EndWrite();
  } catch (...) {
    failure = std::current_exception();
  }
  data_->SetInTransaction(false);
  index_->SetInTransaction(false);
  if (blob_) blob_->SetInTransaction(false);
  in_transaction_ = false;
  try {
    UnlockTable();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  if (failure) std::rethrow_exception(failure);
}

void TDataTable::RollbackTransaction() {
  in_transaction_ = false;
  one_statement_ = false;
  data_->SetInTransaction(false);
  index_->SetInTransaction(false);
  if (blob_) blob_->SetInTransaction(false);
  std::exception_ptr failure;
  try {
    DiscardTransactionChanges();
  } catch (...) {
    failure = std::current_exception();
  }
  // Write regions that a statement's write kept for a commit that does not
  // come go now, whatever else still holds the table lock.
  try {
    if (!ReleaseKeptWriteRegions()) RaiseTableError(STRATA_LOCKTIMEOUT, name_);
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  try {
    UnlockTable();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace strata
