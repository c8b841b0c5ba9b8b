// Byte layouts of the blob file header and of a block header.
#include <gtest/gtest.h>

#include <vector>

#include "storage/blob/blob_block.h"
#include "storage/blob/blob_header.h"

namespace strata {
namespace {

TEST(BlobFormatTest, HeaderFieldsSitAtTheirOffsets) {
  TBlobHeader header;
  header.ChangeCounter = 0x04030201;
  header.FreeChainHead = 0x0D0C0B0A;
  header.NextBlock = 0x44332211;
  header.ModifiedMark = 1;
  std::vector<uint8_t> bytes(kBlobHeaderSize, 0xEE);
  WriteBlobHeader(header, bytes.data());
  std::vector<uint8_t> expected(kBlobHeaderSize, 0);
  std::vector<uint8_t> start = {0x01, 0x02, 0x03, 0x04, 0,    0,    0,    0,    5,
                                0x0A, 0x0B, 0x0C, 0x0D, 0x11, 0x22, 0x33, 0x44, 1};
  std::copy(start.begin(), start.end(), expected.begin());
  EXPECT_EQ(bytes, expected);

  TBlobHeader back = ReadBlobHeader(bytes.data());
  EXPECT_EQ(back.ChangeCounter, header.ChangeCounter);
  EXPECT_EQ(back.Version, 5);
  EXPECT_EQ(back.FreeChainHead, header.FreeChainHead);
  EXPECT_EQ(back.NextBlock, header.NextBlock);
  EXPECT_EQ(back.ModifiedMark, 1);
}

TEST(BlobFormatTest, BlockHeaderFieldsSitAtTheirOffsets) {
  TBlockHeader header{0x04030201, 0x08070605, 0x0A09, 0x0E0D0C0B, 0x1211100F};
  std::vector<uint8_t> bytes(kBlockHeaderSize + 2, 0xEE);
  EncodeBlockHeader(header, bytes.data());
  std::vector<uint8_t> expected = {1,  2,  3,  4,  5,  6,  7,  8,  9,    10,
                                   11, 12, 13, 14, 15, 16, 17, 18, 0xEE, 0xEE};
  EXPECT_EQ(bytes, expected);
  TBlockHeader back = DecodeBlockHeader(bytes.data());
  EXPECT_EQ(back.Prev, header.Prev);
  EXPECT_EQ(back.Next, header.Next);
  EXPECT_EQ(back.Used, header.Used);
  EXPECT_EQ(back.RowNumber, header.RowNumber);
  EXPECT_EQ(back.TotalLength, header.TotalLength);
}

}  // namespace
}  // namespace strata
