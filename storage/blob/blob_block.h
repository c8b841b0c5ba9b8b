// A block of a blob file: its 18-byte header (one encode/decode pair) and
// TBlock, the cached copy of one block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace strata {

constexpr size_t kBlockHeaderSize = 18;
constexpr uint32_t kDefaultBlobBlockSize = 512;  // block size 0 in the data file means this
constexpr uint32_t kMinBlobBlockSize = 64;
// The used-byte count is 16 bits wide, so the data area holds at most 65535.
constexpr uint32_t kMaxBlobBlockSize = 65535 + kBlockHeaderSize;

struct TBlockHeader {
  uint32_t Prev = 0;         // previous block of the value, 0 for the first
  uint32_t Next = 0;         // next block of the value (or of the free chain), 0 at the end
  uint16_t Used = 0;         // data bytes used in this block
  uint32_t RowNumber = 0;    // row number of the owning record
  uint32_t TotalLength = 0;  // value length in bytes; first block only, else 0
};

// Decodes / encodes the first kBlockHeaderSize bytes of a plain block.
TBlockHeader DecodeBlockHeader(const uint8_t* bytes);
void EncodeBlockHeader(const TBlockHeader& header, uint8_t* bytes);

// One cached block: the plain (unscrambled) image of block `Number` as it is
// or will be on disk. A pinned block (Pins > 0) is in use by an operation and
// is never evicted; a modified block is never evicted before it is written.
// MruPrev/MruNext link it into its cache's most-recently-used chain.
struct TBlock {
  explicit TBlock(size_t block_size) : Bytes(block_size) {}

  uint32_t Number = 0;
  bool Modified = false;
  int Pins = 0;
  std::vector<uint8_t> Bytes;
  TBlock* MruPrev = nullptr;
  TBlock* MruNext = nullptr;

  TBlockHeader Header() const { return DecodeBlockHeader(Bytes.data()); }
  void SetHeader(const TBlockHeader& header) { EncodeBlockHeader(header, Bytes.data()); }
  uint8_t* Data() { return Bytes.data() + kBlockHeaderSize; }
  const uint8_t* Data() const { return Bytes.data() + kBlockHeaderSize; }
  size_t DataSize() const { return Bytes.size() - kBlockHeaderSize; }
};

}  // namespace strata
