// Where the engine's byte-range locks lie in the three table files. Every
// region is beyond 4,000,000,000, the largest offset data may reach, so locks
// never cover data. The write region of the index and blob files covers every
// read slot: a writer excludes all readers, readers never exclude each other.
//
//  file   region                        first byte          length
//  .DAT   table mutex                   0xFFFFFFFF          1
//  .DAT   record lock of record N>=1    0xFFFFFFFE - N      1
//  .IDX   read slot s (1..65535)        0xFFFFFFFF - s      1
//  .IDX   write region                  0xFFFEFFFF          0x10000
//  .BLB   read slot s                   0xFFFFFFFF - s      1
//  .BLB   write region                  0xFFFEFFFF          0x10000
#pragma once

#include <cstdint>

namespace strata {

inline constexpr uint64_t kTableMutexOffset = 0xFFFFFFFFull;
inline constexpr uint64_t kTableMutexLength = 1;

inline constexpr uint64_t RecordLockOffset(uint32_t record) { return 0xFFFFFFFEull - record; }
inline constexpr uint64_t kRecordLockLength = 1;

inline constexpr uint16_t kFirstReadSlot = 1;
inline constexpr uint16_t kLastReadSlot = 65535;
inline constexpr uint64_t ReadSlotOffset(uint16_t slot) { return 0xFFFFFFFFull - slot; }
inline constexpr uint64_t kReadSlotLength = 1;

inline constexpr uint64_t kWriteRegionOffset = 0xFFFEFFFFull;
inline constexpr uint64_t kWriteRegionLength = 0x10000;

static_assert(kWriteRegionOffset <= ReadSlotOffset(kLastReadSlot));
static_assert(kWriteRegionOffset + kWriteRegionLength > ReadSlotOffset(kFirstReadSlot));

}  // namespace strata
