#include "storage/table_repair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "storage/cursor/test_cursor_table.h"
#include "storage/engine_error.h"
#include "storage/test_damaged_table.h"
#include "storage/test_temp_dir.h"

namespace strata::testing {
namespace {

namespace fs = std::filesystem;

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

bool Mentions(const std::vector<std::string>& lines, const std::string& part) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return line.find(part) != std::string::npos; });
}

std::string TextOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TableRepair : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    template_ = new TTempDir;
    BuildDamagedTable(template_->Dir());
  }
  static void TearDownTestSuite() {
    delete template_;
    template_ = nullptr;
  }

  std::string FileName(const char* extension) const {
    return std::string(kDamagedTable) + extension;
  }
  // The files of the intact table, or of a snapshot taken with Save.
  void Copy(const std::string& from_dir = "") {
    for (const char* extension : {".DAT", ".IDX", ".BLB"}) {
      fs::copy_file((from_dir.empty() ? template_->Dir() : from_dir) + FileName(extension),
                    work_.File(FileName(extension)), fs::copy_options::overwrite_existing);
    }
  }
  // Keeps the work table's file `extension` as it is now under `dir`.
  void Save(const std::string& dir, const char* extension) {
    fs::create_directories(dir);
    fs::copy_file(work_.File(FileName(extension)), dir + FileName(extension),
                  fs::copy_options::overwrite_existing);
  }
  void Restore(const std::string& dir, const char* extension) {
    fs::copy_file(dir + FileName(extension), work_.File(FileName(extension)),
                  fs::copy_options::overwrite_existing);
  }
  TTableFiles Files() const { return TTableFiles(work_.Dir(), kDamagedTable); }

  TTableRepairReport Repair() {
    auto session = TDataSession::Create();
    return RepairTable(session->OpenDirectory("", work_.Dir()), kDamagedTable);
  }

  // id -> notes length of every record, read through every index with each
  // blob value read in full; fails the test when any read raises.
  std::map<int, size_t> Records() {
    auto session = TDataSession::Create();
    TDataCursor cursor(session->OpenDirectory("", work_.Dir()));
    cursor.Open(kDamagedTable);
    std::map<int, size_t> records;
    for (int index : cursor.Indexes()) {
      cursor.SetIndex(index);
      std::map<int, size_t> seen;
      EXPECT_EQ(ErrorCodeOf([&] {
                  cursor.First();
                  while (cursor.MoveNext()) {
                    seen[static_cast<int>(*cursor.GetFieldInt64(kDamagedId))] =
                        cursor.ReadBlob(kDamagedNotes).size();
                  }
                }),
                0)
          << "index " << index;
      if (index == 0) records = seen;
      EXPECT_EQ(seen, records) << "index " << index;
      EXPECT_EQ(cursor.RecordCount(), records.size());
    }
    return records;
  }
  // The records of the intact table without `missing`.
  static std::map<int, size_t> Expected(std::vector<int> missing = {}) {
    std::map<int, size_t> records;
    for (int id = 1; id <= kDamagedRecords; ++id) records[id] = DamagedNotes(id).size();
    for (int id : kDamagedDeletedIds) records.erase(id);
    for (int id : missing) records.erase(id);
    return records;
  }

  TTableCheckResult Check() {
    auto session = TDataSession::Create();
    TDataCursor cursor(session->OpenDirectory("", work_.Dir()));
    cursor.Open(kDamagedTable);
    return CheckTable(cursor);
  }

  // Inserts record `id` through the engine.
  void Insert(int id) {
    auto session = TDataSession::Create();
    TDataCursor cursor(session->OpenDirectory("", work_.Dir()));
    cursor.Open(kDamagedTable);
    PutDamagedRecord(cursor, id);
    cursor.InsertRecord();
  }
  void Delete(int id) {
    auto session = TDataSession::Create();
    TDataCursor cursor(session->OpenDirectory("", work_.Dir()));
    cursor.Open(kDamagedTable);
    cursor.SetIndex(0);
    ASSERT_TRUE(cursor.FindKeyText(std::vector<std::string>{std::to_string(id)}));
    cursor.DeleteRecord();
  }

  static TTempDir* template_;
  TTempDir work_;
  TTempDir snapshots_;
};

