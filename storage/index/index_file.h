// TIndexFile: the index file (".IDX") of a table: its header with the 33
// index descriptors, a page cache per index, page allocation with a free
// chain per index, the trees of all indexes, flushing, change detection and
// verification.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storage/engine_settings.h"
#include "storage/file/file_handler.h"
#include "storage/index/index_check.h"
#include "storage/index/index_definition.h"
#include "storage/index/index_header.h"
#include "storage/index/index_key.h"
#include "storage/index/index_position.h"
#include "storage/index/index_tree.h"
#include "storage/index/page_cache.h"
#include "storage/record/field_descriptor.h"

namespace strata {

// Owns the header copy, the page caches (one per descriptor slot), the spare
// page pool and the derived key formats. Page N lives at offset N x 4096.
// Invariants: every cached page belongs to the cache of the index whose tree
// or free chain holds it; a modified page stays cached until it is written
// (and, in a transaction, until commit or rollback); the key formats always
// match the header's descriptors and the table context.
//
// Locks are not taken here: the table object brackets each operation with
// its read or write locks (and runs DetectChange through them).
//
// Page cache: at most max(64, settings.BlockCacheCount) pages per index
// (8192 pages = 32 MB with the default settings); unmodified pages beyond
// that are evicted, least recently used first, after each operation.
class TIndexFile : public TFileHandler, private TPageStore {
 public:
  explicit TIndexFile(const TEngineSettings& settings);
  ~TIndexFile() override;

  // ---- Table context -----------------------------------------------------
  // The table's field descriptors (key fields are looked up by number), its
  // locale (language id, sort id in bits 16 and up; language 0 orders keys
  // by unsigned bytes) and whether its files are scrambled. Set before
  // Create or Open, or the key formats are rebuilt.
  void SetTableContext(std::vector<TFieldDescriptor> fields, uint32_t locale_id, bool encrypted);

  // ---- The file contract -------------------------------------------------
  // Creates the file (replacing one) with a fresh header and the given
  // primary and secondary indexes (definition rules of DefinePrimary /
  // AddSecondary); the header is written at the next Flush.
  void Create(const std::string& path, std::span<const TIndexDef> indexes, bool in_memory = false,
              bool exclusive = false);
  // Opens the file and reads its header.
  void Open(const std::string& path, bool in_memory, bool exclusive, bool read_only);
  // First-open checks: version 5 (STRATA_OLDVERSION); header, descriptors and
  // file size consistent (STRATA_HEADERCORRUPT).
  void Verify();
  // Writes the modified pages in runs of consecutive numbers, then the
  // header when modified or forced (change counter + 1), then the OS buffer
  // flush when anything was written and settings.ForceBufferFlush or
  // force_os_flush. In a transaction nothing is written: a forced header
  // only advances the counter in memory. Returns whether anything was
  // written.
  bool Flush(bool force_header, bool force_os_flush = false);
  // Whether a flush would have anything to write but a forced header: a
  // modified page or header.
  bool HasUnwrittenChanges() const { return pages_modified_ || header_dirty_; }
  // Re-reads the header; when its change counter differs from the cached
  // one, adopts it, drops every cached page and returns true. In a
  // transaction the table lock keeps other writers out and the cache holds
  // the newer state, so nothing is read and false is returned.
  bool DetectChange();
  // Drops every cached page, modified ones included, and re-reads the header.
  void DiscardChanges();
  void SetInTransaction(bool in_transaction) { in_transaction_ = in_transaction; }
  bool InTransaction() const { return in_transaction_; }
  uint32_t ChangeCounter() const { return header_.ChangeCounter; }
  // Truncates the file to its header: next page 1, every root and free
  // chain 0; the header needs writing.
  void Empty();
  // Flushes, drops the cache and closes the file.
  void Close();
  // Closes without writing anything: the changes held in the caches are
  // dropped (a file about to be deleted).
  void Abandon();

