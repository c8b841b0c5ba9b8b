#include "storage/data/record_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "storage/cursor/data_cursor.h"
#include "storage/data/data_file.h"
#include "storage/engine_error.h"
#include "storage/index/sort_key.h"
#include "storage/record/record_header.h"
#include "storage/session/data_session.h"
#include "storage/session/test_session_tables.h"
#include "storage/table/data_table.h"
#include "storage/test_temp_dir.h"

namespace strata {
namespace {

using testing::CounterTable;
using testing::TTempDir;

struct TRow {
  int32_t Id;
  int32_t Counter;
  std::string Name;  // empty: blank
  friend bool operator==(const TRow&, const TRow&) = default;
};

// A table "Rows" (Id, Counter, Name) in a private directory of its own,
// with cache limits that the test may make small before it is opened.
class RecordSortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session_ = TDataSession::Create();
    session_->SetPrivateDirectory(private_.Dir());
    directory_ = session_->OpenDirectory("", tables_.Dir());
    directory_->CreateTable(CounterTable("Rows"), {.Exclusive = true}, false);
  }

  void Open(uint32_t cache_count = 8192, const std::string& table = "Rows") {
    session_->Settings().RecordCacheCount = cache_count;
    cursor_ = std::make_unique<TDataCursor>(directory_);
    cursor_->Open(table, {.Exclusive = true});
  }

  std::vector<int32_t> Ids() {
    std::vector<int32_t> ids;
    for (const TRow& row : Rows()) ids.push_back(row.Id);
    return ids;
  }

  void Insert(const std::vector<TRow>& rows) {
    for (const TRow& row : rows) {
      cursor_->InitRecord();
      cursor_->PutFieldInt64(1, row.Id);
      cursor_->PutFieldInt64(2, row.Counter);
      if (!row.Name.empty()) cursor_->PutFieldString(3, row.Name);
      cursor_->InsertRecord();
    }
  }

  // The rows in natural order, checking that slot, row number and order agree.
  std::vector<TRow> Rows() {
    std::vector<TRow> rows;
    cursor_->First();
    uint32_t place = 0;
    while (cursor_->MoveNext()) {
      ++place;
      EXPECT_EQ(cursor_->CurrentRecordNumber(), place);
      EXPECT_EQ(GetRowNumber(cursor_->RecordBuffer().data()), static_cast<int32_t>(place));
      rows.push_back({static_cast<int32_t>(*cursor_->GetFieldInt64(1)),
                      static_cast<int32_t>(*cursor_->GetFieldInt64(2)),
                      cursor_->GetFieldString(3).value_or("")});
    }
    EXPECT_EQ(cursor_->RecordCount(), rows.size());
    return rows;
  }

  int ScratchFiles() const {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(private_.Dir())) {
      if (entry.path().extension() == ".TMP") ++count;
    }
    return count;
  }

  TDataFile& Data() { return cursor_->Table().DataFile(); }

  TTempDir tables_;
  TTempDir private_;
  std::shared_ptr<TDataSession> session_;
  std::shared_ptr<TDataDirectory> directory_;
  std::unique_ptr<TDataCursor> cursor_;
};

TEST_F(RecordSortTest, OrdersInMemoryKeepingTheOrderOfEqualKeys) {
  Open();
  Insert({{1, 30, "c"}, {2, -5, "a"}, {3, 30, "b"}, {4, 7, ""}, {5, -5, "d"}});
  const TSortColumn by_counter[] = {{2, false}};
  const TRecordSortOutcome outcome = cursor_->SortRecords(by_counter, false, {});
  EXPECT_EQ(outcome.Records, 5u);
  EXPECT_EQ(outcome.Runs, 0u);
  EXPECT_EQ(Rows(), (std::vector<TRow>{
                        {2, -5, "a"}, {5, -5, "d"}, {4, 7, ""}, {1, 30, "c"}, {3, 30, "b"}}));

  // Descending, then by name ascending; a blank name sorts first.
  const TSortColumn by_counter_down_name[] = {{2, true}, {3, false}};
  cursor_->SortRecords(by_counter_down_name, false, {});
  EXPECT_EQ(Rows(), (std::vector<TRow>{
                        {3, 30, "b"}, {1, 30, "c"}, {4, 7, ""}, {2, -5, "a"}, {5, -5, "d"}}));

  // The table still takes new records after the renumbered ones.
  Insert({{6, 0, "e"}});
  EXPECT_EQ(Rows().back(), (TRow{6, 0, "e"}));
}

