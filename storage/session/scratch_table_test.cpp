// A table opened as temporary and exclusive is a scratch table: no rollback
// journal, changes written when flushed or closed, files gone with its last
// cursor.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "storage/cursor/data_cursor.h"
#include "storage/engine_error.h"
#include "storage/engine_names.h"
#include "storage/index/sort_key.h"
#include "storage/session/data_directory.h"
#include "storage/session/data_session.h"
#include "storage/session/test_session_tables.h"
#include "storage/table/data_table.h"
#include "storage/test_temp_dir.h"

namespace strata {
namespace {

using testing::CounterTable;
using testing::TTempDir;

class ScratchTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session_ = TDataSession::Create();
    directory_ = session_->OpenDirectory("", temp_.Dir());
    name_ = directory_->TemporaryTableName();
    directory_->CreateTable(CounterTable(name_, true), {.Exclusive = true}, false);
  }
  bool There(std::string_view extension) const {
    return std::filesystem::exists(temp_.Dir() + name_.substr(0, name_.size() - 4) +
                                   std::string(extension));
  }

  TTempDir temp_;
  std::shared_ptr<TDataSession> session_;
  std::shared_ptr<TDataDirectory> directory_;
  std::string name_;
};

TEST_F(ScratchTableTest, ManyRowsBeyondTheCachesReadBackWhole) {
  {
    TDataCursor cursor(directory_);
    cursor.Open(name_, {.Exclusive = true, .Temporary = true});
    EXPECT_TRUE(cursor.Table().Scratch());
    // Far more records than the record cache holds, each with a blob.
    for (int i = 1; i <= 3000; ++i) {
      cursor.InitRecord();
      cursor.PutFieldInt64(1, i);
      cursor.PutFieldString(3, "row " + std::to_string(i));
      const std::string image = "image " + std::to_string(i);
      cursor.PutField(4, std::span(reinterpret_cast<const uint8_t*>(image.data()), image.size()));
      cursor.InsertRecord();
    }
    EXPECT_FALSE(There(kJournalFileExtension));
    EXPECT_EQ(cursor.RecordCount(), 3000u);
    int expected = 0;
    cursor.First();
    while (cursor.MoveNext()) {
      ++expected;
      ASSERT_EQ(cursor.GetFieldInt64(1), expected);
      ASSERT_EQ(cursor.GetFieldString(3), "row " + std::to_string(expected));
      const std::vector<uint8_t> image = cursor.ReadBlob(4);
      ASSERT_EQ(std::string(image.begin(), image.end()), "image " + std::to_string(expected));
    }
    EXPECT_EQ(expected, 3000);
    EXPECT_TRUE(There(kDataFileExtension));
  }
  EXPECT_FALSE(There(kDataFileExtension));
  EXPECT_FALSE(There(kIndexFileExtension));
  EXPECT_FALSE(There(kBlobFileExtension));
}

TEST_F(ScratchTableTest, ASharedTemporaryTableKeepsItsJournal) {
  TDataCursor cursor(directory_);
  cursor.Open(name_, {.Temporary = true});
  EXPECT_FALSE(cursor.Table().Scratch());
}

// Result tables created as temporary keep their files in memory until they
// outgrow the caches.
class MemoryScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session_ = TDataSession::Create();
    directory_ = session_->OpenDirectory("", temp_.Dir());
    name_ = directory_->TemporaryTableName();
    directory_->CreateTable(CounterTable(name_, true), {.Exclusive = true, .Temporary = true},
                            false);
  }
  size_t FilesOnDisk() const {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(temp_.Dir())) {
      ++count;
    }
    return count;
  }
  static void Fill(TDataCursor& cursor, int rows) {
    for (int i = rows; i >= 1; --i) {
      cursor.InitRecord();
      cursor.PutFieldInt64(1, i);
      cursor.PutFieldString(3, "row " + std::to_string(i));
      cursor.InsertRecord();
    }
  }
  static void ExpectAscending(TDataCursor& cursor, int rows) {
    int expected = 0;
    cursor.First();
    while (cursor.MoveNext()) ASSERT_EQ(cursor.GetFieldInt64(1), ++expected);
    EXPECT_EQ(expected, rows);
  }

  TTempDir temp_;
  std::shared_ptr<TDataSession> session_;
  std::shared_ptr<TDataDirectory> directory_;
  std::string name_;
};

