// TDataFile: a table's data file (".DAT"): the 127-byte header, the field
// descriptors, and the fixed-size record slots, with the record cache,
// read-ahead in runs, writes in runs, and the free chain of deleted slots.
//
// File layout (little-endian):
//   0                          127 bytes   header (data_header.h)
//   127                        768 x n     field descriptors in field order
//   127 + 768 x n              size x k    record slots 1, 2, 3, ...
// Slot N begins at 127 + 768 x n + (N - 1) x record size; the file is always
// that header area plus a whole number of slots.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "storage/data/data_header.h"
#include "storage/data/record_cache.h"
#include "storage/engine_settings.h"
#include "storage/file/file_handler.h"
#include "storage/record/field_descriptor.h"
#include "storage/record/record_context.h"

namespace strata {

// How a cache miss reads ahead.
enum class TReadAhead {
  kSingle,    // the record alone
  kForward,   // N .. N + k - 1
  kBackward,  // N - k + 1 .. N
};

// Disk traffic and cache use of one data file.
struct TDataFileStatistics {
  uint64_t Hits = 0;         // records found in the cache
  uint64_t Reads = 0;        // read operations for records (one per run)
  uint64_t RecordsRead = 0;  // slots that arrived with those reads
  uint64_t Writes = 0;       // write operations for records (one per run)
  uint64_t RecordsWritten = 0;
};

// Owns the in-memory header, the descriptor table and the record cache of
// one open data file; shared by all cursors of the table in this process.
// Invariants while open: the descriptors match the header's field count;
// every cached record has the header's record size; modified records stay
// cached until written or dropped.
class TDataFile : public TFileHandler {
 public:
  static constexpr uint32_t kMaxSlots = 200000000;
  static constexpr uint64_t kMaxFileEnd = 4000000000ull;
  static constexpr size_t kReadAheadBytes = 8192;

  explicit TDataFile(const TEngineSettings& settings);
  ~TDataFile() override;

  // Creates (replaces) the data file with a fresh header for the given, already
  // validated descriptors; header and descriptors reach the disk at the next
  // Flush. STRATA_FLDLIMIT (9492) for more than 1024 fields, STRATA_BLOBLIMIT
  // (9498) for more than 128 blob fields, STRATA_RECTOOBIG (9477) for a record
  // size above 65535 (nothing is created then).
  void Create(const std::string& path, uint16_t locale_id, uint16_t sort_id,
              std::span<const TFieldDescriptor> fields, uint32_t blob_block_size,
              const std::string& description, const std::string& password, bool encrypted,
              uint16_t user_value_a, uint16_t user_value_b, bool in_memory = false,
              bool exclusive = false);
  // Opens the file and reads header and descriptors. STRATA_HEADERCORRUPT
  // (8961) for a header that cannot be used at all (short, more than 1024
  // fields, record size below 9).
  void Open(const std::string& path, bool in_memory, bool exclusive, bool read_only);
  // First-open checks: STRATA_OLDVERSION (12035) version,
  // STRATA_CANNOTLOADLDDRV (15878) locale, STRATA_HEADERCORRUPT (8961)
  // everything else.
  void Verify();
  // Flushes (a table still in a transaction writes nothing, so end the
  // transaction first), drops the cache (pinned records stay valid,
  // detached) and closes the file.
  void Close();
  // Closes without writing anything: the changes held in the caches are
  // dropped (a file about to be deleted).
  void Abandon();

  // Writes the modified unpinned records (in runs of consecutive numbers),
  // then the header when modified or forced, then the descriptors when
  // modified; flushes the OS buffers when anything was written and the
  // settings or the caller force it. Then trims the cache. Returns whether
  // anything was written. In a transaction nothing is written (see
  // SetInTransaction).
  bool Flush(bool force_header, bool force_os_flush = false);
  // Whether a flush would have anything to write but a forced header: a
  // modified record (pinned ones too), header or descriptor area.
  bool HasUnwrittenChanges() const;
  // Re-reads the header; when its change counter differs, adopts it, drops
  // the cache and returns true.
  bool DetectChange();
  // Drops the whole cache (changes included) and re-reads the header.
  void DiscardChanges();
  // While set, Flush writes nothing: a forced header write only advances the
  // in-memory change counter and marks the header as needing a write.
  void SetInTransaction(bool in_transaction) { in_transaction_ = in_transaction; }
  bool InTransaction() const { return in_transaction_; }
  // Truncates to the header area and resets counter, free chain, next slot
  // and auto-increment value; the header needs writing.
  void Empty();

  // The cached record N (read from disk on a miss). N = next slot gives a blank
  // record for appending (STRATA_TABLEFULL beyond 200,000,000 slots or
  // 4,000,000,000 bytes); N = 0 or beyond gives STRATA_FILECORRUPT (8962). On a
  // miss the run read is 1 record for kSingle (unless the kSingle miss
  // before was of slot N - 1: then it reads as kForward), else `count`
  // records when given
  // (a filtered scan's need) or the read-ahead size, limited by the records
  // left in that direction and by the cache size.
  TRecord* ReadRecord(uint32_t number, TReadAhead mode = TReadAhead::kSingle, uint32_t count = 0);
  // A pinned record (being edited by a cursor) is neither evicted nor
  // written by Flush; unpin it before the flush that should write it.
  void PinRecord(TRecord* record) { cache_.Pin(record); }
  void UnpinRecord(TRecord* record) { cache_.Unpin(record); }
  // Marks a cached record as changed (written at the next flush).
  void MarkModified(TRecord* record) { cache_.MarkModified(record); }

