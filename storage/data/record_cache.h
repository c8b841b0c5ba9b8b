// The record cache of an open data file: cached TRecord objects kept in a
// list sorted by record number (binary search) and in a most-recently-used
// chain, and the pool of spare TRecord objects.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace strata {

class TDataFile;

// One cached record slot. The buffer holds the record unscrambled.
// A pinned record (PinCount > 0, a cursor is using it) is never evicted and
// stays valid even when the cache is dropped (it is then detached: no longer
// found, freed when its last pin goes). An unpinned record may be evicted by
// any later read or flush of its data file, so callers that keep a pointer
// pin it. A modified record (changes not yet written) is never evicted
// either; the flag changes through the cache (MarkModified, MarkWritten).
class TRecord {
 public:
  TDataFile* Owner = nullptr;
  uint32_t PinCount = 0;
  uint32_t RecordNumber = 0;
  std::vector<uint8_t> Buffer;     // record size bytes
  std::vector<uint8_t> KeyBuffer;  // for key building; sized by its user

  uint8_t* Data() { return Buffer.data(); }
  const uint8_t* Data() const { return Buffer.data(); }
  bool Cached() const { return cached_; }
  bool Modified() const { return modified_; }

 private:
  friend class TRecordCache;
  friend class TRecordStack;
  TRecord* mru_prev_ = nullptr;  // towards the most recently used end
  TRecord* mru_next_ = nullptr;  // towards the least recently used end
  bool cached_ = false;
  bool modified_ = false;
  bool parked_ = false;  // in the held tail of the MRU chain (see TRecordCache)
};

// Spare TRecord objects for reuse; at most Limit() are kept (kMaxKept
// unless raised).
class TRecordStack {
 public:
  static constexpr size_t kMaxKept = 64;

  // A spare record (or a new one) with a zero-filled buffer of record_size
  // bytes and every other member reset.
  std::unique_ptr<TRecord> Pop(size_t record_size);
  // Keeps the record for reuse, or frees it when Limit() are kept.
  void Push(std::unique_ptr<TRecord> record);
  size_t Size() const { return spare_.size(); }
  size_t Limit() const { return limit_; }
  // Keeps up to max(kMaxKept, limit) spares from now on.
  void RaiseLimit(size_t limit) { limit_ = std::max(limit_, limit); }

 private:
  std::vector<std::unique_ptr<TRecord>> spare_;
  size_t limit_ = kMaxKept;
};

// Owns the cached records. Invariants: `sorted_` is in strictly increasing
// record-number order and holds exactly the records of the MRU chain;
// detached records are pinned and in neither.
//
// Trimming walks the MRU chain from its least recently used end. Records it
// must pass over (pinned or modified) would be walked again by every later
// trim: inside a transaction every changed record stays cached, which made
// each trim cost the whole cache. So the records passed over at the tail are
// "parked": the chain's tail from `parked_head_` on holds only records that
// were unevictable when last looked at, and trims start in front of it. When
// a parked record becomes evictable (written, or its last pin gone) the
// parked tail is cut behind it; a parked record that is used again moves to
// the front. The LRU order itself is never changed by parking.
class TRecordCache {
 public:
  TRecordCache() = default;
  ~TRecordCache();
  TRecordCache(const TRecordCache&) = delete;
  TRecordCache& operator=(const TRecordCache&) = delete;

  // The cached record, or nullptr: the most recently used one and the
  // sorted list's entries after the last one found are looked at first,
  // then the sorted list is searched. A found record becomes the most
  // recently used.
  TRecord* Find(uint32_t number);
  // Looks without touching the MRU order.
  TRecord* Peek(uint32_t number) const;
  // Adds a new record (zero-filled) as the most recently used. The number
  // must not be cached. Adding above every cached number is cheapest.
  TRecord* Insert(TDataFile* owner, uint32_t number, size_t record_size);
  // Makes a cached record the most recently used.
  void Touch(TRecord* record);

  // Evicts unpinned records without pending changes from the least recently
  // used end until at most `capacity` remain (or none can go). `keep` is
  // never evicted.
  void Trim(size_t capacity, const TRecord* keep = nullptr);
  // Drops every record, modified ones included; pinned ones are detached.
  void Clear();
  // The same for the records numbered above `number`.
  void DropAbove(uint32_t number);

  void Pin(TRecord* record);
  // A detached record whose last pin goes is released.
  void Unpin(TRecord* record);
  // Marks a record as holding changes not yet written: it is not evicted.
  void MarkModified(TRecord* record) { record->modified_ = true; }
  // Marks a record's changes as written: it may be evicted again.
  void MarkWritten(TRecord* record);

  size_t Count() const { return sorted_.size(); }
  size_t DetachedCount() const { return detached_.size(); }
  // The cached records in record-number order.
  const std::vector<std::unique_ptr<TRecord>>& Sorted() const { return sorted_; }
  // The record numbers from most to least recently used (for diagnostics).
  std::vector<uint32_t> MruOrder() const;
  TRecordStack& Stack() { return stack_; }

 private:
  // Position of the first record numbered >= number.
  std::vector<std::unique_ptr<TRecord>>::const_iterator LowerBound(uint32_t number) const;
  void Unlink(TRecord* record);
  void LinkFront(TRecord* record);
  // Ends the parked tail behind a parked record that may have become
  // evictable.
  void Unpark(TRecord* record);

  std::vector<std::unique_ptr<TRecord>> sorted_;
  std::vector<std::unique_ptr<TRecord>> detached_;
  TRecord* mru_head_ = nullptr;
  TRecord* mru_tail_ = nullptr;
  TRecord* parked_head_ = nullptr;  // most recent parked record, or nullptr
  mutable size_t hint_ = 0;         // in `sorted_`: after the last record found
  TRecordStack stack_;
};

}  // namespace strata
