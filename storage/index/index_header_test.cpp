#include "storage/index/index_header.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace strata {
namespace {

TEST(IndexHeaderTest, FreshHeaderBytes) {
  TIndexHeader header = TIndexHeader::Fresh();
  header.ChangeCounter = 0x01020304;
  std::vector<uint8_t> bytes(kIndexHeaderSize, 0xEE);
  header.Encode(bytes.data());
  EXPECT_EQ(bytes[0], 0x04);  // change counter, little-endian
  EXPECT_EQ(bytes[3], 0x01);
  EXPECT_EQ(bytes[4], 0);
  EXPECT_EQ(bytes[8], 5);  // version
  EXPECT_EQ(bytes[9], 1);  // next page 1
  EXPECT_EQ(bytes[10] | bytes[11] | bytes[12], 0);
  EXPECT_EQ(bytes[13], 0);  // no secondary indexes
  // Slot 31 at 14 + 31 * 120 = 3734: "Sys Deleted", key size 5 at +31.
  EXPECT_EQ(bytes[3734], 11);
  EXPECT_EQ(std::memcmp(&bytes[3735], "Sys Deleted", 11), 0);
  EXPECT_EQ(bytes[3765], 5);
  EXPECT_EQ(bytes[3766], 0);
  // Slot 32 at 3854: "Sys Text".
  EXPECT_EQ(bytes[3854], 8);
  EXPECT_EQ(std::memcmp(&bytes[3855], "Sys Text", 8), 0);
  // Slot 0 empty; row-order mark set; everything else zero.
  for (int i = 14; i < 134; ++i) EXPECT_EQ(bytes[i], 0) << i;
  EXPECT_EQ(bytes[3978], 1);
  EXPECT_EQ(bytes[3979], 0);
  for (int i = 3974; i < 3978; ++i) EXPECT_EQ(bytes[i], 0);
  for (size_t i = 3980; i < kIndexHeaderSize; ++i) EXPECT_EQ(bytes[i], 0) << i;
}

// Unused slots are skipped on encoding and decoding; a slot that differs from
// the unused one in a single field must still be written and read back.
TEST(IndexHeaderTest, SlotsWithOneFieldSetRoundTrip) {
  TIndexHeader header = TIndexHeader::Fresh();
  header.Indexes[0].RootPage = 7;
  header.Indexes[1].TemporaryFile = true;
  header.Indexes[2].FieldNumbers[15] = 3;
  header.Indexes[3].FieldDescending[0] = true;
  header.Indexes[4].Name = "X";
  header.Indexes[5].ExtraPage = 0x01000000;
  std::vector<uint8_t> bytes(kIndexHeaderSize, 0xEE);
  header.Encode(bytes.data());
  const TIndexHeader decoded = TIndexHeader::Decode(bytes.data());
  EXPECT_EQ(decoded.Indexes, header.Indexes);
  EXPECT_EQ(bytes[14 + 6 * kIndexDescriptorSize], 0);  // slot 6 unused: zeros, not 0xEE
  // An all-zero slot read over a used one leaves the decoded slot unused.
  std::memset(&bytes[14], 0, kIndexDescriptorSize);
  EXPECT_EQ(TIndexHeader::Decode(bytes.data()).Indexes[0], TIndexDescriptor{});
}

TEST(IndexHeaderTest, DescriptorBytesAtTheirOffsets) {
  TIndexDescriptor d;
  d.Name = "ByName";
  d.KeySize = 0x0203;
  d.Descending = true;
  d.CaseInsensitive = true;
  d.Unique = true;
  d.CompressionMode = 2;
  d.FieldCount = 2;
  d.FieldDescending[0] = true;
  d.FieldDescending[15] = true;
  d.FieldNumbers[0] = 0x0102;
  d.FieldNumbers[15] = 7;
  d.RootPage = 0x11223344;
  d.FreeHead = 0x55667788;
  d.ExtraPage = 9;
  d.NoRecordNumbers = true;
  d.TemporaryFile = true;
  uint8_t b[kIndexDescriptorSize];
  d.Encode(b);
  EXPECT_EQ(b[0], 6);
  EXPECT_EQ(std::memcmp(b + 1, "ByName", 6), 0);
  EXPECT_EQ(b[31], 0x03);
  EXPECT_EQ(b[32], 0x02);
  EXPECT_EQ(b[33], 1);
  EXPECT_EQ(b[34], 1);
  EXPECT_EQ(b[35], 1);
  EXPECT_EQ(b[36], 2);
  EXPECT_EQ(b[37], 2);
  EXPECT_EQ(b[38], 1);
  EXPECT_EQ(b[39], 0);
  EXPECT_EQ(b[53], 1);
  EXPECT_EQ(b[54], 0x02);
  EXPECT_EQ(b[55], 0x01);
  EXPECT_EQ(b[84], 7);
  EXPECT_EQ(b[86], 0x44);
  EXPECT_EQ(b[89], 0x11);
  EXPECT_EQ(b[90], 0x88);
  EXPECT_EQ(b[93], 0x55);
  EXPECT_EQ(b[94], 0);
  EXPECT_EQ(b[96], 9);
  EXPECT_EQ(b[100], 1);
  EXPECT_EQ(b[101], 1);
  for (size_t i = 102; i < kIndexDescriptorSize; ++i) EXPECT_EQ(b[i], 0);

  TIndexDescriptor back = TIndexDescriptor::Decode(b);
  EXPECT_EQ(back.Name, "ByName");
  EXPECT_EQ(back.KeySize, 0x0203);
  EXPECT_TRUE(back.Descending && back.CaseInsensitive && back.Unique);
  EXPECT_EQ(back.CompressionMode, 2);
  EXPECT_EQ(back.FieldNumbers, d.FieldNumbers);
  EXPECT_EQ(back.FieldDescending, d.FieldDescending);
  EXPECT_EQ(back.RootPage, d.RootPage);
  EXPECT_EQ(back.FreeHead, d.FreeHead);
  EXPECT_EQ(back.ExtraPage, 9u);
  EXPECT_TRUE(back.NoRecordNumbers && back.TemporaryFile);
}

TEST(IndexHeaderTest, RoundTripKeepsEverythingButTheModifiedMark) {
  TIndexHeader h = TIndexHeader::Fresh();
  h.ChangeCounter = 77;
  h.NextPage = 123456;
  h.SecondaryCount = 2;
  h.Indexes[1].Name = "A";
  h.Indexes[2].Name = "B";
  h.Indexes[2].RootPage = 99;
  h.NoPrimaryFields = false;
  h.ModifiedMark = true;
  std::vector<uint8_t> bytes(kIndexHeaderSize);
  h.Encode(bytes.data());
  EXPECT_EQ(bytes[3979], 1);
  TIndexHeader back = TIndexHeader::Decode(bytes.data());
  EXPECT_EQ(back.ChangeCounter, 77u);
  EXPECT_EQ(back.NextPage, 123456u);
  EXPECT_EQ(back.SecondaryCount, 2);
  EXPECT_EQ(back.Indexes[2].Name, "B");
  EXPECT_EQ(back.Indexes[2].RootPage, 99u);
  EXPECT_EQ(back.Indexes[kSysDeletedIndex].Name, kSysDeletedName);
  EXPECT_FALSE(back.NoPrimaryFields);
  EXPECT_FALSE(back.ModifiedMark);
}

}  // namespace
}  // namespace strata
