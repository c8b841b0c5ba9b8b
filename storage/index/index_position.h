// TIndexPosition: a place in one index: the path of pages from the root to
// a leaf, the slot in that leaf, and a copy of the entry found there.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "storage/index/index_descriptor.h"

namespace strata {

constexpr int kMaxIndexDepth = 64;

enum TPositionState : uint8_t {
  psBeforeFirst,  // before the first entry (also: not positioned)
  psOnEntry,      // on the entry at Slots[Depth - 1] of leaf Pages[Depth - 1]
  psAfterLast,    // after the last entry
};

// Owned by its user (a cursor); the index file reads and updates it. The
// path is valid while Generation equals the index's generation; otherwise
// the index file re-finds the entry by the copied key and record number.
struct TIndexPosition {
  TIndexPosition() = default;
  // Copies only the path entries and key bytes in use (a cursor copies its
  // position on every step, and the arrays are mostly unused).
  TIndexPosition(const TIndexPosition& other) { *this = other; }
  TIndexPosition& operator=(const TIndexPosition& other) {
    Index = other.Index;
    State = other.State;
    Depth = other.Depth;
    Generation = other.Generation;
    RecordNumber = other.RecordNumber;
    KeySize = other.KeySize;
    const size_t depth = std::clamp(other.Depth, 0, kMaxIndexDepth);
    std::copy_n(other.Pages.begin(), depth, Pages.begin());
    std::copy_n(other.Slots.begin(), depth, Slots.begin());
    std::copy_n(other.Key.begin(), std::min<size_t>(other.KeySize, kMaxKeySize), Key.begin());
    return *this;
  }

  int Index = -1;
  TPositionState State = psBeforeFirst;
  int Depth = 0;
  std::array<uint32_t, kMaxIndexDepth> Pages{};
  std::array<uint16_t, kMaxIndexDepth> Slots{};
  uint64_t Generation = 0;
  uint32_t RecordNumber = 0;  // of the entry at the position
  uint16_t KeySize = 0;
  std::array<uint8_t, kMaxKeySize> Key{};  // of the entry at the position

  bool OnEntry() const { return State == psOnEntry; }
  uint32_t LeafPage() const { return Depth > 0 ? Pages[Depth - 1] : 0; }
  int LeafSlot() const { return Depth > 0 ? Slots[Depth - 1] : 0; }
  const uint8_t* KeyData() const { return Key.data(); }

  void Reset(int index) {
    Index = index;
    State = psBeforeFirst;
    Depth = 0;
    RecordNumber = 0;
  }
};

}  // namespace strata
