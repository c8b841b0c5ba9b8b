#include "sql/exec/result_shaping.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "storage/byte_order.h"
#include "storage/cursor/data_cursor.h"
#include "storage/engine_error.h"
#include "storage/session/data_session.h"
#include "storage/test_temp_dir.h"

namespace strata {
namespace {

using TTexts = std::vector<std::string>;  // one row, "" for blank

struct TColumnSpec {
  const char* Name;
  uint8_t Type;
  uint8_t Size = 0;
};

// A result table in a private folder, filled through a cursor as the row
// loop fills it, then shaped and read back as texts in natural order.
class ResultShapingTest : public ::testing::Test {
 protected:
  void Create(std::initializer_list<TColumnSpec> columns, const std::vector<TTexts>& rows,
              uint32_t cache_count = 8192) {
    session_ = TDataSession::Create();
    session_->SetPrivateDirectory(dir_.Dir());
    session_->Settings().RecordCacheCount = cache_count;
    directory_ = session_->OpenPrivateDirectory();
    TTableDefinition definition;
    definition.Name = directory_->TemporaryTableName();
    uint16_t number = 0;
    for (const TColumnSpec& column : columns) {
      TFieldDescriptor field;
      field.FieldNumber = ++number;
      field.Name = column.Name;
      field.TypeCode = column.Type;
      field.DeclaredSize = column.Size;
      definition.Fields.push_back(field);
    }
    result_ = std::make_unique<TDataCursor>(directory_);
    result_->CreateTable(definition);
    result_->Open(definition.Name, {.Exclusive = true});
    for (const TTexts& row : rows) {
      result_->InitRecord();
      for (size_t i = 0; i < row.size(); ++i) {
        if (!row[i].empty()) result_->PutFieldText(static_cast<uint16_t>(i + 1), row[i]);
      }
      result_->InsertRecord();
    }
  }

  std::vector<TTexts> Shape(const TResultShape& shape, size_t shown = 0) {
    ShapeResult(*result_, shape);
    std::vector<TTexts> rows;
    const size_t columns = shown > 0 ? shown : result_->Fields().size();
    result_->First();
    while (result_->MoveNext()) {
      TTexts row;
      for (size_t i = 1; i <= columns; ++i) {
        row.push_back(result_->GetFieldText(static_cast<uint16_t>(i)).value_or(""));
      }
      rows.push_back(row);
    }
    EXPECT_EQ(result_->RecordCount(), rows.size());
    return rows;
  }