TTempDir* TableRepair::template_ = nullptr;

TEST_F(TableRepair, ASoundTableIsLeftAsItIs) {
  Copy();
  const std::vector<uint8_t> before = Files().Read(".DAT");
  TTableRepairReport report = Repair();
  EXPECT_TRUE(report.FaultsFound.empty()) << Joined(report.FaultsFound);
  EXPECT_TRUE(report.Actions.empty()) << Joined(report.Actions);
  EXPECT_TRUE(report.After.Sound());
  EXPECT_EQ(Files().Read(".DAT"), before);
  EXPECT_FALSE(fs::exists(work_.File(FileName(".DBK"))));
  EXPECT_FALSE(fs::exists(work_.File(FileName(".LOST"))));
}

TEST_F(TableRepair, MendsEachKindOfDamageLosingOnlyWhatWasLost) {
  // What each kind costs: the records set aside or the value cleared.
  struct TCost {
    std::vector<int> SetAside;
    int ClearedId = 0;
  };
  const std::map<std::string, TCost> costs = {
      {"status byte", {{2}, 0}},
      {"blob owner", {{}, 2}},
      {"blob link", {{}, 2}},
      {"blob byte count", {{}, 2}},
      {"truncated data file", {{200}, 0}},
  };
  for (const TDamageKind& kind : DamageKinds()) {
    SCOPED_TRACE(kind.Name);
    Copy();
    const std::vector<uint8_t> damaged_index = [&] {
      kind.Apply(Files());
      return Files().Read(".IDX");
    }();
    TTableRepairReport report;
    ASSERT_EQ(ErrorCodeOf([&] { report = Repair(); }), 0);
    EXPECT_TRUE(Mentions(report.FaultsFound, kind.Fault)) << Joined(report.FaultsFound);
    EXPECT_TRUE(report.After.Sound()) << Joined(report.Actions) << Joined(report.After.Faults);
    EXPECT_TRUE(Mentions(report.Actions, "every index rebuilt")) << Joined(report.Actions);
    // The files as they were are kept.
    EXPECT_EQ(TTableFiles(work_.Dir(), kDamagedTable).Read(".IBK"), damaged_index);

    const auto cost = costs.find(kind.Name);
    std::map<int, size_t> expected =
        Expected(cost == costs.end() ? std::vector<int>{} : cost->second.SetAside);
    if (cost != costs.end() && cost->second.ClearedId != 0) expected[cost->second.ClearedId] = 0;
    if (std::string(kind.Name) == "truncated blob file") {
      // The value whose last block was cut is cleared; which one it is the
      // report says.
      EXPECT_EQ(report.ValuesCleared, 1u) << Joined(report.Actions);
      std::map<int, size_t> got = Records();
      int cleared = 0;
      for (auto& [id, size] : got) {
        if (size == 0 && expected[id] != 0) cleared = id;
      }
      ASSERT_NE(cleared, 0);
      expected[cleared] = 0;
      EXPECT_EQ(got, expected);
    } else {
      EXPECT_EQ(Records(), expected);
    }
    const bool lost = cost != costs.end() || std::string(kind.Name) == "truncated blob file";
    EXPECT_EQ(report.SideFile.empty(), !lost) << report.SideFile;
    EXPECT_TRUE(Check().Sound());
    Insert(1000);  // the table takes new records again
    EXPECT_TRUE(Check().Sound());
    fs::remove(work_.File(FileName(".LOST")));
  }
}

