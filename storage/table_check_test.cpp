#include "storage/table_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "storage/cursor/test_cursor_table.h"
#include "storage/engine_error.h"
#include "storage/test_damaged_table.h"
#include "storage/test_temp_dir.h"

namespace strata::testing {
namespace {

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

bool Names(const TTableCheckResult& result, const std::string& part) {
  return std::any_of(result.Faults.begin(), result.Faults.end(), [&](const std::string& fault) {
    return fault.find(part) != std::string::npos;
  });
}

class TableCheck : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    template_ = new TTempDir;
    BuildDamagedTable(template_->Dir());
  }
  static void TearDownTestSuite() {
    delete template_;
    template_ = nullptr;
  }
  // A fresh copy of the intact table.
  void Copy() {
    for (const char* extension : {".DAT", ".IDX", ".BLB"}) {
      std::filesystem::copy_file(template_->File(std::string(kDamagedTable) + extension),
                                 work_.File(std::string(kDamagedTable) + extension),
                                 std::filesystem::copy_options::overwrite_existing);
    }
  }
  TTableCheckResult Check(bool records_only = false) {
    auto session = TDataSession::Create();
    auto directory = session->OpenDirectory("", work_.Dir());
    TDataCursor cursor(directory);
    cursor.Open(kDamagedTable);
    return records_only ? CheckRecords(cursor) : CheckTable(cursor);
  }
  TTableFiles Files() const { return TTableFiles(work_.Dir(), kDamagedTable); }

  static TTempDir* template_;
  TTempDir work_;
};

TTempDir* TableCheck::template_ = nullptr;

TEST_F(TableCheck, TheIntactTableIsSoundWithItsCounts) {
  Copy();
  TTableCheckResult result = Check();
  EXPECT_TRUE(result.Sound()) << Joined(result.Faults);
  EXPECT_EQ(result.Slots, 200u);
  EXPECT_EQ(result.LiveRecords, 196u);
  EXPECT_EQ(result.FreeSlots, 4u);
  EXPECT_GT(result.FreeBlobBlocks, 0u);
  ASSERT_EQ(result.IndexEntries.size(), 3u);  // primary, ByName, row order
  for (const auto& [name, entries] : result.IndexEntries) EXPECT_EQ(entries, 196u) << name;
  // ByName has inner pages: its damage kinds reach below the root.
  TTableFiles files = Files();
  EXPECT_EQ(files.U8(".IDX", TTableFiles::PageOffset(files.RootPage(1))), 0);
  EXPECT_GE(files.EntryCount(files.RootPage(1)), 3);
}

TEST_F(TableCheck, NamesEachKindOfDamageInsteadOfRaising) {
  for (const TDamageKind& kind : DamageKinds()) {
    SCOPED_TRACE(kind.Name);
    Copy();
    kind.Apply(Files());
    if (kind.OpenFails) {
      // verify reports the failed open itself as the fault.
      auto session = TDataSession::Create();
      TDataCursor cursor(session->OpenDirectory("", work_.Dir()));
      EXPECT_EQ(ErrorCodeOf([&] { cursor.Open(kDamagedTable); }), STRATA_HEADERCORRUPT);
      continue;
    }
    TTableCheckResult result;
    ASSERT_EQ(ErrorCodeOf([&] { result = Check(); }), 0);
    EXPECT_FALSE(result.Sound());
    EXPECT_TRUE(Names(result, kind.Fault)) << Joined(result.Faults);
  }
}

TEST_F(TableCheck, DamagedRecordsAreTheOnesARebuildCannotMend) {
  // Damage of the indexes alone leaves the records sound.
  for (const char* name : {"index entry count", "index inner link", "index cycle"}) {
    SCOPED_TRACE(name);
    Copy();
    for (const TDamageKind& kind : DamageKinds())
      if (std::string(kind.Name) == name) kind.Apply(Files());
    EXPECT_TRUE(Check().DamagedRecords.empty());
    TTableCheckResult records = Check(/*records_only=*/true);
    EXPECT_TRUE(records.Sound()) << Joined(records.Faults);
  }
  // A record's own damage and its broken values name the record's slot.
  for (const char* name : {"status byte", "blob owner", "blob link", "blob byte count"}) {
    SCOPED_TRACE(name);
    Copy();
    for (const TDamageKind& kind : DamageKinds())
      if (std::string(kind.Name) == name) kind.Apply(Files());
    TTableCheckResult records = Check(/*records_only=*/true);
    EXPECT_EQ(records.DamagedRecords, std::vector<uint32_t>{kDamagedSlot})
        << Joined(records.Faults);
  }
}

TEST_F(TableCheck, ABlobTotalLengthBelowTheBytesHeldIsNamedThoughTheValueReads) {
  Copy();
  TTableFiles files = Files();
  const uint32_t first = files.BlobReference(kDamagedSlot);
  const uint32_t total = files.U32(".BLB", files.BlockOffset(first) + 14);
  files.Put(".BLB", files.BlockOffset(first) + 14, total - 10, 4);
  // A reader stops at the stated length: the value comes back cut short.
  {
    auto session = TDataSession::Create();
    TDataCursor cursor(session->OpenDirectory("", work_.Dir()));
    cursor.Open(kDamagedTable);
    cursor.SetIndex(0);
    ASSERT_TRUE(cursor.FindKeyText(std::vector<std::string>{"2"}));
    EXPECT_EQ(cursor.ReadBlob(kDamagedNotes).size(), total - 10);
  }
  TTableCheckResult result = Check();
  EXPECT_TRUE(Names(result, "holds " + std::to_string(total) + " bytes, its total length says " +
                                std::to_string(total - 10)))
      << Joined(result.Faults);
}

TEST_F(TableCheck, AMissingIndexListsAFewRecordsAndCountsTheRest) {
  Copy();
  TTableFiles files = Files();
  // The row-order index's root moved to an empty page: every record lacks its entry.
  files.Put(".IDX", 14 + 120ull * 31 + 86, 0, 4);
  TTableCheckResult result = Check();
  EXPECT_TRUE(Names(result, "Sys Deleted: 0 entries for 196 live records"))
      << Joined(result.Faults);
  EXPECT_TRUE(Names(result, "... and 176 more records without an entry in the index Sys Deleted"))
      << Joined(result.Faults);
  EXPECT_LT(result.Faults.size(), 60u);
}

}  // namespace
}  // namespace strata::testing
