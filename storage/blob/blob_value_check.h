// The check of one blob value's chain against everything a reader of the
// value relies on, shared by the table check and the table repair.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace strata {

class TBlobFile;

// What the walk along one value's chain found.
struct TBlobValueCheck {
  std::vector<uint32_t> Blocks;  // the chain as far as it could be followed
  std::string Fault;             // empty when the value is sound
  uint64_t TotalLength = 0;      // as the first block states it
  uint64_t UsedBytes = 0;        // the used-byte counts of Blocks added up
  bool Sound() const { return Fault.empty(); }
};

// Follows the chain from `first_block` (not 0) for the record with
// `row_number` and checks: every block number within the file and met once
// (no loop); each block owned by `row_number`; each "previous" link naming
// the block before; continuation blocks with total length 0; used-byte
// counts within the data area, every block but the last one full; and the
// used bytes adding up to the first block's total length (a reader stops at
// the total length and would cut the value short without a word). The walk
// stops at the first fault, which names the block. Never throws for a fault
// of the file: a block that cannot be read becomes the fault.
// With `bytes`, the data of the blocks walked is appended to it (what a
// repair can still save of a damaged value).
TBlobValueCheck CheckBlobValue(TBlobFile& blobs, uint32_t first_block, int32_t row_number,
                               std::vector<uint8_t>* bytes = nullptr);

}  // namespace strata