  // ---- Index definitions -------------------------------------------------
  const TIndexHeader& Header() const { return header_; }
  // Whether the header on disk agrees with the one this object holds: the
  // same indexes (roots and free lists aside), and with the same change
  // counter the same header in every value. Run under a lock that keeps
  // writers out.
  bool StoredHeaderAgrees();
  const TIndexDescriptor& Descriptor(int index) const { return header_.Indexes.at(index); }
  int SecondaryCount() const { return header_.SecondaryCount; }
  // Whether slot `index` holds an index whose trees are kept: the primary
  // when it has key fields, the secondaries in use and "Sys Deleted".
  bool IsMaintained(int index) const;
  // The slot of the index with this name (case ignored; "" is the primary),
  // or -1.
  int FindIndex(std::string_view name) const;
  // The index's name as errors carry it (empty for the primary).
  const std::string& IndexName(int index) const { return Descriptor(index).Name; }
  // Definition rules and codes: see index_definition.h. The file must be
  // open for writing. The new index is empty; its keys are the caller's to
  // insert.
  void DefinePrimary(const TIndexDef& def);
  int AddSecondary(const TIndexDef& def);

  // ---- Keys --------------------------------------------------------------
  const TIndexKeyFormat& KeyFormat(int index) const;
  uint16_t KeySize(int index) const { return KeyFormat(index).KeySize(); }
  // The key of a record buffer for index `index` (KeySize(index) bytes).
  void BuildKey(int index, const uint8_t* record, uint8_t* key) const;
  std::vector<uint8_t> BuildKey(int index, const uint8_t* record) const;
  // A search key from values of the index's first values.size() key fields.
  std::vector<uint8_t> BuildKeyFromValues(int index, std::span<const TKeyFieldValue> values) const;
  int CompareKeys(int index, const uint8_t* a, const uint8_t* b,
                  TKeyLimit limit = TKeyLimit::Whole()) const;

  // ---- Entries -----------------------------------------------------------
  // A failure inside Insert or Delete other than STRATA_KEYVIOL (9729), such
  // as a read error, a damaged page or STRATA_TABLEFULL, may leave the index's
  // cached pages half changed: the caller drops them with DiscardChanges, as
  // for any failed modifying operation.
  // Adds an entry; STRATA_KEYVIOL (9729) naming the index when the key is
  // there already.
  void Insert(int index, const uint8_t* key, uint32_t record_number);
  // Removes the entry with this key and record number; false when absent.
  bool Delete(int index, const uint8_t* key, uint32_t record_number);
  // Whether a key equal to `key` (within `limit`) is in the index, and the
  // record number of the first such entry.
  bool Contains(int index, const uint8_t* key, TKeyLimit limit = TKeyLimit::Whole(),
                uint32_t* record_number = nullptr);
  // The uniqueness check before a record is inserted or a unique key changes:
  // STRATA_KEYVIOL (9729) naming the index when another record (record number
  // other than `own_record`, 0 = none) has this key in a unique index.
  void CheckUnique(int index, const uint8_t* key, uint32_t own_record = 0);

  // ---- Positions ---------------------------------------------------------
  // Each returns whether `pos` is on an entry; see TIndexTree for the
  // semantics. A position taken before a change of the index is re-found by
  // its key and record number first.
  bool First(int index, TIndexPosition& pos);
  bool Last(int index, TIndexPosition& pos);
  bool Next(TIndexPosition& pos);
  bool Prior(TIndexPosition& pos);
  bool Seek(int index, const uint8_t* key, TKeyLimit limit, TSeekMode mode, TIndexPosition& pos);
  bool Locate(int index, const uint8_t* key, uint32_t record_number, TIndexPosition& pos);
  // Whether `pos` is on an entry whose key equals `key` within `limit`.
  bool Matches(const TIndexPosition& pos, const uint8_t* key, TKeyLimit limit) const;

  // Entries in the index. Counted by one walk along the leaves the first
  // time, then kept up to date by Insert and Delete until the cache is
  // dropped.
  uint32_t EntryCount(int index);
  // 1-based ordinal of the entry at `pos`, and the position of an ordinal:
  // walks along the leaves from the nearer end (cost: one cached page per
  // leaf passed, i.e. up to half the leaves of the index).
  uint32_t Ordinal(TIndexPosition& pos);
  bool SeekOrdinal(int index, uint32_t ordinal, TIndexPosition& pos);

