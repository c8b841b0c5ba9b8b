#include "storage/file/rollback_journal.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/file.h"
#include "storage/engine_error.h"
#include "storage/file/file_handler.h"
#include "storage/file/os_error_map.h"
#include "storage/file/scratch_bytes.h"

namespace strata {
namespace {

// Pre-images are saved in entries of at most this many bytes.
constexpr uint64_t kMaxEntryBytes = 1 << 20;

uint32_t NewSalt() {
  static uint32_t state = static_cast<uint32_t>(
      std::chrono::steady_clock::now().time_since_epoch().count() ^ (getpid() * 2654435761u));
  state = state * 1664525u + 1013904223u;
  return state == 0 ? 1 : state;
}

// A journal that grew beyond this is cut back when its change ends; a
// smaller one only has its magic cleared (one write, no reallocation).
constexpr uint64_t kKeepJournalBytes = 1 << 20;

// The end of the run of equal bytes of `a` and `b` that starts at `from`
// (`to` when they agree up to there); eight bytes at a time.
size_t EqualUpTo(const uint8_t* a, const uint8_t* b, size_t from, size_t to) {
  while (from + 8 <= to) {
    uint64_t x;
    uint64_t y;
    std::memcpy(&x, a + from, 8);
    std::memcpy(&y, b + from, 8);
    if (x != y) break;
    from += 8;
  }
  while (from < to && a[from] == b[from]) ++from;
  return from;
}

}  // namespace

TRollbackJournal::TRollbackJournal(std::string path, std::string table_name)
    : path_(std::move(path)), table_name_(std::move(table_name)) {}

TRollbackJournal::~TRollbackJournal() { Detach(); }

void TRollbackJournal::Fail(uint16_t code, int os_error) const {
  RaiseFileError(code, os_error, table_name_);
}

bool TRollbackJournal::OpenFile() {
  if (file_) return true;
  if (unavailable_) return false;
  try {
    file_ = platform::File::OpenOrCreateExact(path_);
  } catch (const platform::OsError&) {
    unavailable_ = true;
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

bool TRollbackJournal::OpenExisting() {
  if (file_) return true;
  if (unavailable_) return false;
  try {
    if (looked_ && !platform::ExactFileSize(path_)) return false;
    looked_ = true;
    file_ = platform::File::OpenExact(path_);
  } catch (const platform::OsError& error) {
    if (error.kind() != platform::OsErrorKind::kNotFound) unavailable_ = true;
    return false;
  }
  return true;
}

bool TRollbackJournal::HoldsChange() {
  if (!OpenExisting()) return false;
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

void TRollbackJournal::AddEntry(TRole role, uint64_t offset, const uint8_t* image, size_t length,
                                std::vector<uint8_t>& out) {
  TJournalEntry entry;
  entry.File = role;
  entry.Length = static_cast<uint32_t>(length);
  entry.Offset = offset;
  entry.Salt = header_.Salt;
  const size_t start = out.size();
  out.resize(start + kJournalEntryHeaderSize + length);
  WriteJournalEntryHeader(entry, {image, length}, out.data() + start);
  std::copy(image, image + length, out.begin() + start + kJournalEntryHeaderSize);
  Cover(role, offset, offset + length);
}

void TRollbackJournal::Cover(TRole role, uint64_t begin, uint64_t end) {
  // [begin, end) joins the covered ranges, merged with those it touches or
  // overlaps (it overlaps none, being saved from uncovered bytes only).
  std::map<uint64_t, uint64_t>& covered = covered_[role];
  auto next = covered.lower_bound(begin);
  if (next != covered.begin() && std::prev(next)->second >= begin) {
    --next;
    begin = next->first;
    end = std::max(end, next->second);
    next = covered.erase(next);
  }
  while (next != covered.end() && next->first <= end) {
    end = std::max(end, next->second);
    next = covered.erase(next);
  }
  covered.emplace(begin, end);
}

void TRollbackJournal::JournalRange(TRole role, uint64_t begin, uint64_t end, const uint8_t* data,
                                    std::vector<uint8_t>& out) {
  // The parts of [begin, end) not saved yet.
  std::vector<std::pair<uint64_t, uint64_t>> gaps;
  {
    const std::map<uint64_t, uint64_t>& covered = covered_[role];
    auto it = covered.upper_bound(begin);
    if (it != covered.begin() && std::prev(it)->second > begin) --it;
    uint64_t at = begin;
    for (; at < end && it != covered.end(); ++it) {
      if (it->first > at) gaps.emplace_back(at, std::min(end, it->first));
      at = std::max(at, it->second);
    }
    if (at < end) gaps.emplace_back(at, end);
  }
  if (gaps.empty()) return;
  // Saves [at, at + got) of the gap whose bytes from the file are `image`.
  auto save = [&](uint64_t at, const uint8_t* image, size_t got) {
    if (data == nullptr) {
      if (got > 0) AddEntry(role, at, image, got, out);
      return;
    }
    // Only the spans the write changes. Equal runs shorter than an entry
    // header are saved with the spans around them: one entry costs less
    // than two.
    constexpr size_t kJoinBelow = kJournalEntryHeaderSize;
    const uint8_t* incoming = data + (at - begin);
    for (size_t i = EqualUpTo(image, incoming, 0, got); i < got;) {
      const size_t span_begin = i;
      size_t span_end = i + 1;
      for (i = span_end; i < got;) {
        const size_t equal_end = EqualUpTo(image, incoming, i, got);
        if (equal_end == got || equal_end - i >= kJoinBelow) {
          i = equal_end;
          break;
        }
        span_end = equal_end + 1;  // the byte at equal_end differs
        i = span_end;
      }
      // `i` is where the next span begins (a differing byte), or the end.
      AddEntry(role, at + span_begin, image + span_begin, span_end - span_begin, out);
    }
  };
  const uint64_t first = gaps.front().first;
  const uint64_t last = gaps.back().second;
  TScratchRun scratch(TScratchUse::kJournalImage);
  std::vector<uint8_t>& pre_images = scratch.bytes;
  if (last - first <= kMaxEntryBytes) {
    // One read for all the gaps (a page rewritten again and again has many).
    // The buffer only grows: what it held before is read over, not cleared.
    const size_t reach = last - first;
    if (pre_images.size() < reach) pre_images.resize(reach);
    const size_t got = files_[role]->ReadAt(first, pre_images.data(), reach, true);
    for (const auto& [gap_begin, gap_end] : gaps) {
      if (gap_begin - first >= got) break;  // nothing more of the file to save
      const size_t length = std::min<uint64_t>(gap_end, first + got) - gap_begin;
      save(gap_begin, pre_images.data() + (gap_begin - first), length);
    }
    return;
  }
  for (const auto& [gap_begin, gap_end] : gaps) {
    for (uint64_t piece = gap_begin; piece < gap_end;) {
      const uint64_t length = std::min(gap_end - piece, kMaxEntryBytes);
      pre_images.resize(length);
      const size_t got = files_[role]->ReadAt(piece, pre_images.data(), length, true);
      save(piece, pre_images.data(), got);
      if (got < length) return;  // nothing more of the file to save
      piece += length;
    }
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

void TRollbackJournal::WritePending() {
  if (header_written_) {
    Append(pending_);
    return;
  }
  // The header at 0, the first entries after it, in one write.
  try {
    file_->WriteAt(0, pending_.data(), pending_.size());
  } catch (const platform::OsError& error) {
    Fail(STRATA_WRITEERR, error.errno_value());
  }
  append_at_ = pending_.size();
  unsynced_ = true;
  header_written_ = true;
}

void TRollbackJournal::BeforeWrite(TRole role, uint64_t offset, const uint8_t* data,
                                   uint64_t count) {
  if (rolling_back_ || !OpenFile()) return;
  if (!live_) Begin();
  pending_.clear();
  if (!header_written_) {
    pending_.resize(kJournalHeaderSize);
    WriteJournalHeader(header_, pending_.data());
  }
  const uint64_t original = header_.OriginalLength[role];
  if (original != kJournalNoFile && offset < original) {
    JournalRange(role, offset, std::min(offset + count, original), data, pending_);
  }
  // The header must be on disk before the first write that changes a file:
  // one that saves a pre-image, or grows a file beyond its original length
  // (which rollback cuts back). A write that changes nothing needs neither.
  const bool grows = original != kJournalNoFile && offset + count > original;
  if (pending_.size() > (header_written_ ? 0 : kJournalHeaderSize) || (!header_written_ && grows)) {
    WritePending();
  }
  if (sync_ && unsynced_) SyncJournal();
}

void TRollbackJournal::BeforeTruncate(TRole role, uint64_t size) {
  if (rolling_back_ || !OpenFile()) return;
  if (!live_) Begin();
  const uint64_t original = header_.OriginalLength[role];
  pending_.clear();
  if (!header_written_) {
    pending_.resize(kJournalHeaderSize);
    WriteJournalHeader(header_, pending_.data());
  }
  // What is cut off within the original length needs its pre-image; the
  // header is written either way.
  if (original != kJournalNoFile && size < original) {
    JournalRange(role, size, original, nullptr, pending_);
  }
  if (!pending_.empty()) WritePending();
  if (sync_ && unsynced_) SyncJournal();
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
  // Clearing the magic is the cheapest write that ends the change (cheaper
  // than cutting the file, which the next change grows again); a journal
  // that grew large is cut back. (A rollback does not know how far the
  // journal it undid reaches.)
  try {
    if (append_at_ > kKeepJournalBytes || (rolling_back_ && file_->Size() > kKeepJournalBytes)) {
      file_->Truncate(0);
    } else {
      const uint8_t zeros[kJournalMagicSize] = {};
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
  if (!HoldsChange()) {
    Reset();
    return false;
  }
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
