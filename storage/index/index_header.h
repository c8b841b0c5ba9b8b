// TIndexHeader: the 4096-byte header at the start of an index file: change
// counter, page count and the 33 index descriptors.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "storage/index/index_descriptor.h"

namespace strata {

constexpr size_t kIndexHeaderSize = 4096;
constexpr uint8_t kIndexFileVersion = 5;

// The in-memory copy of the header. Invariant of a sound file: NextPage - 1
// pages follow the header, SecondaryCount slots 1..SecondaryCount are in use.
//
//  offset  width     content
//       0      4     change counter, incremented whenever the header is written
//       4      4     reserved, zero
//       8      1     format version (5)
//       9      4     next page number = pages in the file + 1
//      13      1     number of secondary indexes (at most 30)
//      14  33x120    index descriptors 0..32
//    3974      4     zero
//    3978      1     1 when the primary index has no key fields (row-number order)
//    3979      1     header-modified mark (written, ignored on reading)
//    3980    116     reserved, zero
struct TIndexHeader {
  uint32_t ChangeCounter = 0;
  uint8_t Version = kIndexFileVersion;
  uint32_t NextPage = 1;
  uint8_t SecondaryCount = 0;
  std::array<TIndexDescriptor, kIndexSlotCount> Indexes{};
  bool NoPrimaryFields = false;
  bool ModifiedMark = false;

  // A new file's header: version 5, next page 1, "Sys Deleted" (key size 5)
  // and "Sys Text" in slots 31 and 32, the primary without key fields.
  static TIndexHeader Fresh();

  void Encode(uint8_t* out) const;  // kIndexHeaderSize bytes
  // Parts of Encode, for rewriting an encoded header in place: the values
  // outside the descriptors, and the descriptor of slot `index`.
  void EncodeFixed(uint8_t* out) const;
  void EncodeSlot(int index, uint8_t* out) const;
  // Where the values outside the descriptors and the descriptor of slot
  // `index` end, and where the two flags lie.
  static constexpr size_t kFixedEnd = 14;
  static constexpr size_t SlotEnd(int index) {
    return kFixedEnd + static_cast<size_t>(index + 1) * kIndexDescriptorSize;
  }
  static constexpr size_t kFlagsBegin = 3978;
  static constexpr size_t kFlagsEnd = 3980;
  static TIndexHeader Decode(const uint8_t* in);
  // The change counter alone, from the header's first kChangeCounterBytes
  // bytes: enough to tell whether the rest needs reading.
  static constexpr size_t kChangeCounterBytes = 4;
  static uint32_t DecodeChangeCounter(const uint8_t* in);
};

}  // namespace strata