TEST_F(TableRepair, TheSideFileHoldsTheRecordsAndValuesSetAside) {
  Copy();
  TTableFiles files = Files();
  files.Put(".DAT", files.SlotOffset(kDamagedSlot), 7, 1);
  const uint32_t first = files.BlobReference(3);
  files.Put(".BLB", files.BlockOffset(first) + 10, 77, 4);  // record 3's first block: row 77
  TTableRepairReport report = Repair();
  EXPECT_EQ(report.RecordsSetAside, 1u);
  EXPECT_EQ(report.ValuesCleared, 1u);
  ASSERT_EQ(report.SideFile, work_.File(FileName(".LOST")));
  const std::string side = TextOf(report.SideFile);
  EXPECT_NE(side.find("record 2 (row 2): status byte 7\n  07"), std::string::npos) << side;
  // Record 2's notes come along, and what record 3's chain held.
  EXPECT_NE(side.find("record 2 field Notes: " + std::to_string(DamagedNotes(2).size()) +
                      " bytes\n  43434343"),  // 'C'
            std::string::npos)
      << side;
  EXPECT_NE(
      side.find("record 3 (row 3) field Notes: 0 bytes saved of a damaged value (blob block " +
                std::to_string(first) + ": belongs to row 77, not to row 3)"),
      std::string::npos)
      << side;
  EXPECT_TRUE(Mentions(report.Actions, "record 2 (row 2) set aside into " + report.SideFile));
  EXPECT_TRUE(Mentions(report.Actions, "record 3 (row 3) field Notes: blob reference cleared"));
  // A second repair appends.
  files.Put(".DAT", files.SlotOffset(10), 9, 1);
  Repair();
  const std::string both = TextOf(report.SideFile);
  EXPECT_EQ(both.substr(0, side.size()), side);
  EXPECT_NE(both.find("record 10 (row 10): status byte 9"), std::string::npos) << both;
}

// A writer killed after writing its record (and the data header) but before
// the index and blob files: the record is live without index entries, its
// blob reference points past the blob file's blocks.
TEST_F(TableRepair, AnInsertKilledAfterItsRecordLeavesARecordTheRepairKeeps) {
  Copy();
  const std::string before = snapshots_.Dir() + "before/";
  Save(before, ".IDX");
  Save(before, ".BLB");
  Insert(500);
  Restore(before, ".IDX");
  Restore(before, ".BLB");
  {
    TTableCheckResult result = Check();
    EXPECT_TRUE(Mentions(result.Faults, "no entry for record")) << Joined(result.Faults);
    EXPECT_FALSE(result.DamagedRecords.empty()) << Joined(result.Faults);
  }
  // The next insert takes over the blocks the killed one had chosen, so two
  // records point at them.
  Insert(501);
  TTableRepairReport report = Repair();
  EXPECT_TRUE(report.After.Sound()) << Joined(report.After.Faults);
  EXPECT_EQ(report.RecordsSetAside, 0u);
  EXPECT_EQ(report.ValuesCleared, 1u) << Joined(report.Actions);
  std::map<int, size_t> expected = Expected();
  expected[500] = 0;  // its value never reached the blob file
  expected[501] = DamagedNotes(501).size();
  EXPECT_EQ(Records(), expected);
}

// Killed between its record write and the data header write: the header
// still hands out the slot and the row number the record took.
TEST_F(TableRepair, AnInsertKilledBeforeItsDataHeaderKeepsItsRecord) {
  Copy();
  TTableFiles files = Files();
  const std::vector<uint8_t> before = files.Read(".DAT");
  const std::string indexes = snapshots_.Dir() + "indexes/";
  Save(indexes, ".IDX");
  Insert(500);
  std::vector<uint8_t> data = files.Read(".DAT");
  std::copy(before.begin(), before.begin() + 127, data.begin());
  files.Write(".DAT", data);
  Restore(indexes, ".IDX");
  TTableCheckResult result = Check();
  EXPECT_TRUE(Mentions(result.Faults, "is not a deleted record")) << Joined(result.Faults);
  EXPECT_TRUE(Mentions(result.Faults, "above the last one handed out")) << Joined(result.Faults);
  TTableRepairReport report = Repair();
  EXPECT_TRUE(report.After.Sound()) << Joined(report.After.Faults);
  EXPECT_TRUE(Mentions(report.Actions, "last row number handed out raised from 200 to 201"))
      << Joined(report.Actions);
  std::map<int, size_t> expected = Expected();
  expected[500] = DamagedNotes(500).size();  // its blob blocks were written
  EXPECT_EQ(Records(), expected);
  Insert(501);  // neither its slot nor its row number is handed out again
  EXPECT_TRUE(Check().Sound());
}

