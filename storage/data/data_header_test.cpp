#include "storage/data/data_header.h"

#include <gtest/gtest.h>

#include <vector>

#include "storage/scramble.h"
#include "storage/table/table_files.h"

namespace strata {
namespace {

TEST(DataHeaderBytes, EveryFieldAtItsOffset) {
  TDataHeader header;
  header.ChangeCounter = -2;
  header.BlobBlockSize = 1024;
  header.FreeChainHead = 0x01020304;
  header.NextSlot = 7;
  header.LastAutoIncrement = 0x7FFFFFFF;
  header.RecordSize = 765;
  header.FieldCount = 3;
  header.BlobFieldCount = 1;
  header.LastUpdate = 1.5;
  header.Description = "Ads";
  header.LocaleId = 1031;
  header.SortId = 1;
  header.UserValueA = 0xBEEF;
  header.UserValueB = 7;
  uint8_t raw[kDataHeaderSize];
  WriteDataHeader(header, true, raw);

  const std::vector<uint8_t> expected_start = {0xFE, 0xFF, 0xFF, 0xFF,  // change counter -2
                                               0x00, 0x04, 0x00, 0x00,  // blob block size 1024
                                               0x05,                    // version
                                               0x04, 0x03, 0x02, 0x01,  // free chain head
                                               0x07, 0x00, 0x00, 0x00,  // next slot
                                               0xFF, 0xFF, 0xFF, 0x7F,  // last auto-increment
                                               0xFD, 0x02,              // record size 765
                                               0x03, 0x00,              // field count
                                               0x01, 0x00,              // blob field count
                                               0,    0,    0,    0,
                                               0,    0,    0xF8, 0x3F,  // 1.5 as an IEEE double
                                               3,    'A',  'd',  's'};
  EXPECT_EQ(std::vector<uint8_t>(raw, raw + expected_start.size()), expected_start);
  for (size_t i = 39; i < 86; ++i) EXPECT_EQ(raw[i], 0) << i;   // rest of the description
  EXPECT_EQ(raw[86], 0);                                        // not encrypted
  for (size_t i = 87; i < 103; ++i) EXPECT_EQ(raw[i], 0) << i;  // no password
  EXPECT_EQ(raw[103], 0x07);                                    // 1031
  EXPECT_EQ(raw[104], 0x04);
  EXPECT_EQ(raw[105], 1);
  EXPECT_EQ(raw[107], 0xEF);
  EXPECT_EQ(raw[108], 0xBE);
  EXPECT_EQ(raw[109], 7);
  EXPECT_EQ(raw[111], 1);  // the modified mark
  const std::vector<uint8_t> expected_end = {0, 0, 0, 0, 0x0C, 0x7B, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(raw + 112, raw + 127), expected_end);  // 31500 at 116

  const TDataHeader back = ReadDataHeader(raw);
  EXPECT_EQ(back.ChangeCounter, -2);
  EXPECT_EQ(back.FreeChainHead, 0x01020304u);
  EXPECT_EQ(back.RecordSize, 765);
  EXPECT_EQ(back.LastUpdate, 1.5);
  EXPECT_EQ(back.Description, "Ads");
  EXPECT_EQ(back.LocaleId, 1031);
  EXPECT_EQ(back.UserValueA, 0xBEEF);
}

TEST(DataHeaderBytes, EncryptedTextsAreScrambledButNotTheirLengths) {
  TDataHeader header;
  header.Encrypted = true;
  header.Description = "Sec";
  header.Password = "pw";
  uint8_t raw[kDataHeaderSize];
  WriteDataHeader(header, false, raw);
  EXPECT_EQ(raw[86], 1);
  EXPECT_EQ(raw[111], 0);
  // Text seed 0x2E/0x97: the key bytes are 0x2E^0x97, 0x2F^0x96, 0x30^0x95.
  EXPECT_EQ(raw[35], 3);
  EXPECT_EQ(raw[36], 'S' ^ 0xB9);
  EXPECT_EQ(raw[37], 'e' ^ 0xB9);
  EXPECT_EQ(raw[38], 'c' ^ 0xA5);
  EXPECT_EQ(raw[87], 2);
  EXPECT_EQ(raw[88], 'p' ^ 0xB9);
  EXPECT_EQ(raw[89], 'w' ^ 0xB9);
  const TDataHeader back = ReadDataHeader(raw);
  EXPECT_EQ(back.Description, "Sec");
  EXPECT_EQ(back.Password, "pw");
}

TEST(DataHeaderBytes, LongTextsAreCut) {
  TDataHeader header;
  header.Encrypted = true;
  header.Description = std::string(60, 'd');
  header.Password = std::string(20, 'p');
  uint8_t raw[kDataHeaderSize];
  WriteDataHeader(header, false, raw);
  EXPECT_EQ(raw[35], 50);
  EXPECT_EQ(raw[87], 15);
  EXPECT_EQ(ReadDataHeader(raw).Password, std::string(15, 'p'));
}

TEST(Scrambling, IsItsOwnInverseForEveryLength) {
  for (size_t length : {1u, 255u, 256u, 65535u, 65536u, 131072u}) {
    std::vector<uint8_t> bytes(length);
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i * 7);
    std::vector<uint8_t> scrambled = bytes;
    Scramble(scrambled.data(), length, kRecordSeed);
    // Every area is scrambled, a multiple of 65536 bytes long included.
    EXPECT_NE(scrambled, bytes) << length;
    Scramble(scrambled.data(), length, kRecordSeed);
    EXPECT_EQ(scrambled, bytes) << length;
  }
}

TEST(Scrambling, StateRunsLowUpHighDown) {
  uint8_t bytes[3] = {0, 0, 0};
  Scramble(bytes, 3, {0xFF, 0x01});
  EXPECT_EQ(bytes[0], 0xFE);  // 0xFF ^ 0x01
  EXPECT_EQ(bytes[1], 0x00);  // low wrapped to 0x00, high down to 0x00
  EXPECT_EQ(bytes[2], 0xFE);  // 0x01 ^ 0xFF: high wrapped
}

TEST(TableFiles, NamesWithAndWithoutTheDatExtension) {
  const TTableFileNames plain = TableFileNames("/data", "Banner");
  EXPECT_EQ(plain.Data, "/data/Banner.DAT");
  EXPECT_EQ(plain.Index, "/data/Banner.IDX");
  EXPECT_EQ(plain.Blob, "/data/Banner.BLB");
  EXPECT_EQ(plain.DataBackup, "/data/Banner.DBK");
  EXPECT_EQ(plain.IndexBackup, "/data/Banner.IBK");
  EXPECT_EQ(plain.BlobBackup, "/data/Banner.BBK");
  EXPECT_EQ(TableFileNames("/data/", " Banner.dat ").Data, "/data/Banner.DAT");
  EXPECT_EQ(TableFileNames("/data/", "Banner.DaT").Blob, "/data/Banner.BLB");
  EXPECT_EQ(TableFileNames("/data/", "Banner.txt").Data, "/data/Banner.txt.DAT");
  EXPECT_EQ(TableFileNames("", "Links").Index, "Links.IDX");
  EXPECT_EQ(TableBaseName(".DAT"), "");
}

}  // namespace
}  // namespace strata
