#include "storage/index/index_tree.h"

#include <cassert>
#include <cstring>

#include "storage/engine_error.h"

namespace strata {
namespace {

// More pages than a file of at most 4,000,000,000 bytes can hold: a walk
// along a level that gets this far has met a cycle.
constexpr uint32_t kMaxWalk = 4000000000u / kIndexPageSize;

}  // namespace

TIndexTree::TIndexTree(TPageStore& store, int index, const TIndexKeyFormat& format,
                       bool record_numbers, std::string_view index_name, std::string_view table)
    : store_(store),
      index_(index),
      format_(format),
      record_numbers_(record_numbers),
      index_name_(index_name),
      table_(table),
      max_entries_(TPage::MaxEntriesFor(format.KeySize(), record_numbers)) {}

void TIndexTree::Corrupt() const { RaiseTableError(STRATA_INDEXCORRUPT, table_); }

TPage* TIndexTree::Child(const TPage& page, int slot) {
  uint32_t child = page.Child(slot);
  if (child == 0 || child == page.Number) Corrupt();
  TPage* result = &store_.FetchPage(index_, child);
  if (result->Kind > pkRootLeaf || result->Count == 0) Corrupt();
  return result;
}

void TIndexTree::PushPath(Path& path, TPage* page, int slot) {
  if (path.depth >= kMaxIndexDepth) Corrupt();
  path.pages[path.depth] = page;
  path.slots[path.depth] = slot;
  ++path.depth;
}

int TIndexTree::SearchPage(const TPage& page, const uint8_t* key, TKeyLimit limit,
                           TSeekMode mode) const {
  int lo = 0;
  int hi = page.Count;
  if (format_.ComparesBytes()) {
    // Byte order (the common case): the comparison inlined, its length
    // worked out once per page instead of once per probe.
    const size_t length = format_.CompareLength(limit);
    const bool descending = format_.Descending();
    while (lo < hi) {
      int mid = (lo + hi) / 2;
      int c = std::memcmp(page.Key(mid), key, length);
      if (descending) c = -c;
      if (mode == TSeekMode::kNotBelow ? c < 0 : c <= 0) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    return lo;
  }
  while (lo < hi) {
    int mid = (lo + hi) / 2;
    int c = format_.Compare(page.Key(mid), key, limit);
    if (mode == TSeekMode::kNotBelow ? c < 0 : c <= 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

bool TIndexTree::Descend(const uint8_t* key, TKeyLimit limit, TSeekMode mode, Path& path) {
  path.depth = 0;
  uint32_t root = store_.RootPage(index_);
  if (root == 0) return false;
  TPage* page = &store_.FetchPage(index_, root);
  if (page->Kind > pkRootLeaf) Corrupt();
  for (;;) {
    int slot = SearchPage(*page, key, limit, mode);
    if (page->IsLeaf()) {
      PushPath(path, page, slot);
      return page->Count > 0;
    }
    if (page->Count == 0) Corrupt();
    // Above every key of the page: the last child holds the place.
    if (slot == page->Count) slot = page->Count - 1;
    PushPath(path, page, slot);
    page = Child(*page, slot);
  }
}

bool TIndexTree::DescendEdge(bool rightmost, Path& path) {
  path.depth = 0;
  uint32_t root = store_.RootPage(index_);
  if (root == 0) return false;
  TPage* page = &store_.FetchPage(index_, root);
  if (page->Kind > pkRootLeaf) Corrupt();
  for (;;) {
    if (page->Count == 0) {
      if (page->IsLeaf() && path.depth == 0) return false;
      Corrupt();
    }
    int slot = rightmost ? page->Count - 1 : 0;
    PushPath(path, page, slot);
    if (page->IsLeaf()) return true;
    page = Child(*page, slot);
  }
}

void TIndexTree::SetAfterLast(TIndexPosition& pos) {
  pos.Reset(index_);
  pos.State = psAfterLast;
  pos.Generation = store_.Generation(index_);
}

void TIndexTree::SavePosition(const Path& path, TPositionState state, TIndexPosition& pos) {
  assert(path.depth > 0 && path.depth <= kMaxIndexDepth);
  pos.Index = index_;
  pos.State = state;
  pos.Depth = path.depth;
  for (int i = 0; i < path.depth; ++i) {
    pos.Pages[i] = path.pages[i]->Number;
    pos.Slots[i] = static_cast<uint16_t>(path.slots[i]);
  }
  pos.Generation = store_.Generation(index_);
  pos.KeySize = format_.KeySize();
  if (state == psOnEntry) {
    const TPage& leaf = *path.pages[path.depth - 1];
    int slot = path.slots[path.depth - 1];
    std::memcpy(pos.Key.data(), leaf.Key(slot), format_.KeySize());
    pos.RecordNumber = leaf.RecordNumber(slot);
  } else {
    pos.RecordNumber = 0;
  }
}

void TIndexTree::LoadPath(const TIndexPosition& pos, Path& path) {
  path.depth = 0;
  for (int i = 0; i < pos.Depth; ++i) {
    TPage* page = &store_.FetchPage(index_, pos.Pages[i]);
    if (pos.Slots[i] >= page->Count) Corrupt();
    PushPath(path, page, pos.Slots[i]);
  }
  if (path.depth == 0 || !path.pages[path.depth - 1]->IsLeaf()) Corrupt();
}

// After a descent the leaf slot may lie just past the leaf's last entry;
// moves on to the next leaf then. Saves the result in `pos`.
bool TIndexTree::Settle(Path& path, TIndexPosition& pos) {
  assert(path.depth > 0);  // callers settle only after a descent found a leaf
  const TPage& leaf = *path.pages[path.depth - 1];
  if (path.slots[path.depth - 1] >= leaf.Count && !StepRight(path)) {
    SavePosition(path, psAfterLast, pos);
    return false;
  }
  SavePosition(path, psOnEntry, pos);
  return true;
}

bool TIndexTree::StepRight(Path& path) {
  int leaf = path.depth - 1;
  int level = leaf - 1;
  while (level >= 0 && path.slots[level] + 1 >= path.pages[level]->Count) --level;
  if (level < 0) return false;
  ++path.slots[level];
  for (int l = level + 1; l <= leaf; ++l) {
    path.pages[l] = Child(*path.pages[l - 1], path.slots[l - 1]);
    path.slots[l] = 0;
  }
  if (!path.pages[leaf]->IsLeaf()) Corrupt();
  return true;
}

bool TIndexTree::StepLeft(Path& path) {
  int leaf = path.depth - 1;
  int level = leaf - 1;
  while (level >= 0 && path.slots[level] == 0) --level;
  if (level < 0) return false;
  --path.slots[level];
  for (int l = level + 1; l <= leaf; ++l) {
    path.pages[l] = Child(*path.pages[l - 1], path.slots[l - 1]);
    path.slots[l] = path.pages[l]->Count - 1;
  }
  if (!path.pages[leaf]->IsLeaf()) Corrupt();
  return true;
}

bool TIndexTree::First(TIndexPosition& pos) {
  Path path;
  if (!DescendEdge(false, path)) {
    SetAfterLast(pos);
    return false;
  }
  SavePosition(path, psOnEntry, pos);
  return true;
}

bool TIndexTree::Last(TIndexPosition& pos) {
  Path path;
  if (!DescendEdge(true, path)) {
    SetAfterLast(pos);
    return false;
  }
  SavePosition(path, psOnEntry, pos);
  return true;
}

bool TIndexTree::Refresh(TIndexPosition& pos) {
  pos.Index = index_;
  if (pos.State != psOnEntry) {
    pos.Generation = store_.Generation(index_);
    return true;
  }
  uint32_t record = pos.RecordNumber;
  uint8_t key[kMaxKeySize];
  std::memcpy(key, pos.Key.data(), format_.KeySize());
  Path path;
  if (!Descend(key, TKeyLimit::Whole(), TSeekMode::kNotBelow, path)) {
    SetAfterLast(pos);
    return false;
  }
  if (!Settle(path, pos)) return false;
  return pos.RecordNumber == record && format_.Compare(pos.Key.data(), key) == 0;
}

bool TIndexTree::StepWithinLeaf(TIndexPosition& pos, int step) {
  assert(step == 1 || step == -1);
  if (pos.Depth <= 0 || pos.Depth > kMaxIndexDepth) return false;  // LoadPath reports it
  const int leaf = pos.Depth - 1;
  const TPage& page = store_.FetchPage(index_, pos.Pages[leaf]);
  if (!page.IsLeaf() || pos.Slots[leaf] >= page.Count) Corrupt();
  const int slot = pos.Slots[leaf] + step;
  if (slot < 0 || slot >= page.Count) return false;
  pos.Slots[leaf] = static_cast<uint16_t>(slot);
  std::memcpy(pos.Key.data(), page.Key(slot), format_.KeySize());
  pos.RecordNumber = page.RecordNumber(slot);
  return true;
}

bool TIndexTree::Next(TIndexPosition& pos) {
  if (pos.Index != index_) pos.Reset(index_);
  if (pos.State == psBeforeFirst) return First(pos);
  if (pos.State == psAfterLast) return false;
  if (pos.Generation != store_.Generation(index_) && !Refresh(pos)) {
    // The old entry is gone; the one that followed it is the next.
    return pos.State == psOnEntry;
  }
  if (StepWithinLeaf(pos, +1)) return true;
  Path path;
  LoadPath(pos, path);
  int leaf = path.depth - 1;
  if (path.slots[leaf] + 1 < path.pages[leaf]->Count) {
    ++path.slots[leaf];
  } else if (!StepRight(path)) {
    return false;
  }
  SavePosition(path, psOnEntry, pos);
  return true;
}

bool TIndexTree::Prior(TIndexPosition& pos) {
  if (pos.Index != index_) pos.Reset(index_);
  if (pos.State == psBeforeFirst) return false;
  if (pos.State == psAfterLast) return Last(pos);
  if (pos.Generation != store_.Generation(index_) && !Refresh(pos)) {
    // The old entry is gone: step back from the entry that followed it.
    if (pos.State == psAfterLast) return Last(pos);
  }
  if (StepWithinLeaf(pos, -1)) return true;
  Path path;
  LoadPath(pos, path);
  int leaf = path.depth - 1;
  if (path.slots[leaf] > 0) {
    --path.slots[leaf];
  } else if (!StepLeft(path)) {
    return false;
  }
  SavePosition(path, psOnEntry, pos);
  return true;
}

bool TIndexTree::Seek(const uint8_t* key, TKeyLimit limit, TSeekMode mode, TIndexPosition& pos) {
  Path path;
  if (!Descend(key, limit, mode, path)) {
    SetAfterLast(pos);
    return false;
  }
  return Settle(path, pos);
}

bool TIndexTree::Locate(const uint8_t* key, uint32_t record_number, TIndexPosition& pos) {
  if (!Seek(key, TKeyLimit::Whole(), TSeekMode::kNotBelow, pos)) return false;
  // Keys are unique in an index; equal keys only meet in a damaged file.
  for (int guard = 0; guard < 1024; ++guard) {
    if (format_.Compare(pos.Key.data(), key) != 0) return false;
    if (pos.RecordNumber == record_number) return true;
    if (!Next(pos)) return false;
  }
  return false;
}

bool TIndexTree::Contains(const uint8_t* key, TKeyLimit limit, uint32_t* record_number) {
  TIndexPosition pos;
  if (!Seek(key, limit, TSeekMode::kNotBelow, pos)) return false;
  if (format_.Compare(pos.Key.data(), key, limit) != 0) return false;
  if (record_number) *record_number = pos.RecordNumber;
  return true;
}

// ---- Insert ----------------------------------------------------------------

void TIndexTree::Insert(const uint8_t* key, uint32_t record_number) {
  store_.AdvanceGeneration(index_);
  uint32_t root = store_.RootPage(index_);
  if (root == 0) {
    TPage& page = store_.AllocatePage(index_);
    page.Kind = pkRootLeaf;
    page.InsertEntry(0, key, record_number, 0);
    Modified(page);
    store_.SetRootPage(index_, page.Number);
    return;
  }
  Path path;
  if (!Descend(key, TKeyLimit::Whole(), TSeekMode::kNotBelow, path)) Corrupt();
  int level = path.depth - 1;
  TPage& leaf = *path.pages[level];
  int slot = path.slots[level];
  if (slot < leaf.Count && format_.Compare(leaf.Key(slot), key) == 0) {
    RaiseIndexError(STRATA_KEYVIOL, index_name_, table_);
  }
  leaf.InsertEntry(slot, key, record_number, 0);
  Modified(leaf);
  if (slot == leaf.Count - 1) UpdateSeparators(path, level);
  SplitUpward(path, level);
}

// Makes each parent entry on the path above `level` carry its child's
// highest entry again, as far up as the highest entries change.
void TIndexTree::UpdateSeparators(Path& path, int level) {
  uint16_t key_size = format_.KeySize();
  for (int l = level; l > 0; --l) {
    TPage& child = *path.pages[l];
    TPage& parent = *path.pages[l - 1];
    int slot = path.slots[l - 1];
    int last = child.Count - 1;
    if (std::memcmp(parent.Key(slot), child.Key(last), key_size) == 0 &&
        parent.RecordNumber(slot) == child.RecordNumber(last)) {
      return;
    }
    parent.SetKey(slot, child.Key(last), child.RecordNumber(last));
    Modified(parent);
    if (slot != parent.Count - 1) return;
  }
}

void TIndexTree::SplitUpward(Path& path, int level) {
  for (; level >= 0; --level) {
    TPage& page = *path.pages[level];
    if (page.Count <= max_entries_) return;
    bool was_root = page.IsRoot();
    uint8_t kind = (page.Kind == pkRoot || page.Kind == pkInner) ? pkInner : pkLeaf;
    TPage& right = store_.AllocatePage(index_);
    int keep = page.Count - page.Count / 2;
    page.MoveTailTo(keep, right);
    page.Kind = right.Kind = kind;
    right.Prev = page.Number;
    right.Next = page.Next;
    if (page.Next != 0) {
      TPage& after = store_.FetchPage(index_, page.Next);
      after.Prev = right.Number;
      Modified(after);
    }
    page.Next = right.Number;
    Modified(page);
    Modified(right);
    int page_last = page.Count - 1;
    int right_last = right.Count - 1;
    if (was_root) {
      TPage& root = store_.AllocatePage(index_);
      root.Kind = pkRoot;
      root.InsertEntry(0, page.Key(page_last), page.RecordNumber(page_last), page.Number);
      root.InsertEntry(1, right.Key(right_last), right.RecordNumber(right_last), right.Number);
      Modified(root);
      store_.SetRootPage(index_, root.Number);
      return;
    }
    TPage& parent = *path.pages[level - 1];
    int slot = path.slots[level - 1];
    parent.SetKey(slot, page.Key(page_last), page.RecordNumber(page_last));
    parent.InsertEntry(slot + 1, right.Key(right_last), right.RecordNumber(right_last),
                       right.Number);
    Modified(parent);
  }
}

// ---- Delete ----------------------------------------------------------------

bool TIndexTree::Delete(const uint8_t* key, uint32_t record_number) {
  Path path;
  if (!Descend(key, TKeyLimit::Whole(), TSeekMode::kNotBelow, path)) return false;
  int level = path.depth - 1;
  TPage& leaf = *path.pages[level];
  int slot = path.slots[level];
  while (slot < leaf.Count && format_.Compare(leaf.Key(slot), key) == 0 &&
         leaf.RecordNumber(slot) != record_number) {
    ++slot;  // equal keys only meet in a damaged file
  }
  if (slot >= leaf.Count || format_.Compare(leaf.Key(slot), key) != 0) return false;
  store_.AdvanceGeneration(index_);
  path.slots[level] = slot;
  RemoveAt(path, level, slot);
  return true;
}

void TIndexTree::Unlink(TPage& page) {
  if (page.Prev != 0) {
    TPage& before = store_.FetchPage(index_, page.Prev);
    before.Next = page.Next;
    Modified(before);
  }
  if (page.Next != 0) {
    TPage& after = store_.FetchPage(index_, page.Next);
    after.Prev = page.Prev;
    Modified(after);
  }
}

void TIndexTree::RemoveAt(Path& path, int level, int slot) {
  TPage& page = *path.pages[level];
  bool was_last = slot == page.Count - 1;
  page.RemoveEntry(slot);
  Modified(page);

  if (level == 0) {
    if (page.Kind == pkRootLeaf && page.Count == 0) {
      store_.SetRootPage(index_, 0);
      store_.FreePage(index_, page);
    } else if (page.Kind == pkRoot && page.Count == 1) {
      // A root with one child gives way to that child.
      TPage* child = Child(page, 0);
      child->Kind = child->IsLeaf() ? pkRootLeaf : pkRoot;
      child->Prev = child->Next = 0;
      Modified(*child);
      store_.SetRootPage(index_, child->Number);
      store_.FreePage(index_, page);
    } else if (page.Count == 0) {
      Corrupt();
    }
    return;
  }

  if (page.Count > 0 && was_last) UpdateSeparators(path, level);
  if (page.Count >= max_entries_ / 2) return;

  TPage& parent = *path.pages[level - 1];
  int parent_slot = path.slots[level - 1];
  if (parent.Count < 2) Corrupt();
  // The left neighbour under the same parent, the right one for a first child.
  bool sibling_left = parent_slot > 0;
  TPage& sibling = *Child(parent, sibling_left ? parent_slot - 1 : parent_slot + 1);
  if (sibling.Kind != page.Kind) Corrupt();
  TPage& left = sibling_left ? sibling : page;
  TPage& right = sibling_left ? page : sibling;
  int left_slot = sibling_left ? parent_slot - 1 : parent_slot;

  if (page.Count + sibling.Count < max_entries_) {
    // Merge: every entry goes to the sibling; the page leaves its level.
    if (sibling_left) {
      page.MoveTailTo(0, sibling);
    } else {
      page.MoveTailToFront(0, sibling);
    }
    Modified(sibling);
    Unlink(page);
    if (sibling_left) {
      int last = sibling.Count - 1;
      parent.SetKey(left_slot, sibling.Key(last), sibling.RecordNumber(last));
      Modified(parent);
    }
    store_.FreePage(index_, page);
    RemoveAt(path, level - 1, parent_slot);
    return;
  }

  // Redistribute: the two pages end with counts that differ by at most one.
  int total = left.Count + right.Count;
  int left_target = total / 2;
  if (left.Count > left_target) {
    left.MoveTailToFront(left_target, right);
  } else if (left.Count < left_target) {
    right.MoveHeadTo(left_target - left.Count, left);
  }
  Modified(left);
  Modified(right);
  int left_last = left.Count - 1;
  int right_last = right.Count - 1;
  parent.SetKey(left_slot, left.Key(left_last), left.RecordNumber(left_last));
  parent.SetKey(left_slot + 1, right.Key(right_last), right.RecordNumber(right_last));
  Modified(parent);
}

// ---- Counting --------------------------------------------------------------

uint32_t TIndexTree::CountEntries() {
  Path path;
  if (!DescendEdge(false, path)) return 0;
  const TPage* leaf = path.pages[path.depth - 1];
  uint64_t total = 0;
  for (uint32_t walked = 0;; ++walked) {
    if (walked > kMaxWalk || !leaf->IsLeaf()) Corrupt();
    total += leaf->Count;
    if (leaf->Next == 0) break;
    leaf = &store_.FetchPage(index_, leaf->Next);
  }
  return static_cast<uint32_t>(total);
}

uint32_t TIndexTree::Ordinal(TIndexPosition& pos, uint32_t total) {
  if (pos.Index != index_ || pos.State != psOnEntry) return 0;
  if (pos.Generation != store_.Generation(index_) && !Refresh(pos) && !pos.OnEntry()) return 0;
  Path path;
  LoadPath(pos, path);
  const TPage* leaf = path.pages[path.depth - 1];
  int slot = path.slots[path.depth - 1];
  // Where the path lies between the ends decides the direction of the walk.
  double fraction = 0;
  double scale = 1;
  for (int i = 0; i < path.depth; ++i) {
    scale /= path.pages[i]->Count;
    fraction += path.slots[i] * scale;
  }
  uint64_t counted = 0;
  if (total > 0 && fraction > 0.5) {
    counted = leaf->Count - slot - 1;
    for (uint32_t walked = 0; leaf->Next != 0; ++walked) {
      if (walked > kMaxWalk) Corrupt();
      leaf = &store_.FetchPage(index_, leaf->Next);
      counted += leaf->Count;
    }
    return counted >= total ? 0 : static_cast<uint32_t>(total - counted);
  }
  counted = static_cast<uint64_t>(slot) + 1;
  for (uint32_t walked = 0; leaf->Prev != 0; ++walked) {
    if (walked > kMaxWalk) Corrupt();
    leaf = &store_.FetchPage(index_, leaf->Prev);
    counted += leaf->Count;
  }
  return static_cast<uint32_t>(counted);
}

bool TIndexTree::SeekOrdinal(uint32_t ordinal, TIndexPosition& pos, uint32_t total) {
  if (ordinal == 0 || (total > 0 && ordinal > total)) {
    pos.Reset(index_);
    pos.State = ordinal == 0 ? psBeforeFirst : psAfterLast;
    pos.Generation = store_.Generation(index_);
    return false;
  }
  Path path;
  bool from_right = total > 0 && ordinal > total / 2;
  if (!DescendEdge(from_right, path)) {
    SetAfterLast(pos);
    return false;
  }
  const TPage* leaf = path.pages[path.depth - 1];
  int slot = 0;
  if (from_right) {
    uint32_t after = total - ordinal;  // entries behind the one sought
    for (uint32_t walked = 0; after >= leaf->Count; ++walked) {
      if (walked > kMaxWalk || leaf->Prev == 0) Corrupt();
      after -= leaf->Count;
      leaf = &store_.FetchPage(index_, leaf->Prev);
    }
    slot = leaf->Count - 1 - static_cast<int>(after);
  } else {
    uint32_t before = ordinal - 1;
    for (uint32_t walked = 0; before >= leaf->Count; ++walked) {
      if (walked > kMaxWalk) Corrupt();
      if (leaf->Next == 0) {
        SetAfterLast(pos);
        return false;
      }
      before -= leaf->Count;
      leaf = &store_.FetchPage(index_, leaf->Next);
    }
    slot = static_cast<int>(before);
  }
  uint8_t key[kMaxKeySize];
  std::memcpy(key, leaf->Key(slot), format_.KeySize());
  uint32_t record = leaf->RecordNumber(slot);
  if (!Locate(key, record, pos)) Corrupt();
  return true;
}

}  // namespace strata