// A killed insert whose row number and key the next insert took again: the
// one the indexes knew stays, the other is set aside.
TEST_F(TableRepair, OfTwoRecordsWithOneKeyTheIndexedOneStays) {
  Copy();
  const std::string before = snapshots_.Dir() + "before/";
  Save(before, ".IDX");
  Save(before, ".BLB");
  TTableFiles files = Files();
  const std::vector<uint8_t> data_before = files.Read(".DAT");
  Insert(500);
  // The killed writer's data header never reached the disk... but its slot
  // did: keep the new slot, put back the old header (with one more slot).
  std::vector<uint8_t> data = files.Read(".DAT");
  std::copy(data_before.begin() + 17, data_before.begin() + 21, data.begin() + 17);  // row counter
  files.Write(".DAT", data);
  Restore(before, ".IDX");
  Restore(before, ".BLB");
  Insert(500);  // the same id and, from the old counter, the same row number
  TTableRepairReport report = Repair();
  EXPECT_TRUE(report.After.Sound()) << Joined(report.After.Faults);
  EXPECT_EQ(report.RecordsSetAside, 1u) << Joined(report.Actions);
  EXPECT_TRUE(Mentions(report.Actions, "also held by record")) << Joined(report.Actions);
  std::map<int, size_t> expected = Expected();
  expected[500] = DamagedNotes(500).size();  // the indexed record, with its value
  EXPECT_EQ(Records(), expected);
}

// A delete killed after the index and blob files were written but before
// the data file: the slot and the blob blocks are held by nothing.
TEST_F(TableRepair, AKilledDeleteLeaksNothingAfterTheRepair) {
  Copy();
  TTableFiles files = Files();
  const std::vector<uint8_t> data_before = files.Read(".DAT");
  const std::vector<uint8_t> blobs_before = files.Read(".BLB");
  Delete(7);
  // The records and blocks as the delete left them, both headers from
  // before it: the freed slot and blocks are on no free chain.
  std::vector<uint8_t> data = files.Read(".DAT");
  std::copy(data_before.begin(), data_before.begin() + 127, data.begin());
  files.Write(".DAT", data);
  std::vector<uint8_t> blobs = files.Read(".BLB");
  std::copy(blobs_before.begin(), blobs_before.begin() + 512, blobs.begin());
  files.Write(".BLB", blobs);
  TTableCheckResult result = Check();
  EXPECT_TRUE(Mentions(result.Faults, "is not on the free chain")) << Joined(result.Faults);
  EXPECT_TRUE(Mentions(result.Faults, "is in no value and not on the free chain"))
      << Joined(result.Faults);
  TTableRepairReport report = Repair();
  EXPECT_TRUE(report.After.Sound()) << Joined(report.After.Faults);
  EXPECT_TRUE(
      Mentions(report.Actions, "free chain of record slots rebuilt with 5 slots; given back: 7"))
      << Joined(report.Actions);
  EXPECT_TRUE(Mentions(report.Actions, "blob free chain rebuilt")) << Joined(report.Actions);
  EXPECT_EQ(Records(), Expected({7}));
  // The five free slots, the one given back among them, are used again.
  for (int id = 600; id < 605; ++id) Insert(id);
  EXPECT_EQ(Files().Slots(), 200u);
  EXPECT_TRUE(Check().Sound());
}

TEST_F(TableRepair, AnIndexFileWithoutItsHeaderKeepsTheRowOrderOnly) {
  Copy();
  Files().Truncate(".IDX", 1000);
  TTableRepairReport report = Repair();
  EXPECT_TRUE(report.After.Sound()) << Joined(report.After.Faults);
  EXPECT_TRUE(Mentions(report.Actions, "made anew with the row-order index only"))
      << Joined(report.Actions);
  auto session = TDataSession::Create();
  TDataCursor cursor(session->OpenDirectory("", work_.Dir()));
  cursor.Open(kDamagedTable);
  EXPECT_EQ(cursor.Indexes(), std::vector<int>{TDataCursor::kRowOrderIndex});
  EXPECT_EQ(cursor.RecordCount(), 196u);
}

TEST_F(TableRepair, AMissingTableIsAnErrorNotARepair) {
  auto session = TDataSession::Create();
  EXPECT_EQ(ErrorCodeOf([&] { RepairTable(session->OpenDirectory("", work_.Dir()), "Nothing"); }),
            STRATA_OSENOENT);
}

}  // namespace
}  // namespace strata::testing