  // ---- Verification ------------------------------------------------------
  // Every index tree, free chain and the header checked in full; every page
  // of the file must be in exactly one tree or free chain (unless the text
  // index holds pages). Reads pages through the cache; never throws for a
  // fault of the file.
  TIndexCheckResult CheckStructure();
  TIndexCheckResult CheckIndex(int index);

  // Cache statistics (tests, benchmarks).
  size_t CachedPages(int index) const { return caches_.at(index).Size(); }
  size_t CacheLimit() const { return cache_limit_; }

 private:
  // TPageStore
  TPage& FetchPage(int index, uint32_t number) override;
  TPage& AllocatePage(int index) override;
  void FreePage(int index, TPage& page) override;
  uint32_t RootPage(int index) const override { return header_.Indexes[index].RootPage; }
  void SetRootPage(int index, uint32_t page) override;
  uint64_t Generation(int index) const override { return generations_[index]; }
  void AdvanceGeneration(int index) override { ++generations_[index]; }
  void MarkModified(TPage& page) override {
    page.Modified = true;
    pages_modified_ = true;
  }

  TIndexTree Tree(int index);
  void RequireTree(int index) const;
  void EndOperation();  // trims the caches
  // The key formats follow the header's descriptors and the table's fields:
  // RebuildFormats marks them out of date whenever either changes, and each
  // slot's format is built again at its first use after that (most opens
  // and header re-reads use a few of the 33 slots, if any).
  void RebuildFormats() { format_built_.fill(false); }
  const TIndexKeyFormat& FormatOf(int index) const;
  bool FormatSound(int index) const;  // false: a key field is unknown
  void DropCaches();
  // Reads the stored header into `header`; its bytes as stored become the
  // stored image.
  void ReadHeader(TIndexHeader& header);
  // Writes the header (change counter + 1): only the bytes that differ from
  // the stored image when that is known, all of them otherwise.
  void WriteHeader();
  // After ReadHeader into header_: the image may be patched from now on.
  void AdoptedStoredHeader();
  void Changing(uint64_t begin, uint64_t end) override;
  void WritePages(bool& wrote);
  void ScrambleIfEncrypted(uint8_t* data, size_t size) const;
  [[noreturn]] void Corrupt() const;

  TEngineSettings settings_;
  TIndexHeader header_;
  bool header_dirty_ = false;
  // The header's bytes as stored (scrambled when the file is), as last read
  // from or written to the file; known only while nothing else can have
  // changed them: a write or truncate of those bytes other than the header
  // write (a rollback's) and a failed header write drop it, and another
  // opener's change is seen by its change counter, upon which DetectChange
  // reads the header (and the image) again.
  std::array<uint8_t, kIndexHeaderSize> image_;
  bool image_known_ = false;
  // While false, the held header is the image (never scrambled then)
  // decoded, as last read or written, but for the descriptor slots marked
  // in slots_changed_: the next write encodes only those slots and the
  // values outside the descriptors into a copy of the image.
  bool encode_all_ = true;
  uint64_t slots_changed_ = 0;
  static_assert(kIndexSlotCount <= 64);
  void SlotChanged(int index) { slots_changed_ |= uint64_t{1} << index; }
  bool in_transaction_ = false;
  std::vector<TFieldDescriptor> fields_;
  uint32_t locale_id_ = 0;
  bool encrypted_ = false;
  mutable std::array<TIndexKeyFormat, kIndexSlotCount> formats_{};
  mutable std::array<bool, kIndexSlotCount> format_sound_{};
  mutable std::array<bool, kIndexSlotCount> format_built_{};
  std::array<TPageCache, kIndexSlotCount> caches_;
  std::array<uint64_t, kIndexSlotCount> generations_{};
  std::array<int64_t, kIndexSlotCount> entry_counts_{};  // -1: not known
  TPageStack spare_;
  size_t cache_limit_;
  bool trim_due_ = false;  // a page was added or written since the last trim
  // Some cached page may be modified; false means none is, so a flush need
  // not look through the caches (which grow with the tables a long-lived
  // process reads).
  bool pages_modified_ = false;
  // The pages of one run, encoded for writing: as many pages as the longest
  // run so far needs, left uninitialised (every page is encoded whole).
};

}  // namespace strata
