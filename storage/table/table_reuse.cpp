// Keeping a TDataTable open between uses: the directory suspends a table
// whose last cursor went and resumes it for the next opener of the name.
//
// While suspended the table holds its open files but no lock of any kind:
// not the files' sharing locks either, so that another process may open the
// table exclusively meanwhile (rebuild it, alter it, drop it, rename it).
// Resuming therefore proves the object still describes the files:
//
//   1. the sharing locks are taken back, exactly as an open takes them;
//   2. each path (data, index, blob, journal) still names the file open
//      here - one stat each; a file replaced or renamed away fails this;
//   3. when a file was written meanwhile (its size or last write time moved,
//      or it was written so shortly before the table went idle that the
//      write time cannot tell),
//      a read lock is taken (which rolls back a hot journal and reads the
//      change counters, as every read does) and the headers and descriptors
//      must be those held here, up to what an ordinary change moves (counters,
//      slot and page counts, free chains, roots) - and even those must agree
//      with the disk when the change counter did not move, which catches a
//      table emptied or rebuilt in place.
// Anything else means "stale": the caller closes the object and opens anew.
// Nothing touches the object while it is suspended, so what it holds at the
// start of Resume is what it held when it went idle.
//
// Under the session's HoldIdleTables setting a suspended table keeps its
// sharing locks instead: as long as they are held no other process opens the
// table exclusively, so none can restructure, empty in place, replace or
// delete it, and Resume has nothing to prove. Content changes by other
// processes (and a hot journal a killed writer left) are met by the next
// read lock, as for a table in use between two statements.
#include "storage/best_effort.h"
#include "storage/blob/blob_file.h"
#include "storage/data/data_file.h"
#include "storage/engine_error.h"
#include "storage/file/os_error_map.h"
#include "storage/file/rollback_journal.h"
#include "storage/index/index_file.h"
#include "storage/table/data_table.h"

namespace strata {
namespace {

std::optional<platform::FileIdentity> JournalIdentity(const TRollbackJournal* journal) {
  if (journal == nullptr) return std::nullopt;
  return platform::GetFileIdentity(journal->Path());
}

}  // namespace

bool TDataTable::CanIdle() const {
  return open_ && !in_memory_ && !exclusive_ && !scratch_ && !files_in_memory_ &&
         !needs_index_rebuild_ && users_ == 0 && !in_transaction_ && record_locks_.empty() &&
         first_read_.depth == 0 && second_read_.depth == 0 && write_depth_ == 0 &&
         table_lock_depth_ == 0;
}

void TDataTable::Suspend() {
  assert(CanIdle());  // the directory suspends only such tables
  if (suspended_) return;
  Flush(false);
  // A table that takes no locks has no sharing lock that would keep others
  // from changing its files' layout: it goes idle the checked way.
  if (settings_->HoldIdleTables && TakesLocks()) {
    idle_.reset();
    suspended_ = true;
    return;
  }
  auto record = std::make_unique<TIdleRecord>();
  record->Data = data_->Stamp();
  record->Index = index_->Stamp();
  if (blob_) record->Blob = blob_->Stamp();
  const int64_t now = platform::FileClockNs();
  for (const platform::FileIdentity* stamp : {&record->Data, &record->Index, &record->Blob}) {
    if (now - stamp->modified_ns < platform::kWriteTimeResolutionNs) record->RecentlyWritten = true;
  }
  try {
    record->Journal = JournalIdentity(journal_.get());
  } catch (const platform::OsError& error) {
    RaiseOsError(error, name_);
  }
  // From here the table is suspended, also when a file fails to give its
  // lock up (the caller closes it then).
  idle_ = std::move(record);
  suspended_ = true;
  data_->Suspend();
  index_->Suspend();
  if (blob_) blob_->Suspend();
}

void TDataTable::ResumeFiles() {
  std::vector<TFileHandler*> resumed;
  try {
    for (TFileHandler* file :
         {static_cast<TFileHandler*>(data_.get()), static_cast<TFileHandler*>(index_.get()),
          static_cast<TFileHandler*>(blob_.get())}) {
      if (file == nullptr) continue;
      file->Resume();
      resumed.push_back(file);
    }
  } catch (...) {
    for (TFileHandler* file : resumed) BestEffort([&] { file->Suspend(); });
    throw;
  }
}

bool TDataTable::HeadersAgree() {
  // A read slot keeps writers out, as for any read; a change left hot by a
  // writer that is gone is rolled back first. The headers are compared with
  // what this object holds before anything of them is adopted: the next
  // read lock adopts the counters' changes as always.
  ++resume_checks_.Headers;
  ReadLockState probe;
  TakeReadSlots(probe, second_read_, true);
  bool agree = false;
  try {
    while (JournalHoldsChange()) {
      ReleaseReadSlots(probe);
      RecoverForReading();
      TakeReadSlots(probe, second_read_, true);
    }
    agree = data_->StoredHeaderAgrees() && index_->StoredHeaderAgrees() &&
            (!BlobLocksApply() || blob_->StoredHeaderAgrees());
  } catch (...) {
    if (probe.holds) ReleaseReadSlots(probe);
    throw;
  }
  if (!ReleaseReadSlots(probe)) RaiseTableError(STRATA_UNLOCKFAILED, name_);
  return agree;
}

bool TDataTable::Resume() {
  if (!suspended_) return true;
  if (idle_ == nullptr) {  // held: the files were never given up
    suspended_ = false;
    return true;
  }
  ResumeFiles();
  suspended_ = false;
  ++resume_checks_.Paths;
  // The paths: each still names the file open here, and whether anyone
  // wrote it meanwhile.
  bool written = idle_->RecentlyWritten;
  auto check = [&](TFileHandler* file, const platform::FileIdentity& then) {
    if (file == nullptr) return true;
    const std::optional<platform::FileIdentity> now = file->PathStamp();
    if (!now || !now->SameFile(then)) return false;
    if (!(*now == then)) written = true;
    return true;
  };
  if (!check(data_.get(), idle_->Data) || !check(index_.get(), idle_->Index) ||
      !check(blob_.get(), idle_->Blob)) {
    return false;
  }
  try {
    const std::optional<platform::FileIdentity> journal = JournalIdentity(journal_.get());
    if (idle_->Journal.has_value() != journal.has_value()) return false;
    if (journal && !journal->SameFile(*idle_->Journal)) return false;
  } catch (const platform::OsError&) {
    return false;
  }
  // A table this process may only read takes no locks: written meanwhile,
  // it is opened anew.
  if (written && !TakesLocks()) return false;
  if (written && !HeadersAgree()) return false;
  idle_.reset();
  return true;
}

}  // namespace strata
