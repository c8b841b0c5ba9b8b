#include "storage/file/rollback_journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
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

TEST_F(RollbackJournalTest, OnlyTheChangedSpansAreSavedAndStillRollBackEveryByte) {
  // A 4096-byte page in which a write changes two bytes near each end and
  // one in the middle: the journal keeps three small entries, not the page.
  std::vector<uint8_t> page(4096);
  for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(i * 31);
  files[1].WriteAt(10, page.data(), page.size());
  journal.Commit();
  std::vector<uint8_t> changed = page;
  changed[3] ^= 1;
  changed[4] ^= 1;
  changed[2000] ^= 1;
  changed[4090] ^= 1;
  files[1].WriteAt(10, changed.data(), changed.size());
  const uint64_t journal_size = *platform::ExactFileSize(dir.File("T.JNL"));
  EXPECT_LT(journal_size, kJournalHeaderSize + 3 * (kJournalEntryHeaderSize + 2) + 1);
  // A second write over the same page changes bytes the first left alone,
  // and puts one of the first write's bytes back: each saved byte is saved
  // once, with its value from before the change.
  std::vector<uint8_t> again = changed;
  again[3] = page[3];
  again[100] ^= 0xFF;
  for (size_t i = 1000; i < 1100; ++i) again[i] = 0;
  files[1].WriteAt(10, again.data(), again.size());
  files[1].WriteAt(4100, "tail", 4);  // grows the file
  EXPECT_TRUE(journal.Rollback());
  std::string expected = "0123456789";
  expected.append(page.begin(), page.end());
  EXPECT_EQ(Contents(1), expected);
}

TEST_F(RollbackJournalTest, ManyOverlappingWritesOfScatteredChangesRollBackExactly) {
  // Writes of random lengths at random places, each changing a random few
  // bytes (in runs short and long, near and far apart) of what the file
  // holds then, some beyond its end: the rollback gives back the file.
  std::mt19937 random(20261209);
  std::vector<uint8_t> original(3000);
  for (uint8_t& byte : original) byte = static_cast<uint8_t>(random());
  files[0].WriteAt(0, original.data(), original.size());
  journal.Commit();
  for (int round = 0; round < 20; ++round) {
    for (int write = 0; write < 12; ++write) {
      const size_t offset = random() % 3200;
      const size_t length = 1 + random() % 600;
      std::vector<uint8_t> bytes(length, 0);
      files[0].ReadAt(offset, bytes.data(), length, true);
      for (int change = random() % 6; change >= 0; --change) {
        const size_t at = random() % length;
        const size_t run = std::min<size_t>(length - at, 1 + random() % 40);
        for (size_t i = at; i < at + run; ++i) bytes[i] ^= static_cast<uint8_t>(1 + random() % 255);
      }
      files[0].WriteAt(offset, bytes.data(), length);
    }
    ASSERT_TRUE(journal.Rollback()) << round;
    std::string expected(original.begin(), original.end());
    ASSERT_EQ(Contents(0), expected) << round;
  }
}

TEST_F(RollbackJournalTest, AWriteThatChangesNothingLeavesTheJournalEmpty) {
  files[0].WriteAt(2, "23", 2);
  EXPECT_TRUE(journal.Live());
  EXPECT_FALSE(journal.HoldsChange());
  EXPECT_EQ(platform::ExactFileSize(dir.File("T.JNL")).value_or(0), 0u);  // nothing written
  journal.Commit();
  EXPECT_FALSE(journal.Rollback());
  // Growing a file needs the header (the original length) even without
  // any pre-image.
  files[0].WriteAt(10, "X", 1);
  EXPECT_TRUE(journal.HoldsChange());
  journal.Commit();
  EXPECT_FALSE(journal.HoldsChange());
}

TEST(RollbackJournalOpenTest, OnlyAWriterCreatesTheFileAndAnyoneRollsBackWhatItLeft) {
  TTempDir dir;
  TFileHandler data;
  data.CreateFile(dir.File("T.DAT"), false);
  data.WriteAt(0, "0123456789", 10);
  {
    // Looking costs no file: a reader leaves the folder as it was.
    TRollbackJournal reader(dir.File("T.JNL"), "T");
    reader.Attach(&data, nullptr, nullptr);
    EXPECT_FALSE(reader.HoldsChange());
    EXPECT_FALSE(reader.Rollback());
    EXPECT_FALSE(platform::ExactFileSize(dir.File("T.JNL")).has_value());
  }
  {
    // A writer that stops with its change live (as a killed one would).
    TRollbackJournal writer(dir.File("T.JNL"), "T");
    writer.Attach(&data, nullptr, nullptr);
    data.WriteAt(4, "ABCDEFGHIJKL", 12);
    EXPECT_TRUE(platform::ExactFileSize(dir.File("T.JNL")).has_value());
  }
  EXPECT_EQ(data.Size(), 16u);
  // A journal object that has not opened the file finds the change, opens
  // the file and rolls the change back.
  TRollbackJournal other(dir.File("T.JNL"), "T");
  other.Attach(&data, nullptr, nullptr);
  EXPECT_TRUE(other.HoldsChange());
  EXPECT_TRUE(other.Rollback());
  std::string text(data.Size(), '\0');
  data.ReadAt(0, text.data(), text.size());
  EXPECT_EQ(text, "0123456789");
  EXPECT_FALSE(TRollbackJournal(dir.File("T.JNL"), "T").HoldsChange());
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