TEST_F(RecordSortTest, TextsIgnoreCaseOnlyWhenAsked) {
  Open();
  Insert({{1, 0, "beta"}, {2, 0, "Alpha"}, {3, 0, "alpha"}, {4, 0, "Beta"}});
  const TSortColumn by_name[] = {{3, false}};
  cursor_->SortRecords(by_name, false, {});
  std::vector<int32_t> ids;
  for (const TRow& row : Rows()) ids.push_back(row.Id);
  EXPECT_EQ(ids, (std::vector<int32_t>{2, 4, 3, 1}));  // byte order: upper case first
  cursor_->SortRecords(by_name, true, {});
  ids.clear();
  for (const TRow& row : Rows()) ids.push_back(row.Id);
  // Equal keys keep the order of the sort before: Beta (4) came before beta (1).
  EXPECT_EQ(ids, (std::vector<int32_t>{2, 3, 4, 1}));
  const TSortColumn by_name_down[] = {{3, true}};
  cursor_->SortRecords(by_name_down, true, {});
  ids.clear();
  for (const TRow& row : Rows()) ids.push_back(row.Id);
  EXPECT_EQ(ids, (std::vector<int32_t>{4, 1, 2, 3}));
}

// With a language of its own the table's texts sort in the locale's order,
// the other columns as bytes; equal rows still keep their order.
TEST_F(RecordSortTest, TextsOfATableWithALanguageSortInItsLocale) {
  TTableDefinition german = CounterTable("German");
  german.LanguageId = 1031;
  directory_->CreateTable(german, {.Exclusive = true}, false);
  Open(8192, "German");
  Insert({{1, 0, "b"}, {2, 1, "\xE4"}, {3, 0, "a"}, {4, 0, "B"}, {5, 2, "a"}});
  const TSortColumn by_name[] = {{3, false}};
  cursor_->SortRecords(by_name, false, {});
  // Accents do not count (\xE4 is a), letter case only after the letters.
  EXPECT_EQ(Ids(), (std::vector<int32_t>{2, 3, 5, 1, 4}));
  const TSortColumn by_name_down_counter[] = {{3, true}, {2, true}};
  cursor_->SortRecords(by_name_down_counter, false, {});
  EXPECT_EQ(Ids(), (std::vector<int32_t>{4, 1, 5, 2, 3}));
  // Ignoring case, b and B are one as well: the first of each stays.
  TRecordSortRules distinct;
  distinct.Collapse = true;
  cursor_->SortRecords(by_name, true, distinct);
  EXPECT_EQ(Ids(), (std::vector<int32_t>{5, 4}));
}

TEST_F(RecordSortTest, RecordsInOrderAlreadyAreNotWrittenAgain) {
  Open();
  Insert({{1, 1, "a"}, {2, 2, "b"}, {3, 3, "c"}});
  const TSortColumn by_counter[] = {{2, false}};
  const uint32_t counter = Data().ChangeCounter();
  EXPECT_FALSE(cursor_->SortRecords(by_counter, false, {}).Changed);
  EXPECT_EQ(Data().ChangeCounter(), counter);
  const TSortColumn by_counter_down[] = {{2, true}};
  EXPECT_TRUE(cursor_->SortRecords(by_counter_down, false, {}).Changed);
  EXPECT_EQ(Ids(), (std::vector<int32_t>{3, 2, 1}));
}

