// The 512-byte header at the start of a blob file (".BLB"): its in-memory
// form and the one place where it is read from and written to bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace strata {

constexpr size_t kBlobHeaderSize = 512;
constexpr uint8_t kBlobFileVersion = 5;

// The header fields that carry meaning; the rest of the 512 bytes is zero.
struct TBlobHeader {
  uint32_t ChangeCounter = 0;  // advanced by every header write
  uint8_t Version = kBlobFileVersion;
  uint32_t FreeChainHead = 0;  // first free block, 0 when none
  uint32_t NextBlock = 1;      // number of blocks in the file + 1
  uint8_t ModifiedMark = 0;    // written as 1 after a change; ignored on reading
};

// Decodes kBlobHeaderSize plain (unscrambled) bytes.
TBlobHeader ReadBlobHeader(const uint8_t* bytes);
// The change counter alone, from the first kBlobChangeCounterBytes plain
// bytes: enough to tell whether the rest needs reading.
constexpr size_t kBlobChangeCounterBytes = 4;
uint32_t ReadBlobChangeCounter(const uint8_t* bytes);
// Encodes into kBlobHeaderSize bytes, zeroing the reserved ones.
void WriteBlobHeader(const TBlobHeader& header, uint8_t* bytes);

}  // namespace strata
