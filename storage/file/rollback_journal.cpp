#include "storage/file/rollback_journal.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/file.h"
#include "storage/engine_error.h"
#include "storage/file/file_handler.h"
#include "storage/file/os_error_map.h"

namespace strata {
namespace {

// Pre-images are saved in entries of at most this many bytes.
constexpr uint64_t kMaxEntryBytes = 1 << 20;
// A journal that grew beyond this is cut back when its change ends; a
// smaller one only has its header cleared (one write, no reallocation).
constexpr uint64_t kKeepJournalBytes = 1 << 20;

uint32_t NewSalt() {
  static uint32_t state = static_cast<uint32_t>(
      std::chrono::steady_clock::now().time_since_epoch().count() ^ (getpid() * 2654435761u));
  state = state * 1664525u + 1013904223u;
  return state == 0 ? 1 : state;
}

}  // namespace

TRollbackJournal::TRollbackJournal(std::string path, std::string table_name)
    : path_(std::move(path)), table_name_(std::move(table_name)) {}

TRollbackJournal::~TRollbackJournal() { Detach(); }

void TRollbackJournal::Fail(uint16_t code, int os_error) const {
  RaiseFileError(code, os_error, table_name_);
}

bool TRollbackJournal::Open() {
  try {
    file_ = platform::File::OpenOrCreate(path_, platform::Share::kShared);
  } catch (const platform::OsError&) {
    return false;
  }
  return true;
}

void TRollbackJournal::Attach(TFileHandler* data, TFileHandler* index, TFileHandler* blob) {
  Detach();
  files_ = {data, index, blob};
  for (int role = 0; role < kJournalFileCount; ++role) {
    if (files_[role] != nullptr) files_[role]->SetJournal(this, static_cast<TRole>(role));
  }
}

void TRollbackJournal::Detach() {
  for (TFileHandler*& file : files_) {
    if (file != nullptr) file->SetJournal(nullptr, kDataFile);
    file = nullptr;
  }
}

bool TRollbackJournal::HoldsChange() {
  if (!file_) return false;
  uint8_t bytes[kJournalHeaderSize];
  size_t read = 0;
  try {
    read = file_->ReadAt(0, bytes, sizeof bytes);
  } catch (const platform::OsError& error) {
    Fail(STRATA_READERR, error.errno_value());
  }
  return ReadJournalHeader({bytes, read}).has_value();
}

void TRollbackJournal::SetSync(bool sync) {
  if (sync && !sync_ && unsynced_) SyncJournal();
  sync_ = sync;
}

// The live change -------------------------------------------------------------

void TRollbackJournal::Begin() {
  header_ = TJournalHeader{};
  header_.Salt = NewSalt();
  for (int role = 0; role < kJournalFileCount; ++role) {
    if (files_[role] != nullptr && files_[role]->IsOpen()) {
      header_.OriginalLength[role] = files_[role]->Size();
    }
  }
  for (auto& ranges : covered_) ranges.clear();
  append_at_ = kJournalHeaderSize;
  header_written_ = false;
  unsynced_ = false;
  live_ = true;
}

void TRollbackJournal::JournalRange(TRole role, uint64_t begin, uint64_t end,
                                    std::vector<uint8_t>& out) {
  // The parts of [begin, end) not saved yet, each saved and then covered.
  std::map<uint64_t, uint64_t>& covered = covered_[role];
  auto it = covered.upper_bound(begin);
  if (it != covered.begin() && std::prev(it)->second > begin) --it;
  uint64_t at = begin;
  while (at < end) {
    uint64_t gap_end = end;
    if (it != covered.end() && it->first <= at) {
      at = std::max(at, it->second);
      ++it;
      continue;
    }
    if (it != covered.end()) gap_end = std::min(end, it->first);
    for (uint64_t piece = at; piece < gap_end;) {
      const uint64_t length = std::min(gap_end - piece, kMaxEntryBytes);
      image_.resize(length);
      const size_t got = files_[role]->ReadAt(piece, image_.data(), length, true);
      image_.resize(got);
      TJournalEntry entry;
      entry.File = role;
      entry.Length = static_cast<uint32_t>(got);
      entry.Offset = piece;
      entry.Salt = header_.Salt;
      const size_t start = out.size();
      out.resize(start + kJournalEntryHeaderSize + got);
      WriteJournalEntryHeader(entry, image_, out.data() + start);
      std::copy(image_.begin(), image_.end(), out.begin() + start + kJournalEntryHeaderSize);
      piece += length;
    }
    // Record the gap as covered, merged with its neighbours.
    uint64_t new_begin = at;
    uint64_t new_end = gap_end;
    auto next = covered.lower_bound(at);
    if (next != covered.begin() && std::prev(next)->second == at) {
      --next;
      new_begin = next->first;
      next = covered.erase(next);
    }
    if (next != covered.end() && next->first == gap_end) {
      new_end = next->second;
      next = covered.erase(next);
    }
    // Continue from the merged range: what it covers is saved already.
    it = covered.emplace(new_begin, new_end).first;
    at = gap_end;
  }
}

void TRollbackJournal::Append(const std::vector<uint8_t>& bytes) {
  try {
    file_->WriteAt(append_at_, bytes.data(), bytes.size());
  } catch (const platform::OsError& error) {
    Fail(STRATA_WRITEERR, error.errno_value());
  }
  append_at_ += bytes.size();
  unsynced_ = true;
}

void TRollbackJournal::BeforeWrite(TRole role, uint64_t offset, uint64_t count) {
  if (rolling_back_ || !file_) return;
  if (!live_) Begin();
  pending_.clear();
  if (!header_written_) {
    // The header goes first, with the first entry when there is one: the
    // original lengths must be on disk before any file grows.
    pending_.resize(kJournalHeaderSize);
    WriteJournalHeader(header_, pending_.data());
  }
  const uint64_t original = header_.OriginalLength[role];
  if (original != kJournalNoFile && offset < original) {
    JournalRange(role, offset, std::min(offset + count, original), pending_);
  }
  if (!pending_.empty()) {
    if (!header_written_) {
      // The header at 0, the entries after it.
      try {
        file_->WriteAt(0, pending_.data(), pending_.size());
      } catch (const platform::OsError& error) {
        Fail(STRATA_WRITEERR, error.errno_value());
      }
      append_at_ = pending_.size();
      unsynced_ = true;
      header_written_ = true;
    } else {
      Append(pending_);
    }
  }
  if (sync_ && unsynced_) SyncJournal();
}

void TRollbackJournal::BeforeTruncate(TRole role, uint64_t size) {
  if (rolling_back_ || !file_) return;
  if (!live_) Begin();
  const uint64_t original = header_.OriginalLength[role];
  // What is cut off within the original length needs its pre-image; the
  // header is written either way.
  const uint64_t end = original == kJournalNoFile ? size : std::max(size, original);
  BeforeWrite(role, size, end - size);
}

void TRollbackJournal::SyncJournal() {
  if (!folder_synced_) {
    // The journal's own name must survive a power cut too.
    try {
      platform::SyncParentDirectory(path_);
    } catch (const platform::OsError& error) {
      Fail(STRATA_WRITEERR, error.errno_value());
    }
    folder_synced_ = true;
  }
  try {
    file_->Sync();
  } catch (const platform::OsError& error) {
    Fail(STRATA_WRITEERR, error.errno_value());
  }
  unsynced_ = false;
}

void TRollbackJournal::SyncFiles() {
  for (TFileHandler* file : files_) {
    if (file != nullptr && file->IsOpen()) file->FlushBuffers();
  }
}

void TRollbackJournal::Invalidate() {
  try {
    if (append_at_ > kKeepJournalBytes || file_->Size() > kKeepJournalBytes) {
      file_->Truncate(0);
    } else {
      const uint8_t zeros[kJournalHeaderSize] = {};
      file_->WriteAt(0, zeros, sizeof zeros);
    }
  } catch (const platform::OsError& error) {
    Fail(STRATA_WRITEERR, error.errno_value());
  }
  unsynced_ = true;
}

void TRollbackJournal::Reset() {
  live_ = false;
  header_written_ = false;
  unsynced_ = false;
  append_at_ = kJournalHeaderSize;
  for (auto& ranges : covered_) ranges.clear();
}

void TRollbackJournal::Commit() {
  if (!live_) return;
  if (header_written_) {
    // The files are complete; in sync mode on disk before the change is.
    if (sync_) SyncFiles();
    Invalidate();
    if (sync_) SyncJournal();
  }
  Reset();
}

// Rollback ------------------------------------------------------------------------

bool TRollbackJournal::Rollback() {
  if (!file_) return false;
  uint8_t bytes[kJournalHeaderSize];
  size_t read = 0;
  try {
    read = file_->ReadAt(0, bytes, sizeof bytes);
  } catch (const platform::OsError& error) {
    Fail(STRATA_READERR, error.errno_value());
  }
  const std::optional<TJournalHeader> header = ReadJournalHeader({bytes, read});
  if (!header) {
    Reset();
    return false;
  }
  struct TGuard {
    bool& flag;
    ~TGuard() { flag = false; }
  } guard{rolling_back_};
  rolling_back_ = true;
  uint64_t at = kJournalHeaderSize;
  std::vector<uint8_t> data;
  for (;;) {
    uint8_t entry_bytes[kJournalEntryHeaderSize];
    try {
      if (file_->ReadAt(at, entry_bytes, sizeof entry_bytes) < sizeof entry_bytes) break;
      const TJournalEntry entry = ReadJournalEntryHeader(entry_bytes);
      if (entry.Salt != header->Salt || entry.Length > kMaxEntryBytes) break;
      data.resize(entry.Length);
      if (file_->ReadAt(at + kJournalEntryHeaderSize, data.data(), data.size()) < data.size()) {
        break;
      }
      if (!JournalEntryMatches(entry, data)) break;
      if (TFileHandler* target = files_[entry.File]; target != nullptr && target->IsOpen()) {
        target->WriteAt(entry.Offset, data.data(), data.size());
      }
      at += kJournalEntryHeaderSize + entry.Length;
    } catch (const platform::OsError& error) {
      Fail(STRATA_READERR, error.errno_value());
    }
  }
  for (int role = 0; role < kJournalFileCount; ++role) {
    TFileHandler* target = files_[role];
    const uint64_t original = header->OriginalLength[role];
    if (target == nullptr || !target->IsOpen() || original == kJournalNoFile) continue;
    if (target->Size() != original) target->Truncate(original);
  }
  // Rolling back is rare: the restored files reach the disk before the
  // journal lets go of them, whatever the flush settings.
  SyncFiles();
  Invalidate();
  SyncJournal();
  Reset();
  return true;
}

}  // namespace strata