TEST_F(RecordSortTest, LimitCutsTheFileAndCollapseFoldsEqualNeighbours) {
  Open();
  Insert({{1, 1, "x"}, {2, 2, "y"}, {3, 4, "x"}, {4, 8, "z"}, {5, 16, "y"}, {6, 32, "x"}});
  const TSortColumn by_name[] = {{3, false}};
  const TTableDefinition table = CounterTable("Rows");
  TRecordSortRules rules;
  rules.Collapse = true;
  rules.Merge = [&](std::span<uint8_t> group, std::span<const uint8_t> member) {
    testing::SetInt(
        table, group.data(), 2,
        testing::GetInt(table, group.data(), 2) + testing::GetInt(table, member.data(), 2));
  };
  // Groups x (37), y (18), z (8); the one below 10 is left out.
  rules.Finish = [&](std::span<uint8_t> group) {
    return testing::GetInt(table, group.data(), 2) >= 10;
  };
  EXPECT_EQ(cursor_->SortRecords(by_name, false, rules).Records, 2u);
  EXPECT_EQ(Rows(), (std::vector<TRow>{{1, 37, "x"}, {2, 18, "y"}}));
  EXPECT_EQ(Data().SlotCount(), 2u);
  EXPECT_EQ(std::filesystem::file_size(tables_.File("Rows.DAT")),
            Data().HeaderAreaSize() + 2 * Data().RecordSize());

  TRecordSortRules top;
  top.Limit = 1;
  const TSortColumn by_counter[] = {{2, false}};
  cursor_->SortRecords(by_counter, false, top);
  EXPECT_EQ(Rows(), (std::vector<TRow>{{2, 18, "y"}}));
}

TEST_F(RecordSortTest, DeletedSlotsAreLeftOutAndTheIndexesFollow) {
  Open();
  Insert({{1, 3, "a"}, {2, 1, "b"}, {3, 2, "c"}, {4, 0, "d"}});
  TIndexDef index;
  index.Name = "ByName";
  index.FieldNumbers = {3};
  cursor_->AddIndex(index);
  cursor_->First();
  cursor_->Next();
  cursor_->DeleteRecord();  // Id 1
  const TSortColumn by_counter[] = {{2, false}};
  cursor_->SortRecords(by_counter, false, {});
  EXPECT_EQ(Rows(), (std::vector<TRow>{{4, 0, "d"}, {2, 1, "b"}, {3, 2, "c"}}));
  EXPECT_EQ(Data().FreeChainHead(), 0u);
  cursor_->SetIndex("ByName");
  const std::string wanted[] = {"c"};
  ASSERT_TRUE(cursor_->FindKeyText(wanted));
  EXPECT_EQ(*cursor_->GetFieldInt64(1), 3);
  EXPECT_EQ(cursor_->RecordCount(), 3u);
}

// More records than the cache holds: runs of 10 records in scratch files,
// merged back; the scratch files are gone afterwards.
TEST_F(RecordSortTest, SortsExternallyInRunsWhenTheCacheIsTooSmall) {
  Open(10);
  std::mt19937 random(7);
  std::vector<TRow> rows;
  for (int i = 1; i <= 257; ++i) {
    rows.push_back(
        {i, static_cast<int32_t>(random() % 40) - 20, "n" + std::to_string(random() % 9)});
  }
  Insert(rows);
  ASSERT_GT(Data().SlotCount(), Data().CacheCapacity());

  const TSortColumn by_counter_down[] = {{2, true}};
  const TRecordSortOutcome outcome = cursor_->SortRecords(by_counter_down, false, {});
  EXPECT_EQ(outcome.Runs, 26u);
  std::vector<TRow> expected = rows;
  std::stable_sort(expected.begin(), expected.end(),
                   [](const TRow& a, const TRow& b) { return a.Counter > b.Counter; });
  EXPECT_EQ(Rows(), expected);
  EXPECT_EQ(ScratchFiles(), 0);

  // Distinct names, the first 5 of them.
  TRecordSortRules distinct;
  distinct.Collapse = true;
  distinct.Limit = 5;
  const TSortColumn by_name[] = {{3, false}};
  EXPECT_EQ(cursor_->SortRecords(by_name, false, distinct).Records, 5u);
  std::vector<std::string> names;
  for (const TRow& row : Rows()) names.push_back(row.Name);
  EXPECT_EQ(names, (std::vector<std::string>{"n0", "n1", "n2", "n3", "n4"}));
  EXPECT_EQ(ScratchFiles(), 0);
}