TEST_F(MemoryScratchTest, ASmallResultNeverTouchesTheDisk) {
  EXPECT_EQ(FilesOnDisk(), 0u);
  // Its name stays taken while it lives in memory.
  EXPECT_TRUE(directory_->TableExists(name_));
  EXPECT_NE(directory_->TemporaryTableName(), name_);
  {
    TDataCursor cursor(directory_);
    cursor.Open(name_, {.Exclusive = true, .Temporary = true});
    EXPECT_TRUE(cursor.Table().FilesInMemory());
    Fill(cursor, 10);
    EXPECT_EQ(FilesOnDisk(), 0u);
    EXPECT_EQ(cursor.RecordCount(), 10u);
    const TSortColumn by_number[] = {{1, false}};
    const TRecordSortOutcome outcome = cursor.SortRecords(by_number, false, {});
    EXPECT_EQ(outcome.Runs, 0u);
    ExpectAscending(cursor, 10);
    EXPECT_EQ(FilesOnDisk(), 0u);
  }
  EXPECT_EQ(FilesOnDisk(), 0u);
  EXPECT_FALSE(directory_->TableExists(name_));
}

TEST_F(MemoryScratchTest, ALargeResultMovesToDiskAndSortsInRuns) {
  {
    TDataCursor cursor(directory_);
    cursor.Open(name_, {.Exclusive = true, .Temporary = true});
    Fill(cursor, 3000);
    EXPECT_FALSE(cursor.Table().FilesInMemory());
    EXPECT_FALSE(cursor.Table().AllFilesInMemory());
    EXPECT_TRUE(std::filesystem::exists(cursor.Table().DataPath()));
    EXPECT_EQ(cursor.RecordCount(), 3000u);
    const TSortColumn by_number[] = {{1, false}};
    const TRecordSortOutcome outcome = cursor.SortRecords(by_number, false, {});
    EXPECT_GT(outcome.Runs, 0u);
    ExpectAscending(cursor, 3000);
  }
  EXPECT_EQ(FilesOnDisk(), 0u);
}

TEST_F(MemoryScratchTest, ANameTakenOnDiskMeanwhileMovesItToTheNextFreeOne) {
  // Another process claims the name while the table is in memory.
  const std::string foreign = temp_.Dir() + TableNameWithoutExtension(name_) + ".DAT";
  std::ofstream(foreign) << "not ours";
  {
    TDataCursor cursor(directory_);
    cursor.Open(name_, {.Exclusive = true, .Temporary = true});
    Fill(cursor, 3000);
    EXPECT_FALSE(cursor.Table().FilesInMemory());
    EXPECT_NE(cursor.Table().DataPath(), foreign);
    EXPECT_TRUE(std::filesystem::exists(cursor.Table().DataPath()));
    EXPECT_EQ(cursor.RecordCount(), 3000u);
  }
  EXPECT_EQ(FilesOnDisk(), 1u);
  std::ifstream in(foreign);
  std::string contents;
  std::getline(in, contents);
  EXPECT_EQ(contents, "not ours");
}

TEST_F(MemoryScratchTest, AScratchNameIgnoresDiskFilesAndLeavesThemAlone) {
  // The fixture's table holds the first name; the next one is free here.
  const std::string next = directory_->ScratchTableName();
  EXPECT_NE(next, name_);
  // A stray data file under that name (another process's, or one left
  // behind) does not take it for a table kept in memory ...
  const std::string stray = temp_.Dir() + TableNameWithoutExtension(next) + ".DAT";
  std::ofstream(stray) << "not ours";
  EXPECT_NE(directory_->TemporaryTableName(), next);
  ASSERT_EQ(directory_->ScratchTableName(), next);
  directory_->CreateTable(CounterTable(next, true), {.Exclusive = true, .Temporary = true}, false);
  {
    TDataCursor cursor(directory_);
    cursor.Open(next, {.Exclusive = true, .Temporary = true});
    EXPECT_TRUE(cursor.Table().AllFilesInMemory());
    Fill(cursor, 10);
    EXPECT_EQ(cursor.RecordCount(), 10u);
    // ... and, while the table lives, the name is its own.
    EXPECT_NE(directory_->ScratchTableName(), next);
  }
  // Gone with its cursor, from memory only: the stray file stays as it was.
  EXPECT_EQ(FilesOnDisk(), 1u);
  std::ifstream in(stray);
  std::string contents;
  std::getline(in, contents);
  EXPECT_EQ(contents, "not ours");
  EXPECT_EQ(directory_->ScratchTableName(), next);
}

TEST_F(MemoryScratchTest, ATableThatFailsToOpenLeavesNothingBehind) {
  // Opened twice exclusively: the second open is refused, the first one's
  // close still removes the table from memory.
  {
    TDataCursor first(directory_);
    first.Open(name_, {.Exclusive = true, .Temporary = true});
    TDataCursor second(directory_);
    EXPECT_THROW(second.Open(name_, {.Exclusive = true, .Temporary = true}), EStrataEngineError);
  }
  EXPECT_FALSE(directory_->TableExists(name_));
  EXPECT_EQ(FilesOnDisk(), 0u);
}

}  // namespace
}  // namespace strata