  testing::TTempDir dir_;
  std::shared_ptr<TDataSession> session_;
  std::shared_ptr<TDataDirectory> directory_;
  std::unique_ptr<TDataCursor> result_;
};

TEST_F(ResultShapingTest, OrderByColumnsDescendingNoCaseAndTop) {
  Create({{"Name", fldZSTRING, 10}, {"impress", fldINT32}},
         {{"b", "5"}, {"A", "3"}, {"a", "5"}, {"B", "1"}, {"c", ""}});
  TResultShape shape;
  shape.OrderBy = {{2, false}};
  EXPECT_EQ(Shape(shape),
            (std::vector<TTexts>{{"c", ""}, {"B", "1"}, {"A", "3"}, {"b", "5"}, {"a", "5"}}));
  shape.OrderBy = {{2, true}, {1, false}};
  shape.Top = 3;
  EXPECT_EQ(Shape(shape), (std::vector<TTexts>{{"a", "5"}, {"b", "5"}, {"A", "3"}}));
  shape.OrderBy = {{1, false}};
  shape.OrderByNoCase = true;
  shape.Top = -1;
  // a and A are equal now: they keep the order of the sort before.
  EXPECT_EQ(Shape(shape), (std::vector<TTexts>{{"a", "5"}, {"A", "3"}, {"b", "5"}}));
}

TEST_F(ResultShapingTest, TopWithoutOrderKeepsTheFirstRows) {
  Create({{"N", fldINT32}}, {{"3"}, {"1"}, {"2"}});
  TResultShape shape;
  shape.Top = 2;
  EXPECT_EQ(Shape(shape), (std::vector<TTexts>{{"3"}, {"1"}}));
  shape.Top = 0;
  EXPECT_TRUE(Shape(shape).empty());
}

TEST_F(ResultShapingTest, DistinctAndDuplicateRemovalLeaveOneRowPerValue) {
  Create({{"A", fldINT32}, {"B", fldZSTRING, 5}},
         {{"2", "x"}, {"1", "y"}, {"2", "x"}, {"1", ""}, {"1", "y"}, {"", ""}, {"", ""}});
  TResultShape shape;
  shape.Distinct = true;
  EXPECT_EQ(Shape(shape), (std::vector<TTexts>{{"", ""}, {"1", ""}, {"1", "y"}, {"2", "x"}}));
  TResultShape union_shape;
  union_shape.RemoveDuplicates = true;
  union_shape.OrderBy = {{1, true}};
  union_shape.Top = 2;
  EXPECT_EQ(Shape(union_shape), (std::vector<TTexts>{{"2", "x"}, {"1", ""}}));
}

// After a UNION two averages that agree are one row, whatever their hidden
// counts say.
TEST_F(ResultShapingTest, DuplicateRemovalLooksAtTheShownColumnsOnly) {
  Create({{"A", fldFLOAT}, {"Sys__Avg__Count", fldINT32}},
         {{"2.5", "4"}, {"2.5", "2"}, {"1", "1"}});
  TResultShape shape;
  shape.RemoveDuplicates = true;
  EXPECT_EQ(Shape(shape, 1), (std::vector<TTexts>{{"1"}, {"2.5"}}));
}

// The row loop's values: SUM/RUNSUM/MIN/MAX/AVG the argument (blank for
// NULL), COUNT 1 or 0, the AVG count column 1 or 0.
TEST_F(ResultShapingTest, GroupByFoldsEveryAggregateKind) {
  Create({{"G", fldZSTRING, 5},
          {"S", fldINT32},
          {"R", fldFLOAT},
          {"C", fldINT32},
          {"Mn", fldZSTRING, 5},
          {"Mx", fldINT32},
          {"Av", fldFLOAT},
          {"Sys__Avg__Count", fldINT32}},
         {{"b", "4", "1", "1", "q", "7", "2", "1"},
          {"a", "1", "0.5", "1", "m", "-3", "", "0"},
          {"b", "", "2", "0", "", "", "4", "1"},
          {"a", "2", "0.25", "1", "k", "9", "3", "1"},
          {"c", "", "", "0", "", "", "", "0"}});
  TResultShape shape;
  shape.Grouped = true;
  shape.GroupBy = {1};
  shape.Columns = {{2, TAggregateKind::kSum},   {3, TAggregateKind::kRunSum},
                   {4, TAggregateKind::kCount}, {5, TAggregateKind::kMin},
                   {6, TAggregateKind::kMax},   {7, TAggregateKind::kAvg, 8}};
  EXPECT_EQ(Shape(shape, 7), (std::vector<TTexts>{{"a", "3", "0.75", "2", "k", "9", "3"},
                                                  {"b", "4", "3.75", "1", "q", "7", "3"},
                                                  {"c", "0", "3.75", "0", "", "", "0"}}));
}

TEST_F(ResultShapingTest, HavingDropsGroupsAndTheRunningSumFollowsTheRowsKept) {
  Create({{"G", fldINT32}, {"S", fldINT32}, {"R", fldINT32}},
         {{"1", "5", "5"}, {"2", "1", "1"}, {"1", "5", "5"}, {"3", "7", "7"}, {"2", "1", "1"}});
  TResultShape shape;
  shape.Grouped = true;
  shape.GroupBy = {1};
  shape.Columns = {{2, TAggregateKind::kSum}, {3, TAggregateKind::kRunSum}};
  shape.Having = [this](std::span<const uint8_t> group) {
    uint8_t value[4];
    result_->GetField(2, group, value);
    return GetI32(value) >= 5;
  };
  shape.OrderBy = {{2, true}};
  EXPECT_EQ(Shape(shape), (std::vector<TTexts>{{"1", "10", "10"}, {"3", "7", "17"}}));
}

TEST_F(ResultShapingTest, AggregatesOverAnEmptyTableGiveOneRow) {
  Create({{"S", fldINT32}, {"C", fldINT32}, {"M", fldINT32}, {"A", fldFLOAT}, {"N", fldINT32}}, {});
  TResultShape shape;
  shape.Grouped = true;
  shape.Columns = {{1, TAggregateKind::kSum},
                   {2, TAggregateKind::kCount},
                   {3, TAggregateKind::kMax},
                   {4, TAggregateKind::kAvg, 5}};
  EXPECT_EQ(Shape(shape, 4), (std::vector<TTexts>{{"0", "0", "", "0"}}));
}

TEST_F(ResultShapingTest, WholeTableAggregatesCollapseIntoOneRow) {
  Create({{"S", fldINT32}, {"A", fldINT32}, {"N", fldINT32}},
         {{"3", "3", "1"}, {"4", "4", "1"}, {"", "", "0"}});
  TResultShape shape;
  shape.Grouped = true;
  shape.Columns = {{1, TAggregateKind::kSum}, {2, TAggregateKind::kAvg, 3}};
  EXPECT_EQ(Shape(shape, 2), (std::vector<TTexts>{{"7", "4"}}));  // 3.5 rounds to 4
}

// A sum beyond its column's range is an error, not a wrapped value.
TEST_F(ResultShapingTest, ASumBeyondItsColumnsRangeIsRefused) {
  Create({{"G", fldINT32}, {"S", fldINT32}}, {{"1", "2147483000"}, {"1", "1000"}});
  TResultShape shape;
  shape.Grouped = true;
  shape.GroupBy = {1};
  shape.Columns = {{2, TAggregateKind::kSum}};
  EXPECT_THROW(ShapeResult(*result_, shape), EStrataEngineError);
}

// A result larger than the record cache is grouped and ordered through the
// external sort; its scratch files go.
TEST_F(ResultShapingTest, LargeResultsGroupAndOrderThroughScratchFiles) {
  std::vector<TTexts> rows;
  std::map<int, std::pair<int, int>> expected;  // group -> count, sum
  for (int i = 0; i < 300; ++i) {
    const int group = (i * 7) % 11;
    rows.push_back({std::to_string(group), std::to_string(i), "1"});
    expected[group].first += 1;
    expected[group].second += i;
  }
  Create({{"G", fldINT32}, {"S", fldINT32}, {"C", fldINT32}}, rows, 8);
  TResultShape shape;
  shape.Grouped = true;
  shape.GroupBy = {1};
  shape.Columns = {{2, TAggregateKind::kSum}, {3, TAggregateKind::kCount}};
  shape.OrderBy = {{2, true}};
  std::vector<TTexts> wanted;
  for (const auto& [group, count_sum] : expected) {
    wanted.push_back(
        {std::to_string(group), std::to_string(count_sum.second), std::to_string(count_sum.first)});
  }
  std::stable_sort(wanted.begin(), wanted.end(), [](const TTexts& a, const TTexts& b) {
    return std::stoi(a[1]) > std::stoi(b[1]);
  });
  EXPECT_EQ(Shape(shape), wanted);
  for (const auto& entry : std::filesystem::directory_iterator(dir_.Dir())) {
    EXPECT_NE(entry.path().extension(), ".TMP") << entry.path();
  }
}

}  // namespace
}  // namespace strata