TEST_F(RecordSortTest, ScratchFilesGoWhenTheSortFails) {
  Open(10);
  std::vector<TRow> rows;
  for (int i = 1; i <= 100; ++i) rows.push_back({i, i % 7, "r"});
  Insert(rows);
  TRecordSortRules rules;
  int finished = 0;
  rules.Finish = [&](std::span<uint8_t>) {
    if (++finished == 50) throw std::runtime_error("stop");
    return true;
  };
  const TSortColumn by_counter[] = {{2, false}};
  EXPECT_THROW(cursor_->SortRecords(by_counter, false, rules), std::runtime_error);
  EXPECT_EQ(ScratchFiles(), 0);
  // The table is still usable.
  EXPECT_EQ(cursor_->SortRecords(by_counter, false, {}).Records, 100u);
  EXPECT_EQ(Rows().front().Counter, 0);
}

// A run that cannot be created (no private directory) fails the sort
// before anything is written: the table is as it was.
TEST_F(RecordSortTest, ARunThatCannotBeCreatedLeavesTheTableAsItWas) {
  Open(10);
  std::vector<TRow> rows;
  for (int i = 1; i <= 40; ++i) rows.push_back({i, 40 - i, "r"});
  Insert(rows);
  session_->SetPrivateDirectory(private_.File("missing"));
  const TSortColumn by_counter[] = {{2, false}};
  EXPECT_THROW(cursor_->SortRecords(by_counter, false, {}), EStrataEngineError);
  EXPECT_EQ(Rows(), rows);
  EXPECT_EQ(ScratchFiles(), 0);
}

TEST(SortKeyFormat, ManyColumnsAndRowNumberOrder) {
  // 20 integer columns: more than one index key format holds.
  std::vector<TFieldDescriptor> fields;
  uint16_t offset = kRecordHeaderSize;
  for (uint16_t n = 1; n <= 20; ++n) {
    TFieldDescriptor field;
    field.FieldNumber = n;
    field.Name = "F" + std::to_string(n);
    field.TypeCode = fldINT32;
    field.DataSize = 4;
    field.Offset = offset;
    offset = static_cast<uint16_t>(offset + 5);
    fields.push_back(field);
  }
  std::vector<TSortColumn> columns;
  for (uint16_t n = 1; n <= 20; ++n) columns.push_back({n, n == 20});
  const TSortKeyFormat format(fields, columns, false, 0, "T");
  EXPECT_EQ(format.KeySize(), 20u * 5 + 4);
  std::vector<uint8_t> a(offset, 0), b(offset, 0);
  for (const TFieldDescriptor& field : fields) {
    a[field.Offset] = b[field.Offset] = 1;
  }
  PutI32(a.data() + fields[19].Offset + 1, 5);  // the last column is descending
  PutI32(b.data() + fields[19].Offset + 1, 6);
  SetRowNumber(a.data(), 1);
  SetRowNumber(b.data(), 2);
  std::vector<uint8_t> ka(format.KeySize()), kb(format.KeySize());
  format.BuildKey(a.data(), ka.data());
  format.BuildKey(b.data(), kb.data());
  EXPECT_GT(format.CompareColumns(ka.data(), kb.data()), 0);
  PutI32(b.data() + fields[19].Offset + 1, 5);
  format.BuildKey(b.data(), kb.data());
  EXPECT_EQ(format.CompareColumns(ka.data(), kb.data()), 0);
  EXPECT_LT(format.Compare(ka.data(), kb.data()), 0);  // row 1 before row 2
}

}  // namespace
}  // namespace strata
