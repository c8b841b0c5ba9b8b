// TRollbackJournal: the rollback journal of one disk table, a file beside
// its data, index and blob files (".JNL", format in journal_format.h). It
// makes each change of the three files one unit for every process that
// opens the table afterwards:
//
//   idle --first write of a change--> live --Commit--> idle
//                                      |
//                     writer killed / write failed: hot --Rollback--> idle
//
// While a change is live, every range of the three files that it overwrites
// or cuts off (within the file's length when the change began) has its
// pre-image in the journal before the file is touched, and the header keeps
// the three original lengths; growth beyond them needs no pre-image.
// Commit invalidates the header (clears its magic) once the files are
// complete: that is the moment the change happens. Rollback writes the
// pre-images back, cuts each file to its original length and invalidates
// the header; it can run again after being interrupted. A missing journal
// file holds no change.
//
// Whether a journal whose header is valid is hot (its writer gone) is the
// caller's to tell from the table's locks: a live writer holds the table's
// write exclusion for as long as its change is live (see
// table/journal_recovery.h).
//
// In sync mode (a forced flush) the journal is synced before any table file
// changes after a journal write, the files are synced before the header is
// invalidated, and the invalidation is synced too: the same promise then
// holds after a power cut. Otherwise nothing is synced and a killed process
// is what the journal guards against.
//
// Owns the journal file; the table files are the caller's. Invariants:
// (1) a valid header on disk means a change is live or hot; (2) while live,
// covered_[f] lists exactly the ranges of file f whose pre-images are in the
// journal, and every other byte of f within its original length still holds
// its original value (a write saves the spans it changes, and writes the rest
// as it was); (3) append_at_ is where the next entry goes; (4) once
// header_written_, the header is on disk (with the original lengths) before
// any file changes.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "storage/file/journal_format.h"

namespace platform {
class File;
}

namespace strata {

class TFileHandler;

class TRollbackJournal {
 public:
  enum TRole : uint8_t { kDataFile = 0, kIndexFile = 1, kBlobFile = 2 };

  // `table_name` names the table in errors.
  TRollbackJournal(std::string path, std::string table_name);
  ~TRollbackJournal();  // detaches the files
  TRollbackJournal(const TRollbackJournal&) = delete;
  TRollbackJournal& operator=(const TRollbackJournal&) = delete;

  // The journal file is opened (created when missing) only when it is
  // needed: by the first change written here, or to roll back a change that
  // HoldsChange found. `path` must be the journal's exact name (the same in
  // every process). A folder this process may not write has no journal of
  // ours: changes then run without one.
  const std::string& Path() const { return path_; }

  // The table's files (nullptr: the table has none in that role). Attached
  // handlers report every write and truncate to BeforeWrite/BeforeTruncate.
  void Attach(TFileHandler* data, TFileHandler* index, TFileHandler* blob);
  void Detach();

  // Whether the journal file holds a change (live here or hot): one read of
  // the header. The file is opened
  // (not created) by the first call; while there is none, each call costs a
  // stat of its name.
  bool HoldsChange();
  // Whether this object has a change live.
  bool Live() const { return live_; }

  // Sync mode for the next change (and the live one, from now on).
  void SetSync(bool sync);
  // Called by an attached handler before it writes `count` bytes `data` at
  // `offset` of its file. The first call of a change makes it live. Only the
  // spans whose bytes differ from the file's are saved, so a write that
  // changes nothing costs the journal nothing. Throws 9218 naming the table
  // when the journal cannot be written (the file is then left untouched).
  void BeforeWrite(TRole role, uint64_t offset, const uint8_t* data, uint64_t count);
  void BeforeTruncate(TRole role, uint64_t size);
  // Ends the live change: the files are complete (nothing when none is live).
  void Commit();
  // Puts back the change that the journal file holds, live here or hot;
  // returns whether there was one. The caller holds the write exclusion.
  bool Rollback();

 private:
  bool OpenFile();
  bool OpenExisting();
  void Begin();
  // Saves what is not saved yet of [begin, end) of `role` into `out`; with
  // `data` (the bytes about to be written at `begin`) only what differs.
  void JournalRange(TRole role, uint64_t begin, uint64_t end, const uint8_t* data,
                    std::vector<uint8_t>& out);
  void AddEntry(TRole role, uint64_t offset, const uint8_t* image, size_t length,
                std::vector<uint8_t>& out);
  void Cover(TRole role, uint64_t begin, uint64_t end);
  void WritePending();
  void Append(const std::vector<uint8_t>& bytes);
  void Invalidate();
  void SyncJournal();
  void SyncFiles();
  void Reset();
  [[noreturn]] void Fail(uint16_t code, int os_error) const;

  std::string path_;
  std::string table_name_;
  std::unique_ptr<platform::File> file_;
  bool unavailable_ = false;  // the journal file could not be opened or created
  bool looked_ = false;       // an open of the existing file was tried
  std::array<TFileHandler*, kJournalFileCount> files_{};
  bool sync_ = false;
  bool folder_synced_ = false;
  bool rolling_back_ = false;

  // The live change.
  bool live_ = false;
  bool header_written_ = false;
  bool unsynced_ = false;
  TJournalHeader header_;
  uint64_t append_at_ = kJournalHeaderSize;
  std::array<std::map<uint64_t, uint64_t>, kJournalFileCount> covered_;  // begin -> end
  std::vector<uint8_t> pending_;
};

}  // namespace strata
