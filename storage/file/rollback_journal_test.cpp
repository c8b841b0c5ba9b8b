#include "storage/file/rollback_journal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file.h"
#include "storage/file/file_handler.h"
#include "storage/file/journal_format.h"
#include "storage/test_temp_dir.h"

namespace strata {
namespace {

using testing::TTempDir;

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

class RollbackJournalTest : public ::testing::Test {
 protected:
  RollbackJournalTest() : journal(dir.File("T.JNL"), "T") {
    for (int i = 0; i < 2; ++i) {
      const std::string path = dir.File(i == 0 ? "T.DAT" : "T.IDX");
      files[i].CreateFile(path, false);
      files[i].WriteAt(0, "0123456789", 10);
    }
    EXPECT_TRUE(journal.Open());
    journal.Attach(&files[0], &files[1], nullptr);
  }

  std::string Contents(int i) {
    std::string text(files[i].Size(), '\0');
    files[i].ReadAt(0, text.data(), text.size());
    return text;
  }

  TTempDir dir;
  TFileHandler files[2];
  TRollbackJournal journal;
};

TEST_F(RollbackJournalTest, RollbackRestoresOverwrittenRangesAndOriginalLengths) {
  files[0].WriteAt(2, "ab", 2);
  files[0].WriteAt(1, "xyz", 3);     // overlaps the saved range
  files[0].WriteAt(8, "LONGER", 6);  // grows the file
  files[1].Truncate(4);
  EXPECT_TRUE(journal.Live());
  EXPECT_TRUE(journal.HoldsChange());
  EXPECT_TRUE(journal.Rollback());
  EXPECT_EQ(Contents(0), "0123456789");
  EXPECT_EQ(Contents(1), "0123456789");
  EXPECT_FALSE(journal.HoldsChange());
  EXPECT_FALSE(journal.Rollback());
}

TEST_F(RollbackJournalTest, ACommittedChangeStaysAndLeavesNothingToRollBack) {
  files[0].WriteAt(0, "AB", 2);
  journal.Commit();
  EXPECT_FALSE(journal.Live());
  EXPECT_FALSE(journal.HoldsChange());
  EXPECT_FALSE(journal.Rollback());
  EXPECT_EQ(Contents(0), "AB23456789");
}

TEST_F(RollbackJournalTest, AnEntryCutShortOrOfAnotherSaltEndsTheRollback) {
  files[0].WriteAt(0, "AB", 2);  // entry 1: saved "01"
  files[0].WriteAt(5, "CD", 2);  // entry 2: saved "56"
  // The second entry's pre-image loses its last byte, as by a torn write:
  // its range counts as never touched and stays as it is.
  auto raw = platform::File::Open(dir.File("T.JNL"), platform::Access::kReadWrite,
                                  platform::Share::kShared);
  const uint64_t second = kJournalHeaderSize + kJournalEntryHeaderSize + 2;
  const uint8_t torn = 'x';
  raw->WriteAt(second + kJournalEntryHeaderSize + 1, &torn, 1);
  EXPECT_TRUE(journal.Rollback());
  EXPECT_EQ(Contents(0), "01234CD789");

  // A fresh change whose header is new ignores older entries after its own.
  files[0].WriteAt(0, "EF", 2);
  journal.Commit();
  files[0].WriteAt(9, "G", 1);  // the header goes to offset 0 again, salt new
  EXPECT_TRUE(journal.Rollback());
  EXPECT_EQ(Contents(0), "EF234CD789");
}

TEST(JournalFormatTest, HeaderRoundTripsAndAnyDamagedByteInvalidatesIt) {
  TJournalHeader header;
  header.Salt = 0xDEADBEEF;
  header.OriginalLength = {1663, 12288, kJournalNoFile};
  uint8_t bytes[kJournalHeaderSize];
  WriteJournalHeader(header, bytes);
  const auto read = ReadJournalHeader(bytes);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->Salt, header.Salt);
  EXPECT_EQ(read->OriginalLength, header.OriginalLength);
  for (size_t i = 0; i < kJournalHeaderSize; ++i) {
    uint8_t damaged[kJournalHeaderSize];
    std::copy(bytes, bytes + kJournalHeaderSize, damaged);
    damaged[i] ^= 0x01;
    EXPECT_FALSE(ReadJournalHeader(damaged).has_value()) << "byte " << i;
  }
  const uint8_t zeros[kJournalHeaderSize] = {};
  EXPECT_FALSE(ReadJournalHeader(zeros).has_value());

  TJournalEntry entry{2, 3, 4096, 7, 0};
  const std::vector<uint8_t> data = Bytes("abc");
  uint8_t entry_bytes[kJournalEntryHeaderSize];
  WriteJournalEntryHeader(entry, data, entry_bytes);
  const TJournalEntry back = ReadJournalEntryHeader(entry_bytes);
  EXPECT_EQ(back.File, 2);
  EXPECT_EQ(back.Offset, 4096u);
  EXPECT_TRUE(JournalEntryMatches(back, data));
  EXPECT_FALSE(JournalEntryMatches(back, Bytes("abd")));
}

}  // namespace
}  // namespace strata
