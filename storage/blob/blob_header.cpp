#include "storage/blob/blob_header.h"

#include <cstring>

#include "storage/byte_order.h"

namespace strata {

// Blob file header, little-endian:
//
//  offset width  content
//       0     4  change counter
//       4     4  reserved, zero
//       8     1  format version (5)
//       9     4  free chain head: first free block, 0 when none
//      13     4  next block number = blocks in the file + 1
//      17     1  header-modified mark (ignored on reading)
//      18   494  reserved, zero

uint32_t ReadBlobChangeCounter(const uint8_t* bytes) { return GetU32(bytes + 0); }

TBlobHeader ReadBlobHeader(const uint8_t* bytes) {
  TBlobHeader header;
  header.ChangeCounter = ReadBlobChangeCounter(bytes);
  header.Version = bytes[8];
  header.FreeChainHead = GetU32(bytes + 9);
  header.NextBlock = GetU32(bytes + 13);
  header.ModifiedMark = bytes[17];
  return header;
}

void WriteBlobHeader(const TBlobHeader& header, uint8_t* bytes) {
  std::memset(bytes, 0, kBlobHeaderSize);
  PutU32(bytes + 0, header.ChangeCounter);
  bytes[8] = header.Version;
  PutU32(bytes + 9, header.FreeChainHead);
  PutU32(bytes + 13, header.NextBlock);
  bytes[17] = header.ModifiedMark;
}

}  // namespace strata
