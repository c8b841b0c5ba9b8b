// The rollback journal of TDataTable: opening it (and rolling back a hot
// one before the files are read), running each flush as one change, and
// the checks for a hot journal that come with taking the table's locks.
#include <exception>

#include "platform/file.h"
#include "platform/process.h"

#include "storage/blob/blob_file.h"
#include "storage/data/data_file.h"
#include "storage/engine_error.h"
#include "storage/engine_names.h"
#include "storage/file/file_handler.h"
#include "storage/file/rollback_journal.h"
#include "storage/index/index_file.h"
#include "storage/table/data_table.h"
#include "storage/table/journal_recovery.h"

namespace strata {
namespace {

// The journal's path: the data file's as it is on disk (so that every
// process that opens the table, whatever letter case it names it in, finds
// the same journal without looking it up), with the journal's extension.
std::string JournalPath(const std::string& data_path) {
  const size_t extension = kDataFileExtension.size();
  if (data_path.size() >= extension &&
      SameName(data_path.substr(data_path.size() - extension), kDataFileExtension)) {
    return data_path.substr(0, data_path.size() - extension) + std::string(kJournalFileExtension);
  }
  return data_path + std::string(kJournalFileExtension);
}

// For measuring the journal's cost only: with STRATA_BENCH_NO_JOURNAL set
// (to anything) tables run without their journal, so a killed writer can
// leave a table broken. Never set outside the benchmarks.
bool JournalOffForBenchmarks() {
  return platform::GetEnvironmentVariable("STRATA_BENCH_NO_JOURNAL").has_value();
}

}  // namespace

void TDataTable::OpenJournal(bool exclusive) {
  if (JournalOffForBenchmarks()) return;
  // The data file tells the journal's name. A data file that cannot be
  // opened has no change to roll back: the data file's own open reports why.
  auto data = std::make_unique<TFileHandler>();
  data->SetTableName(name_);
  try {
    data->OpenFile(data_path_, false, exclusive, false);
  } catch (const EStrataEngineError&) {
    return;
  }
  // The journal file itself is opened only by a change, or to roll one back.
  journal_ = std::make_unique<TRollbackJournal>(JournalPath(data->OnDiskPath()), name_);
  if (journal_->HoldsChange()) {
    // A change is on record before anything is read: the files it left are
    // rolled back under the write exclusion.
    TFileHandler index;
    TFileHandler blob;
    for (TFileHandler* file : {&index, &blob}) file->SetTableName(name_);
    // A missing index file is made anew at open; the journal's pages of it
    // are of no use then.
    if (TFileHandler::FileExists(index_path_, false)) {
      index.OpenFile(index_path_, false, exclusive, false);
    }
    TFileHandler* index_file = index.IsOpen() ? &index : nullptr;
    if (TFileHandler::FileExists(blob_path_, false))
      blob.OpenFile(blob_path_, false, exclusive, false);
    TFileHandler* blob_file = blob.IsOpen() ? &blob : nullptr;
    journal_->Attach(data.get(), index_file, blob_file);
    try {
      if (exclusive) {
        journal_->Rollback();
      } else {
        RecoverHotJournal(*journal_, *data, index_file, blob_file, false, name_);
      }
    } catch (...) {
      journal_->Detach();
      throw;
    }
    journal_->Detach();
  }
  // An exclusive open admits no second opener, not even this one.
  if (!exclusive) journal_data_ = std::move(data);
}

void TDataTable::AttachJournal() {
  if (!journal_) return;
  if (read_only_by_attribute_) {
    journal_.reset();
    return;
  }
  journal_->Attach(data_.get(), index_.get(), blob_.get());
}

bool TDataTable::JournalHoldsChange() { return journal_ && journal_->HoldsChange(); }

void TDataTable::RecoverForReading() {
  RecoverHotJournal(*journal_, *data_, index_.get(), BlobLocksApply() ? blob_.get() : nullptr,
                    false, name_);
}

void TDataTable::RecoverUnderMutex() {
  RecoverHotJournal(*journal_, *data_, index_.get(), BlobLocksApply() ? blob_.get() : nullptr, true,
                    name_);
}

void TDataTable::RecoverUnderWriteRegions() {
  if (JournalHoldsChange()) journal_->Rollback();
}

bool TDataTable::Journaled(bool sync, const std::function<bool()>& flush) {
  if (!journal_) return flush();
  journal_->SetSync(sync);
  bool wrote = false;
  try {
    wrote = flush();
    journal_->Commit();
  } catch (...) {
    // The files go back to where the change began; should that fail too,
    // the journal stays hot for the next one to roll back (the next lock
    // looks again).
    journal_looked_ = false;
    if (journal_->Live()) {
      try {
        journal_->Rollback();
      } catch (...) {
      }
    }
    throw;
  }
  return wrote;
}

}  // namespace strata
