// The B+-tree algorithms of one index: search, insert with splits, delete
// with merge and redistribution, movement along the leaves, counting.
// They work on pages through TPageStore, so they run on an index file or on
// any other store of pages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "storage/index/index_key.h"
#include "storage/index/index_page.h"
#include "storage/index/index_position.h"

namespace strata {

// What the tree needs of the file that holds its pages. Pages handed out
// stay valid until the current tree operation returns (a store evicts
// nothing while an operation runs).
class TPageStore {
 public:
  virtual ~TPageStore() = default;
  // The page; raises STRATA_INDEXCORRUPT (8965) for page 0 or a page beyond the
  // file.
  virtual TPage& FetchPage(int index, uint32_t number) = 0;
  // A cleared page for the index (from its free chain, else appended),
  // marked modified; raises STRATA_TABLEFULL (9479) beyond the file's limits.
  virtual TPage& AllocatePage(int index) = 0;
  // Puts the page on the index's free chain.
  virtual void FreePage(int index, TPage& page) = 0;
  virtual uint32_t RootPage(int index) const = 0;
  virtual void SetRootPage(int index, uint32_t page) = 0;
  // Counts changes of the index's pages: positions taken under another
  // generation are re-found before use.
  virtual uint64_t Generation(int index) const = 0;
  virtual void AdvanceGeneration(int index) = 0;
  // The page's contents changed and must be written at the next flush.
  virtual void MarkModified(TPage& page) = 0;
};

enum class TSeekMode {
  kNotBelow,  // lowest entry whose key is not below the sought key
  kAbove,     // lowest entry whose key is above the sought key
};

// The tree of one index. A light object made per operation; holds no pages.
//
// Invariants of a tree between operations (CheckIndexTree in index_check.h
// tests each of them and names every breach):
//  (1) The root is a pkRootLeaf page with at least 1 entry, or a pkRoot page
//      with at least 2; it has no previous or next page. Pages below the
//      root are pkInner or pkLeaf. An empty index has no root (page 0).
//  (2) Every leaf lies at the same depth, at most kMaxIndexDepth (64) levels.
//  (3) Below the root, a page holds between half its maximum (rounded down)
//      and its maximum entries; only inside Insert may a page hold one more,
//      until the split that follows.
//  (4) Keys (with the record number, when the index keeps them) ascend
//      strictly within every page and along the leaves from left to right.
//  (5) Each inner entry equals the highest entry of its child, so a search
//      descends to the first child whose entry is not below the sought key.
//  (6) The previous / next links join every level from end to end, in key
//      order.
//  (7) Every page number lies below the file's next page and belongs to one
//      tree or one free chain only; free pages hold no entries and their
//      chain has no cycle.
// A breach found while walking the tree means a damaged file (or a bug):
// Corrupt() raises STRATA_INDEXCORRUPT (8965).
class TIndexTree {
 public:
  TIndexTree(TPageStore& store, int index, const TIndexKeyFormat& format, bool record_numbers,
             std::string_view index_name, std::string_view table);

  // Inserts an entry; raises STRATA_KEYVIOL (9729) naming the index when an
  // equal key is there already.
  void Insert(const uint8_t* key, uint32_t record_number);
  // Removes the entry with this key and record number; false when absent.
  bool Delete(const uint8_t* key, uint32_t record_number);
  // Whether an entry with a key equal to `key` within `limit` exists; its
  // record number in *record_number.
  bool Contains(const uint8_t* key, TKeyLimit limit, uint32_t* record_number = nullptr);

  // Positioning. Each returns whether `pos` is on an entry afterwards.
  bool First(TIndexPosition& pos);
  bool Last(TIndexPosition& pos);
  // Next and Prior step from the position (from psBeforeFirst Next gives
  // the first entry, from psAfterLast Prior the last); at an end they
  // return false and leave the position on the end entry.
  bool Next(TIndexPosition& pos);
  bool Prior(TIndexPosition& pos);
  // Positions by TSeekMode; false (psAfterLast) when no entry qualifies.
  bool Seek(const uint8_t* key, TKeyLimit limit, TSeekMode mode, TIndexPosition& pos);
  // Positions on the entry with exactly this key and record number.
  bool Locate(const uint8_t* key, uint32_t record_number, TIndexPosition& pos);
  // Brings a position taken under an older generation up to date: true when
  // its entry is still there; otherwise it now stands on the entry that
  // follows the old one (or psAfterLast) and false is returned.
  bool Refresh(TIndexPosition& pos);

  // Entries in the index (a walk along the leaves: one page per leaf).
  uint32_t CountEntries();
  // The 1-based ordinal of the entry at `pos` (walk along the leaves from
  // the nearer end when `total` is given, else from the left).
  uint32_t Ordinal(TIndexPosition& pos, uint32_t total = 0);
  // Positions on the entry with this 1-based ordinal; false when beyond.
  bool SeekOrdinal(uint32_t ordinal, TIndexPosition& pos, uint32_t total = 0);

  int MaxEntries() const { return max_entries_; }

 private:
  struct Path {
    int depth = 0;
    TPage* pages[kMaxIndexDepth];
    int slots[kMaxIndexDepth];
  };

  // Descends to the leaf for `key`, recording the path; false when empty.
  bool Descend(const uint8_t* key, TKeyLimit limit, TSeekMode mode, Path& path);
  bool DescendEdge(bool rightmost, Path& path);
  TPage* Child(const TPage& page, int slot);
  void PushPath(Path& path, TPage* page, int slot);
  int SearchPage(const TPage& page, const uint8_t* key, TKeyLimit limit, TSeekMode mode) const;
  void SavePosition(const Path& path, TPositionState state, TIndexPosition& pos);
  // After the last entry, under the current generation.
  void SetAfterLast(TIndexPosition& pos);
  void LoadPath(const TIndexPosition& pos, Path& path);
  bool Settle(Path& path, TIndexPosition& pos);
  bool StepRight(Path& path);
  // The common step of Next (+1) and Prior (-1) of an up-to-date position:
  // to the neighbouring entry of the same leaf, fetching only the leaf.
  // False (the position unchanged) when that entry is in another leaf.
  bool StepWithinLeaf(TIndexPosition& pos, int step);
  bool StepLeft(Path& path);

  void UpdateSeparators(Path& path, int level);
  void SplitUpward(Path& path, int level);
  void RemoveAt(Path& path, int level, int slot);
  void Unlink(TPage& page);
  void Modified(TPage& page) { store_.MarkModified(page); }
  [[noreturn]] void Corrupt() const;

  TPageStore& store_;
  int index_;
  const TIndexKeyFormat& format_;
  bool record_numbers_;
  std::string_view index_name_;
  std::string_view table_;
  int max_entries_;
};

}  // namespace strata
