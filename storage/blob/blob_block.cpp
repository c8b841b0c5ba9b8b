#include "storage/blob/blob_block.h"

#include "storage/byte_order.h"

namespace strata {

// Block header, little-endian; the data area follows at offset 18:
//
//  offset width  content
//       0     4  previous block of the same value, 0 for the first block
//       4     4  next block of the same value, 0 for the last; in a free
//                block the next free block, 0 at the end of the free chain
//       8     2  data bytes used in this block
//      10     4  row number of the owning record
//      14     4  total length of the value (first block only; else 0)

TBlockHeader DecodeBlockHeader(const uint8_t* bytes) {
  TBlockHeader header;
  header.Prev = GetU32(bytes + 0);
  header.Next = GetU32(bytes + 4);
  header.Used = GetU16(bytes + 8);
  header.RowNumber = GetU32(bytes + 10);
  header.TotalLength = GetU32(bytes + 14);
  return header;
}

void EncodeBlockHeader(const TBlockHeader& header, uint8_t* bytes) {
  PutU32(bytes + 0, header.Prev);
  PutU32(bytes + 4, header.Next);
  PutU16(bytes + 8, header.Used);
  PutU32(bytes + 10, header.RowNumber);
  PutU32(bytes + 14, header.TotalLength);
}

}  // namespace strata
