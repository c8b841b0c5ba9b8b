#include "storage/index/index_file.h"

#include <algorithm>
#include <cstring>
#include <tuple>
#include <utility>

#include "storage/engine_error.h"
#include "storage/engine_names.h"
#include "storage/file/scratch_bytes.h"
#include "storage/scramble.h"

namespace strata {
namespace {

constexpr uint32_t kMaxPageNumber = 2000000000u;
constexpr uint64_t kMaxFileOffset = 4000000000ull;
constexpr size_t kMaxRunPages = 64;  // pages per write of a run
constexpr size_t kMinCachePages = 64;

// Runs `end` when the scope is left, on every path.
template <class F>
class TScopeExit {
 public:
  explicit TScopeExit(F end) : end_(end) {}
  ~TScopeExit() { end_(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  F end_;
};

// The span [begin, end) of `size` bytes outside which `a` and `b` agree
// (empty when they agree throughout); eight bytes at a time.
std::pair<size_t, size_t> DifferingSpan(const uint8_t* a, const uint8_t* b, size_t size) {
  auto word = [](const uint8_t* p) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
  };
  size_t begin = 0;
  while (begin + 8 <= size && word(a + begin) == word(b + begin)) begin += 8;
  while (begin < size && a[begin] == b[begin]) ++begin;
  if (begin == size) return {size, size};
  size_t end = size;
  while (end >= begin + 8 && word(a + end - 8) == word(b + end - 8)) end -= 8;
  while (a[end - 1] == b[end - 1]) --end;  // stops at `begin` at the latest
  return {begin, end};
}

}  // namespace

TIndexFile::TIndexFile(const TEngineSettings& settings)
    : settings_(settings),
      header_(TIndexHeader::Fresh()),
      cache_limit_(std::max<size_t>(kMinCachePages, settings.BlockCacheCount)) {
  entry_counts_.fill(-1);
  RebuildFormats();
}

// The owner closes the file (Close flushes); a destructor does not write.
TIndexFile::~TIndexFile() {
  for (TPageCache& cache : caches_) cache.Clear(spare_);
}

void TIndexFile::Corrupt() const { RaiseTableError(STRATA_INDEXCORRUPT, TableName()); }

void TIndexFile::ScrambleIfEncrypted(uint8_t* data, size_t size) const {
  if (encrypted_) ::strata::Scramble(data, size, kRecordSeed);
}

void TIndexFile::SetTableContext(std::vector<TFieldDescriptor> fields, uint32_t locale_id,
                                 bool encrypted) {
  fields_ = std::move(fields);
  locale_id_ = locale_id;
  encrypted_ = encrypted;
  encode_all_ = true;  // the image may be scrambled otherwise than now
  RebuildFormats();
}

const TIndexKeyFormat& TIndexFile::FormatOf(int index) const {
  const auto i = static_cast<size_t>(index);
  if (!format_built_[i]) {
    const TIndexDescriptor& d = header_.Indexes[i];
    try {
      formats_[i] = TIndexKeyFormat(index, d, fields_, locale_id_, TableName());
      format_sound_[i] = true;
    } catch (const EStrataEngineError&) {
      // A key field unknown to the table: keys still compare as bytes.
      formats_[i] = TIndexKeyFormat(index, d, {}, locale_id_, TableName());
      format_sound_[i] = false;
    }
    format_built_[i] = true;
  }
  return formats_[i];
}

bool TIndexFile::FormatSound(int index) const {
  const auto i = static_cast<size_t>(index);
  // A slot without key fields names no field that could be unknown.
  if (!format_built_[i] && header_.Indexes[i].FieldCount == 0) return true;
  FormatOf(index);
  return format_sound_[i];
}

void TIndexFile::DropCaches() {
  pages_modified_ = false;
  for (int i = 0; i < kIndexSlotCount; ++i) {
    caches_[i].Clear(spare_);
    ++generations_[i];
    entry_counts_[i] = -1;
  }
}

void TIndexFile::EndOperation() {
  // Only pages added or written since the last look can take a cache over
  // its limit or make it trimmable; most operations do neither.
  if (!trim_due_) return;
  trim_due_ = false;
  for (TPageCache& cache : caches_) {
    if (cache.Size() > cache_limit_) cache.Trim(cache_limit_, spare_);
  }
}

// ---- Header ----------------------------------------------------------------

void TIndexFile::ReadHeader(TIndexHeader& header) {
  image_known_ = false;
  encode_all_ = true;  // the stored bytes may be another writer's encoding
  if (ReadAt(0, image_.data(), image_.size(), true) < image_.size()) {
    RaiseTableError(STRATA_HEADERCORRUPT, TableName());
  }
  if (encrypted_) {
    uint8_t plain[kIndexHeaderSize];
    std::memcpy(plain, image_.data(), sizeof plain);
    ScrambleIfEncrypted(plain, sizeof plain);
    header = TIndexHeader::Decode(plain);
  } else {
    header = TIndexHeader::Decode(image_.data());
  }
  image_known_ = true;
}

void TIndexFile::AdoptedStoredHeader() {
  // The held header is the image decoded: an unchanged slot's stored bytes
  // decode to what is held, so a write need encode only what changes (the
  // bytes the header does not use stay as stored).
  encode_all_ = false;
  slots_changed_ = 0;
}

void TIndexFile::Changing(uint64_t begin, uint64_t end) {
  (void)end;
  if (begin < kIndexHeaderSize) image_known_ = false;
}

bool TIndexFile::StoredHeaderAgrees() {
  RequireOpen();
  if (header_dirty_) return false;
  // The bytes read become the image: they are what the file holds.
  TIndexHeader disk;
  ReadHeader(disk);
  if (disk.Version != header_.Version || disk.SecondaryCount != header_.SecondaryCount ||
      disk.NoPrimaryFields != header_.NoPrimaryFields) {
    return false;
  }
  if (disk.ChangeCounter == header_.ChangeCounter) {
    return disk.NextPage == header_.NextPage && disk.Indexes == header_.Indexes;
  }
  // Roots and free lists move with every change of the entries.
  for (size_t i = 0; i < disk.Indexes.size(); ++i) {
    TIndexDescriptor stored = disk.Indexes[i];
    const TIndexDescriptor& held = header_.Indexes[i];
    stored.RootPage = held.RootPage;
    stored.FreeHead = held.FreeHead;
    stored.ExtraPage = held.ExtraPage;
    if (!(stored == held)) return false;
  }
  return true;
}

void TIndexFile::WriteHeader() {
  // Encoded from the held header with the new counter and mark in place
  // (put back at once: a copy of the header would cost more than encoding).
  const uint32_t counter = header_.ChangeCounter + 1;
  uint8_t buffer[kIndexHeaderSize];
  const bool patch = image_known_ && !encode_all_ && !encrypted_;
  size_t reach = sizeof buffer;  // no byte from here to the flags differs
  {
    const bool mark = header_.ModifiedMark;
    header_.ChangeCounter = counter;
    header_.ModifiedMark = header_dirty_;
    if (patch) {
      std::memcpy(buffer, image_.data(), sizeof buffer);
      header_.EncodeFixed(buffer);
      reach = TIndexHeader::kFixedEnd;
      for (int i = 0; i < kIndexSlotCount; ++i) {
        if (slots_changed_ & (uint64_t{1} << i)) {
          header_.EncodeSlot(i, buffer);
          reach = TIndexHeader::SlotEnd(i);
        }
      }
    } else {
      header_.Encode(buffer);
    }
    header_.ChangeCounter = counter - 1;
    header_.ModifiedMark = mark;
  }
  ScrambleIfEncrypted(buffer, sizeof buffer);
  // With the stored bytes known, the write (and the journal's pre-image of
  // it) covers only the span from the first to the last byte that differs:
  // usually the counter and a few roots and page numbers near the start.
  size_t begin = 0;
  size_t end = sizeof buffer;
  if (image_known_) {
    std::tie(begin, end) = DifferingSpan(buffer, image_.data(), reach);
    if (reach < TIndexHeader::kFlagsBegin) {
      // A patched header: beyond `reach` only the flags may differ.
      const size_t flags = TIndexHeader::kFlagsBegin;
      if (std::memcmp(buffer + flags, image_.data() + flags, TIndexHeader::kFlagsEnd - flags) !=
          0) {
        if (begin == end) begin = flags;
        end = TIndexHeader::kFlagsEnd;
      }
    }
  }
  // Until the write is complete the stored bytes are not known.
  image_known_ = false;
  if (end > begin) WriteAt(begin, buffer + begin, end - begin);
  std::memcpy(image_.data() + begin, buffer + begin, end - begin);
  image_known_ = true;
  encode_all_ = encrypted_;
  slots_changed_ = 0;
  header_.ChangeCounter = counter;
  header_dirty_ = false;
}

// ---- The file contract -------------------------------------------------------

void TIndexFile::Create(const std::string& path, std::span<const TIndexDef> indexes, bool in_memory,
                        bool exclusive) {
  if (path_.empty()) path_ = path;  // errors of the definition name the file
  TIndexHeader header = TIndexHeader::Fresh();
  for (const TIndexDef& def : indexes) {
    if (def.Primary) {
      DefinePrimaryIndex(header, def, fields_, TableName());
    } else {
      AddSecondaryIndex(header, def, fields_, TableName());
    }
  }
  image_known_ = false;
  encode_all_ = true;
  CreateFile(path, in_memory, exclusive);
  header_ = header;
  header_dirty_ = true;
  in_transaction_ = false;
  DropCaches();
  entry_counts_.fill(0);
  RebuildFormats();
}

void TIndexFile::Open(const std::string& path, bool in_memory, bool exclusive, bool read_only) {
  image_known_ = false;
  OpenFile(path, in_memory, exclusive, read_only);
  DropCaches();
  header_dirty_ = false;
  in_transaction_ = false;
  ReadHeader(header_);
  AdoptedStoredHeader();
  RebuildFormats();
}

void TIndexFile::Verify() {
  RequireOpen();
  const TIndexHeader& h = header_;
  if (h.Version != kIndexFileVersion) RaiseTableError(STRATA_OLDVERSION, TableName());
  auto corrupt = [&] { RaiseTableError(STRATA_HEADERCORRUPT, TableName()); };
  if (h.NextPage == 0 || h.NextPage > kMaxPageNumber + 1 ||
      h.SecondaryCount > kMaxSecondaryIndexes) {
    corrupt();
  }
  // Pages beyond the header's count are leftovers of an interrupted write
  // and are overwritten when the file grows; fewer pages are a fault.
  const uint64_t pages_end = static_cast<uint64_t>(h.NextPage) * kIndexPageSize;
  if (!SizeFits([&](uint64_t size) { return size >= pages_end; })) corrupt();
  for (int i = 0; i < kIndexSlotCount; ++i) {
    const TIndexDescriptor& d = h.Indexes[i];
    bool secondary = i >= kFirstSecondaryIndex && i <= kMaxSecondaryIndexes;
    if (secondary && i > h.SecondaryCount && d.InUse()) corrupt();
    if (secondary && i <= h.SecondaryCount && d.Name.empty()) corrupt();
    if (d.FieldCount > kMaxKeyFields || d.CompressionMode > 3) corrupt();
    if (d.RootPage >= h.NextPage || d.FreeHead >= h.NextPage) corrupt();
    if (!FormatSound(i)) corrupt();
    if (d.FieldCount > 0 && !fields_.empty() && i != kSysDeletedIndex) {
      uint16_t key_size = 0;
      try {
        key_size = ComputeKeySize(d, fields_, TableName());
      } catch (const EStrataEngineError&) {
        corrupt();
      }
      if (key_size != d.KeySize) corrupt();
    }
  }
  const TIndexDescriptor& deleted = h.Indexes[kSysDeletedIndex];
  if (deleted.Name != kSysDeletedName || deleted.KeySize != kSysDeletedKeySize) corrupt();
  if (h.NoPrimaryFields != (h.Indexes[kPrimaryIndex].FieldCount == 0)) corrupt();
}

bool TIndexFile::Flush(bool force_header, bool force_os_flush) {
  if (!open_) return false;
  if (in_transaction_) {
    if (force_header) {
      ++header_.ChangeCounter;
      header_dirty_ = true;
    }
    return false;
  }
  TScopeExit end([this] { EndOperation(); });
  bool wrote = false;
  WritePages(wrote);
  if (header_dirty_ || force_header) {
    WriteHeader();
    wrote = true;
  }
  if (wrote && (settings_.ForceBufferFlush || force_os_flush)) FlushBuffers();
  return wrote;
}

void TIndexFile::WritePages(bool& wrote) {
  if (!pages_modified_) return;
  std::vector<TPage*> modified;
  for (TPageCache& cache : caches_) {
    for (const std::unique_ptr<TPage>& page : cache.Pages()) {
      if (page->Modified) modified.push_back(page.get());
    }
  }
  if (modified.empty()) {
    pages_modified_ = false;
    return;
  }
  RequireWritable();
  std::sort(modified.begin(), modified.end(),
            [](const TPage* a, const TPage* b) { return a->Number < b->Number; });
  TScratchRun scratch(TScratchUse::kIndexPages);
  std::vector<uint8_t>& io_buffer = scratch.bytes;
  size_t i = 0;
  while (i < modified.size()) {
    size_t run = 1;
    while (i + run < modified.size() && run < kMaxRunPages &&
           modified[i + run]->Number == modified[i]->Number + run) {
      ++run;
    }
    if (io_buffer.size() < run * kIndexPageSize) io_buffer.resize(run * kIndexPageSize);
    for (size_t k = 0; k < run; ++k) {
      uint8_t* out = io_buffer.data() + k * kIndexPageSize;
      modified[i + k]->Encode(out);
      ScrambleIfEncrypted(out, kIndexPageSize);
    }
    WriteAt(static_cast<uint64_t>(modified[i]->Number) * kIndexPageSize, io_buffer.data(),
            run * kIndexPageSize);
    for (size_t k = 0; k < run; ++k) modified[i + k]->Modified = false;
    trim_due_ = true;  // written pages may go now
    wrote = true;
    i += run;
  }
  pages_modified_ = false;
}

bool TIndexFile::DetectChange() {
  if (!open_ || in_transaction_) return false;
  // The counter alone while it stands still (the usual case): the whole
  // header is read and decoded only when it moved.
  uint8_t counter[TIndexHeader::kChangeCounterBytes];
  if (ReadAt(0, counter, sizeof counter, true) < sizeof counter) {
    RaiseTableError(STRATA_HEADERCORRUPT, TableName());
  }
  ScrambleIfEncrypted(counter, sizeof counter);
  if (TIndexHeader::DecodeChangeCounter(counter) == header_.ChangeCounter) return false;
  TIndexHeader disk;
  ReadHeader(disk);
  if (disk.ChangeCounter == header_.ChangeCounter) return false;
  header_ = disk;
  AdoptedStoredHeader();
  header_dirty_ = false;
  DropCaches();
  RebuildFormats();
  return true;
}

void TIndexFile::DiscardChanges() {
  DropCaches();
  header_dirty_ = false;
  if (open_) {
    ReadHeader(header_);
    AdoptedStoredHeader();
  }
  RebuildFormats();
}

void TIndexFile::Empty() {
  RequireWritable();
  Truncate(kIndexHeaderSize);
  header_.NextPage = 1;
  for (TIndexDescriptor& d : header_.Indexes) d.RootPage = d.FreeHead = 0;
  encode_all_ = true;
  DropCaches();
  entry_counts_.fill(0);
  header_dirty_ = true;
}

void TIndexFile::Abandon() {
  if (!open_) return;
  DropCaches();
  CloseFile();
}

void TIndexFile::Close() {
  if (!open_) return;
  try {
    if (!read_only_) Flush(false);
  } catch (...) {
    DropCaches();
    CloseFile();
    throw;
  }
  DropCaches();
  CloseFile();
}

// ---- Index definitions -------------------------------------------------------

bool TIndexFile::IsMaintained(int index) const {
  if (index < 0 || index >= kIndexSlotCount) return false;
  const TIndexDescriptor& d = header_.Indexes[index];
  if (index == kPrimaryIndex) return d.FieldCount > 0;
  if (index <= kMaxSecondaryIndexes) return index <= header_.SecondaryCount && d.InUse();
  return index == kSysDeletedIndex;
}

int TIndexFile::FindIndex(std::string_view name) const {
  if (name.empty()) return header_.Indexes[kPrimaryIndex].FieldCount > 0 ? kPrimaryIndex : -1;
  for (int i = 1; i < kIndexSlotCount; ++i) {
    if (i <= kMaxSecondaryIndexes && i > header_.SecondaryCount) continue;
    if (SameName(header_.Indexes[i].Name, name)) return i;
  }
  return -1;
}

void TIndexFile::DefinePrimary(const TIndexDef& def) {
  RequireWritable();
  encode_all_ = true;
  DefinePrimaryIndex(header_, def, fields_, TableName());
  header_dirty_ = true;
  RebuildFormats();
  ++generations_[kPrimaryIndex];
  entry_counts_[kPrimaryIndex] = 0;
}

int TIndexFile::AddSecondary(const TIndexDef& def) {
  RequireWritable();
  encode_all_ = true;
  int slot = AddSecondaryIndex(header_, def, fields_, TableName());
  header_dirty_ = true;
  RebuildFormats();
  ++generations_[slot];
  entry_counts_[slot] = 0;
  return slot;
}

// ---- Keys --------------------------------------------------------------------

const TIndexKeyFormat& TIndexFile::KeyFormat(int index) const {
  if (index < 0 || index >= kIndexSlotCount) RaiseTableError(STRATA_INDEXCORRUPT, TableName());
  if (!FormatSound(index)) RaiseTableError(STRATA_HEADERCORRUPT, TableName());
  return FormatOf(index);
}

void TIndexFile::BuildKey(int index, const uint8_t* record, uint8_t* key) const {
  KeyFormat(index).BuildFromRecord(record, key);
}

std::vector<uint8_t> TIndexFile::BuildKey(int index, const uint8_t* record) const {
  const TIndexKeyFormat& format = KeyFormat(index);
  std::vector<uint8_t> key(format.KeySize());
  format.BuildFromRecord(record, key.data());
  return key;
}

std::vector<uint8_t> TIndexFile::BuildKeyFromValues(int index,
                                                    std::span<const TKeyFieldValue> values) const {
  const TIndexKeyFormat& format = KeyFormat(index);
  std::vector<uint8_t> key(format.KeySize());
  format.BuildFromValues(values, key.data());
  return key;
}

int TIndexFile::CompareKeys(int index, const uint8_t* a, const uint8_t* b, TKeyLimit limit) const {
  return KeyFormat(index).Compare(a, b, limit);
}

// ---- Trees -------------------------------------------------------------------

void TIndexFile::RequireTree(int index) const {
  if (!IsMaintained(index)) RaiseTableError(STRATA_INDEXCORRUPT, TableName());
  const TIndexDescriptor& d = header_.Indexes[index];
  if (d.CompressionMode != 0 || d.TemporaryFile) {
    RaiseEngineError(STRATA_OLDVERSION,
                     {.table = TableName(),
                      .index = d.Name,
                      .detail = d.CompressionMode != 0
                                    ? "key compression mode " + std::to_string(d.CompressionMode) +
                                          " is not supported"
                                    : "index pages in a temporary file are not supported"});
  }
  if (!FormatSound(index)) RaiseTableError(STRATA_HEADERCORRUPT, TableName());
}

TIndexTree TIndexFile::Tree(int index) {
  RequireTree(index);
  const TIndexDescriptor& d = header_.Indexes[index];
  return TIndexTree(*this, index, FormatOf(index), !d.NoRecordNumbers, d.Name, TableName());
}

TPage& TIndexFile::FetchPage(int index, uint32_t number) {
  if (number == 0 || number >= header_.NextPage) Corrupt();
  TPageCache& cache = caches_[index];
  if (TPage* page = cache.Find(number)) return *page;
  uint8_t buffer[kIndexPageSize];
  if (ReadAt(static_cast<uint64_t>(number) * kIndexPageSize, buffer, sizeof buffer, true) <
      sizeof buffer) {
    Corrupt();
  }
  ScrambleIfEncrypted(buffer, sizeof buffer);
  std::unique_ptr<TPage> page = spare_.Take();
  page->Number = number;
  page->Modified = false;
  const TIndexDescriptor& d = header_.Indexes[index];
  page->SetLayout(FormatOf(index).KeySize(), !d.NoRecordNumbers);
  if (!page->Decode(buffer)) {
    spare_.Give(std::move(page));
    Corrupt();
  }
  trim_due_ = true;
  return *cache.Add(std::move(page));
}

TPage& TIndexFile::AllocatePage(int index) {
  SlotChanged(index);  // its free chain or the page count moves
  TIndexDescriptor& d = header_.Indexes[index];
  TPage* page;
  if (d.FreeHead != 0) {
    page = &FetchPage(index, d.FreeHead);
    d.FreeHead = page->Next;
  } else {
    uint32_t number = header_.NextPage;
    if (number > kMaxPageNumber ||
        (static_cast<uint64_t>(number) + 1) * kIndexPageSize > kMaxFileOffset) {
      RaiseTableError(STRATA_TABLEFULL, TableName());
    }
    std::unique_ptr<TPage> fresh = spare_.Take();
    fresh->Number = number;
    fresh->SetLayout(FormatOf(index).KeySize(), !d.NoRecordNumbers);
    page = caches_[index].Add(std::move(fresh));
    trim_due_ = true;
    ++header_.NextPage;
  }
  page->Clear();
  MarkModified(*page);
  header_dirty_ = true;
  return *page;
}

void TIndexFile::FreePage(int index, TPage& page) {
  TIndexDescriptor& d = header_.Indexes[index];
  page.Clear();
  page.Next = d.FreeHead;
  MarkModified(page);
  d.FreeHead = page.Number;
  header_dirty_ = true;
  SlotChanged(index);
}

void TIndexFile::SetRootPage(int index, uint32_t page) {
  header_.Indexes[index].RootPage = page;
  header_dirty_ = true;
  SlotChanged(index);
}

// ---- Entries -----------------------------------------------------------------

void TIndexFile::Insert(int index, const uint8_t* key, uint32_t record_number) {
  RequireWritable();
  TScopeExit end([this] { EndOperation(); });
  Tree(index).Insert(key, record_number);
  if (entry_counts_[index] >= 0) ++entry_counts_[index];
}

bool TIndexFile::Delete(int index, const uint8_t* key, uint32_t record_number) {
  RequireWritable();
  TScopeExit end([this] { EndOperation(); });
  bool removed = Tree(index).Delete(key, record_number);
  if (removed && entry_counts_[index] > 0) --entry_counts_[index];
  return removed;
}

bool TIndexFile::Contains(int index, const uint8_t* key, TKeyLimit limit, uint32_t* record_number) {
  TScopeExit end([this] { EndOperation(); });
  return Tree(index).Contains(key, limit, record_number);
}

void TIndexFile::CheckUnique(int index, const uint8_t* key, uint32_t own_record) {
  if (!Descriptor(index).Unique && index != kPrimaryIndex) return;
  uint32_t record = 0;
  if (Contains(index, key, TKeyLimit::Whole(), &record) && record != own_record) {
    RaiseIndexError(STRATA_KEYVIOL, Descriptor(index).Name, TableName());
  }
}

// ---- Positions ---------------------------------------------------------------

bool TIndexFile::First(int index, TIndexPosition& pos) {
  TScopeExit end([this] { EndOperation(); });
  return Tree(index).First(pos);
}

bool TIndexFile::Last(int index, TIndexPosition& pos) {
  TScopeExit end([this] { EndOperation(); });
  return Tree(index).Last(pos);
}

bool TIndexFile::Next(TIndexPosition& pos) {
  TScopeExit end([this] { EndOperation(); });
  return Tree(pos.Index).Next(pos);
}

bool TIndexFile::Prior(TIndexPosition& pos) {
  TScopeExit end([this] { EndOperation(); });
  return Tree(pos.Index).Prior(pos);
}

bool TIndexFile::Seek(int index, const uint8_t* key, TKeyLimit limit, TSeekMode mode,
                      TIndexPosition& pos) {
  TScopeExit end([this] { EndOperation(); });
  return Tree(index).Seek(key, limit, mode, pos);
}

bool TIndexFile::Locate(int index, const uint8_t* key, uint32_t record_number,
                        TIndexPosition& pos) {
  TScopeExit end([this] { EndOperation(); });
  return Tree(index).Locate(key, record_number, pos);
}

bool TIndexFile::Matches(const TIndexPosition& pos, const uint8_t* key, TKeyLimit limit) const {
  return pos.OnEntry() && KeyFormat(pos.Index).Compare(pos.KeyData(), key, limit) == 0;
}

uint32_t TIndexFile::EntryCount(int index) {
  if (entry_counts_.at(index) < 0) {
    TScopeExit end([this] { EndOperation(); });
    entry_counts_[index] = Tree(index).CountEntries();
  }
  return static_cast<uint32_t>(entry_counts_[index]);
}

uint32_t TIndexFile::Ordinal(TIndexPosition& pos) {
  uint32_t total = EntryCount(pos.Index);
  TScopeExit end([this] { EndOperation(); });
  return Tree(pos.Index).Ordinal(pos, total);
}

bool TIndexFile::SeekOrdinal(int index, uint32_t ordinal, TIndexPosition& pos) {
  uint32_t total = EntryCount(index);
  TScopeExit end([this] { EndOperation(); });
  return Tree(index).SeekOrdinal(ordinal, pos, total);
}

// ---- Verification ------------------------------------------------------------

TIndexCheckResult TIndexFile::CheckIndex(int index) {
  TScopeExit end([this] { EndOperation(); });
  std::vector<int> owners(header_.NextPage, kNoOwner);
  const TIndexDescriptor& d = header_.Indexes.at(index);
  return CheckIndexTree(*this, index, FormatOf(index), !d.NoRecordNumbers,
                        IsMaintained(index) ? d.RootPage : 0, d.FreeHead, header_.NextPage, d.Name,
                        owners);
}

TIndexCheckResult TIndexFile::CheckStructure() {
  TScopeExit end([this] { EndOperation(); });
  TIndexCheckResult total;
  auto fault = [&](const std::string& text) { total.Faults.push_back("header: " + text); };
  const TIndexHeader& h = header_;
  if (h.Version != kIndexFileVersion) fault("version " + std::to_string(h.Version) + ", not 5");
  if (h.SecondaryCount > kMaxSecondaryIndexes) {
    fault(std::to_string(h.SecondaryCount) + " secondary indexes");
  }
  if (h.NextPage == 0) fault("next page 0");
  uint64_t size = 0;
  try {
    size = Size();
  } catch (const std::exception& error) {
    fault(std::string("file size unknown: ") + error.what());
  }
  if (size < static_cast<uint64_t>(h.NextPage) * kIndexPageSize) {
    fault("file of " + std::to_string(size) + " bytes holds fewer than " +
          std::to_string(h.NextPage - 1) + " pages");
  }
  const TIndexDescriptor& deleted = h.Indexes[kSysDeletedIndex];
  if (deleted.Name != kSysDeletedName || deleted.KeySize != kSysDeletedKeySize) {
    fault("slot 31 is not \"Sys Deleted\" with key size 5");
  }
  if (h.NoPrimaryFields != (h.Indexes[kPrimaryIndex].FieldCount == 0)) {
    fault("row-order mark disagrees with the primary index");
  }
  std::vector<int> owners(std::max<uint32_t>(h.NextPage, 1), kNoOwner);
  bool text_pages = h.Indexes[kSysTextIndex].RootPage != 0;
  for (int i = 0; i < kIndexSlotCount; ++i) {
    const TIndexDescriptor& d = h.Indexes[i];
    std::string slot = "slot " + std::to_string(i) + ": ";
    bool secondary = i >= kFirstSecondaryIndex && i <= kMaxSecondaryIndexes;
    if (secondary && i > h.SecondaryCount && d.InUse()) fault(slot + "in use beyond the count");
    if (secondary && i <= h.SecondaryCount && d.Name.empty()) fault(slot + "has no name");
    if (d.FieldCount > kMaxKeyFields) fault(slot + "more than 16 key fields");
    if (!FormatSound(i)) fault(slot + "a key field is not a field of the table");
    if (d.FieldCount > 0 && FormatSound(i) && !fields_.empty() && i != kSysDeletedIndex) {
      try {
        if (ComputeKeySize(d, fields_, TableName()) != d.KeySize) fault(slot + "wrong key size");
      } catch (const EStrataEngineError&) {
        fault(slot + "invalid key size");
      }
    }
    if (i == kSysTextIndex) continue;  // text pages are not ours to read
    bool tree = IsMaintained(i);
    if (!tree && d.RootPage != 0) fault(slot + "root page in an unused slot");
    if (tree && (d.CompressionMode != 0 || d.TemporaryFile)) {
      fault(slot + "compressed or temporary index not checked");
      continue;
    }
    // An unused slot may still own a chain of free pages.
    TIndexCheckResult one =
        CheckIndexTree(*this, i, FormatOf(i), !d.NoRecordNumbers, tree ? d.RootPage : 0, d.FreeHead,
                       h.NextPage, d.Name, owners);
    total.Faults.insert(total.Faults.end(), one.Faults.begin(), one.Faults.end());
    total.Entries += one.Entries;
    total.Pages += one.Pages;
    total.FreePages += one.FreePages;
    total.Depth = std::max(total.Depth, one.Depth);
  }
  if (!text_pages) {
    for (uint32_t n = 1; n < h.NextPage && n < owners.size(); ++n) {
      if (owners[n] == kNoOwner) {
        total.Faults.push_back("page " + std::to_string(n) + " belongs to no index");
      }
    }
  }
  return total;
}

}  // namespace strata