  // A slot for a new record: the free chain head when there is one, else the
  // next slot (appended). The returned record is live, zero-filled except its
  // own number, and modified. STRATA_FILECORRUPT (8962) when the chain is
  // damaged.
  TRecord* AllocateSlot();
  // Puts slot N on the free chain: status 1, bytes 1..4 the old head, head N.
  // STRATA_FILECORRUPT (8962) for a slot that is already free.
  void FreeSlot(uint32_t number);
  // The next row number from the header's last auto-increment value (after
  // 2,147,483,647 comes 1); the header is marked modified.
  int32_t AllocateRowNumber();

  // For a sort that rewrites the slots (record_sort.h): the cached record N
  // without reading it (a miss gives a zero-filled one), to be written over
  // whole; N at most the next slot.
  TRecord* RecordForOverwrite(uint32_t number);
  // Keeps slots 1..count only: later records leave the cache (changes
  // included), the file is cut behind slot `count`, the free chain becomes
  // empty and the last row number handed out `count` (the slots are
  // numbered by their places). The header needs writing.
  void CutSlots(uint32_t count);

  // Repair (exclusive use; the caller flushes). Makes the slot count agree
  // with the file's length: a partial slot at the end is cut off and its
  // bytes (as stored) returned, the next slot becomes the whole slots + 1,
  // and a free chain head beyond them becomes 0. Nothing changes, and an
  // empty result comes back, when they agree already.
  std::vector<uint8_t> MendSlotCount();
  // Makes exactly `slots`, in this order, the free chain: each is marked
  // deleted and linked to the next, the head is the first (0 when empty).
  void SetFreeChain(std::span<const uint32_t> slots);

  // Whether the header and descriptor area on disk agree with what this
  // object holds: the same structure (descriptors, record layout, locale,
  // texts), and with the same change counter the same header in every
  // value (no other writer since, no table made anew in its place).
  // Nothing unwritten here. Run under a lock that keeps writers out.
  bool StoredHeaderAgrees();

  // Header values.
  const TDataHeader& Header() const { return header_; }
  const TEngineSettings& Settings() const { return settings_; }
  uint32_t ChangeCounter() const { return static_cast<uint32_t>(header_.ChangeCounter); }
  uint16_t RecordSize() const { return header_.RecordSize; }
  uint16_t FieldCount() const { return header_.FieldCount; }
  uint16_t BlobFieldCount() const { return header_.BlobFieldCount; }
  uint32_t SlotCount() const { return header_.NextSlot - 1; }
  uint32_t NextSlot() const { return header_.NextSlot; }
  uint32_t FreeChainHead() const { return header_.FreeChainHead; }
  int32_t LastAutoIncrement() const { return header_.LastAutoIncrement; }
  void SetLastAutoIncrement(int32_t value);
  uint32_t BlobBlockSize() const {
    return header_.BlobBlockSize == 0 ? 512 : header_.BlobBlockSize;
  }
  bool Encrypted() const { return header_.Encrypted; }
  // Whether `password` is the table's (exact comparison).
  bool PasswordMatches(const std::string& password) const;
  // The local date-time of the last header write (days since 30 December 1899).
  double LastUpdated() const { return UpdateTimeOfStored(header_.LastUpdate); }
  bool HeaderModified() const { return header_modified_; }
  void MarkHeaderModified() { header_modified_ = true; }

  // Descriptors: index 0 is field 1.
  const std::vector<TFieldDescriptor>& Fields() const { return fields_; }
  // The descriptor area as read (unscrambled).
  const std::vector<uint8_t>& DescriptorBytes() const { return descriptor_bytes_; }
  const TFieldDescriptor& Field(uint16_t field_number) const {
    return fields_.at(field_number - 1);
  }
  // Table name and locale for field access.
  TRecordContext Context() const;

  // Offset of the header area's end (127 + 768 x field count).
  uint64_t HeaderAreaSize() const;
  uint32_t ReadAheadRecords() const { return read_ahead_; }
  // min(RecordCacheBytes / record size, RecordCacheCount), at least 1.
  size_t CacheCapacity() const;
  size_t CachedCount() const { return cache_.Count(); }
  TRecordCache& Cache() { return cache_; }
  const TDataFileStatistics& Statistics() const { return statistics_; }
  // Set whenever a write reached the file; the table clears it.
  bool Written() const { return written_; }
  void ClearWritten() { written_ = false; }

 private:
  void LoadHeader();
  void LoadDescriptors();
  // The descriptor area of a file with `header`, read and unscrambled.
  std::vector<uint8_t> ReadDescriptorArea(const TDataHeader& header);
  void AdoptHeader(const TDataHeader& header);
  void WriteHeader();
  void WriteDescriptors();
  bool WriteModifiedRecords();
  void WriteRun(const std::vector<TRecord*>& run);
  TRecord* ReadRun(uint32_t number, TReadAhead mode, uint32_t count);
  TRecord* AppendRecord(uint32_t number);
  uint64_t SlotOffset(uint32_t number) const;
  void ResetState();
  [[noreturn]] void Fail(uint16_t code) const;

  TEngineSettings settings_;
  TDataHeader header_;
  std::vector<TFieldDescriptor> fields_;
  std::vector<uint8_t> descriptor_bytes_;  // the descriptor area as read, unscrambled
  TRecordCache cache_;
  std::vector<TRecord*> run_records_;  // the records of the run being read
  uint32_t read_ahead_ = 1;
  uint32_t last_single_miss_ = 0;  // the slot of the last kSingle miss
  bool header_modified_ = false;
  bool descriptors_modified_ = false;
  bool in_transaction_ = false;
  bool written_ = false;
  TDataFileStatistics statistics_;
};

}  // namespace strata
