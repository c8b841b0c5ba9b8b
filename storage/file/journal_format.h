// The byte format of a table's rollback journal (".JNL"), written and read
// only here. Integers are little-endian.
//
// Header (48 bytes, at offset 0):
// clang-format off
//   | Offset | Width | Meaning                                                  |
//   |--------|-------|----------------------------------------------------------|
//   | 0      | 8     | magic "StrataJ1"; anything else (zeros once a change is  |
//   |        |       | complete, or a file shorter than the header): no change  |
//   | 8      | 4     | salt: new for every change, repeated in each entry       |
//   | 12     | 4     | reserved, zero                                           |
//   | 16     | 8     | length of the data file (".DAT") before the change       |
//   | 24     | 8     | length of the index file (".IDX") before the change      |
//   | 32     | 8     | length of the blob file (".BLB"), all ones when none     |
//   | 40     | 4     | reserved, zero                                           |
//   | 44     | 4     | CRC-32 of bytes 0..43                                    |
//
// Entries follow the header back to back, each a pre-image of one range:
//   | Offset | Width | Meaning                                                  |
//   |--------|-------|----------------------------------------------------------|
//   | 0      | 1     | file: 0 data, 1 index, 2 blob                            |
//   | 1      | 3     | reserved, zero                                           |
//   | 4      | 4     | L: bytes of the pre-image                                |
//   | 8      | 8     | offset of the range in its file                          |
//   | 16     | 4     | salt (as in the header)                                  |
//   | 20     | 4     | CRC-32 of bytes 0..19 and of the L bytes that follow     |
//   | 24     | L     | the range's bytes before the change                      |
// clang-format on
//
// The entries that count are those from the header on up to the first one
// that is cut short, carries another salt or fails its CRC: an entry is
// complete on disk before the range it saves is overwritten, so a range
// whose entry is incomplete was never touched.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace strata {

inline constexpr size_t kJournalHeaderSize = 48;
inline constexpr size_t kJournalMagicSize = 8;  // zeroed, it ends a change
inline constexpr size_t kJournalEntryHeaderSize = 24;
inline constexpr int kJournalFileCount = 3;  // data, index, blob
// The original length of a file that the table does not have.
inline constexpr uint64_t kJournalNoFile = ~uint64_t{0};

struct TJournalHeader {
  uint32_t Salt = 0;
  std::array<uint64_t, kJournalFileCount> OriginalLength{kJournalNoFile, kJournalNoFile,
                                                         kJournalNoFile};
};

struct TJournalEntry {
  uint8_t File = 0;
  uint32_t Length = 0;
  uint64_t Offset = 0;
  uint32_t Salt = 0;
  uint32_t Checksum = 0;  // as read; WriteJournalEntryHeader computes it
};

void WriteJournalHeader(const TJournalHeader& header, uint8_t* out);
// nullopt when the bytes hold no valid header (no change recorded).
std::optional<TJournalHeader> ReadJournalHeader(std::span<const uint8_t> bytes);

// The entry header for `entry` over `data` (entry.Length bytes), CRC included.
void WriteJournalEntryHeader(const TJournalEntry& entry, std::span<const uint8_t> data,
                             uint8_t* out);
// The fields of an entry header (not yet checked against its data).
TJournalEntry ReadJournalEntryHeader(const uint8_t* bytes);
// Whether `data` is the complete pre-image that `entry` was written with.
bool JournalEntryMatches(const TJournalEntry& entry, std::span<const uint8_t> data);

}  // namespace strata
