// TPage: one 4096-byte page of an index tree held in memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "storage/byte_order.h"
#include "storage/index/index_descriptor.h"

namespace strata {

constexpr size_t kIndexPageSize = 4096;
constexpr size_t kPageHeaderSize = 13;
constexpr size_t kPageEntryBytes = kIndexPageSize - kPageHeaderSize;  // 4083
constexpr size_t kMaxEntrySize = kMaxKeySize + 8;

enum TPageKind : uint8_t {
  pkRoot = 0,      // root with children
  pkInner = 1,     // inner page below the root
  pkLeaf = 2,      // leaf below the root
  pkRootLeaf = 3,  // root that is also a leaf
  pkText = 4,      // raw page of the text index
};

// One page: the page header fields and the entries in their stored form, so
// a page is searched in place. Entry i = key, record number (4 bytes, absent
// when the index keeps none), child page (4 bytes, 0 in leaves). Entries are
// kept in key order; a page may hold one entry above its maximum between an
// insert and the split that follows it.
//
//  offset width  content
//       0     1  page kind (TPageKind)
//       1     2  number of entries (0 in a free page)
//       3     4  previous page on the same level, 0 at the left end
//       7     4  next page on the same level, 0 at the right end; in a free
//                page the next free page
//      11     2  bytes of entry data used
//      13  4083  entries
class TPage {
 public:
  uint32_t Number = 0;
  uint8_t Kind = pkRootLeaf;
  uint16_t Count = 0;
  uint32_t Prev = 0;
  uint32_t Next = 0;
  uint16_t Used = 0;
  bool Modified = false;

  // Entry layout of the owning index; set whenever the page is taken on.
  void SetLayout(uint16_t key_size, bool record_numbers);
  uint16_t KeySize() const { return key_size_; }
  uint16_t EntrySize() const { return stride_; }
  int MaxEntries() const { return MaxEntriesFor(key_size_, record_numbers_); }
  static int MaxEntriesFor(uint16_t key_size, bool record_numbers) {
    return static_cast<int>(kPageEntryBytes / (key_size + (record_numbers ? 8u : 4u)));
  }

  bool IsLeaf() const { return Kind == pkLeaf || Kind == pkRootLeaf; }
  bool IsRoot() const { return Kind == pkRoot || Kind == pkRootLeaf; }

  const uint8_t* Key(int i) const { return entries_ + i * stride_; }
  const uint8_t* LastKey() const { return Key(Count - 1); }
  uint32_t RecordNumber(int i) const {
    return record_numbers_ ? GetU32(entries_ + i * stride_ + key_size_) : 0;
  }
  uint32_t Child(int i) const { return GetU32(entries_ + (i + 1) * stride_ - 4); }
  void SetChild(int i, uint32_t child) { PutU32(entries_ + (i + 1) * stride_ - 4, child); }
  // Overwrites entry i's key and record number (an inner entry taking its
  // child's highest entry).
  void SetKey(int i, const uint8_t* key, uint32_t record_number);

  void InsertEntry(int i, const uint8_t* key, uint32_t record_number, uint32_t child);
  void RemoveEntry(int i);
  // Moves entries [first, Count) to the end of `to`.
  void MoveTailTo(int first, TPage& to);
  // Moves entries [first, Count) to the front of `to` (whose keys are all
  // higher).
  void MoveTailToFront(int first, TPage& to);
  // Moves the first n entries to the end of `to` (whose keys are all lower).
  void MoveHeadTo(int n, TPage& to);

  // Empties the page: kind leaf-root, no entries, no links.
  void Clear();
  void Encode(uint8_t* out) const;  // kIndexPageSize bytes; Count <= MaxEntries()
  // Keeps Number and the layout; false when the entry count cannot fit the
  // page (a corrupt page).
  bool Decode(const uint8_t* in);

  // Most-recently-used chain of the page cache that holds the page.
  TPage* MruPrev = nullptr;
  TPage* MruNext = nullptr;

 private:
  void UpdateUsed() { Used = static_cast<uint16_t>(Count * stride_); }

  uint16_t key_size_ = 0;
  uint16_t stride_ = 8;
  bool record_numbers_ = true;
  uint8_t entries_[kPageEntryBytes + kMaxEntrySize] = {};
};

}  // namespace strata
