#include "storage/index/index_header.h"

#include <cstring>

#include "storage/byte_order.h"

namespace strata {

TIndexHeader TIndexHeader::Fresh() {
  TIndexHeader h;
  h.Indexes[kSysDeletedIndex].Name = kSysDeletedName;
  h.Indexes[kSysDeletedIndex].KeySize = kSysDeletedKeySize;
  h.Indexes[kSysTextIndex].Name = kSysTextName;
  h.NoPrimaryFields = true;
  return h;
}

// Layout: see the table beside TIndexHeader.
void TIndexHeader::Encode(uint8_t* out) const {
  std::memset(out, 0, kIndexHeaderSize);
  EncodeFixed(out);
  // Most slots are unused; their stored form is the zeros written above.
  static const TIndexDescriptor kUnused;
  for (int i = 0; i < kIndexSlotCount; ++i) {
    if (!(Indexes[i] == kUnused)) Indexes[i].Encode(out + 14 + i * kIndexDescriptorSize);
  }
}

void TIndexHeader::EncodeFixed(uint8_t* out) const {
  PutU32(out + 0, ChangeCounter);
  out[8] = Version;
  PutU32(out + 9, NextPage);
  out[13] = SecondaryCount;
  out[3978] = NoPrimaryFields ? 1 : 0;
  out[3979] = ModifiedMark ? 1 : 0;
}

void TIndexHeader::EncodeSlot(int index, uint8_t* out) const {
  uint8_t* slot = out + 14 + index * kIndexDescriptorSize;
  std::memset(slot, 0, kIndexDescriptorSize);
  static const TIndexDescriptor kUnused;
  if (!(Indexes[index] == kUnused)) Indexes[index].Encode(slot);
}

uint32_t TIndexHeader::DecodeChangeCounter(const uint8_t* in) { return GetU32(in + 0); }

TIndexHeader TIndexHeader::Decode(const uint8_t* in) {
  TIndexHeader h;
  h.ChangeCounter = DecodeChangeCounter(in);
  h.Version = in[8];
  h.NextPage = GetU32(in + 9);
  h.SecondaryCount = in[13];
  // An all-zero slot decodes to the unused descriptor the header starts with.
  static const uint8_t kZeros[kIndexDescriptorSize] = {};
  for (int i = 0; i < kIndexSlotCount; ++i) {
    const uint8_t* slot = in + 14 + i * kIndexDescriptorSize;
    if (std::memcmp(slot, kZeros, kIndexDescriptorSize) != 0) {
      h.Indexes[i] = TIndexDescriptor::Decode(slot);
    }
  }
  h.NoPrimaryFields = in[3978] != 0;
  h.ModifiedMark = false;  // ignored on reading
  return h;
}

}  // namespace strata
