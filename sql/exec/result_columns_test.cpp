#include "sql/exec/result_columns.h"

#include <gtest/gtest.h>

#include "sql/exec/test_exec_tables.h"

namespace strata {
namespace {

using Names = std::vector<std::string>;

TEST(ResultColumnNames, ATakenNameGetsTheFirstFreeNumber) {
  EXPECT_EQ(UniqueColumnName("ID", {}), "ID");
  EXPECT_EQ(UniqueColumnName("id", {"ID"}), "id_1");
  EXPECT_EQ(UniqueColumnName("ID", {"ID", "id_1", "ID_3"}), "ID_2");
}

TEST(ResultColumnNames, ALongNameKeepsItsLastCharacters) {
  const std::string thirty = "abcdefghijklmnopqrstuvwxyz0123";
  EXPECT_EQ(UniqueColumnName(thirty + "45", {}), "cdefghijklmnopqrstuvwxyz012345");
  EXPECT_EQ(UniqueColumnName(thirty, {thirty}), "cdefghijklmnopqrstuvwxyz0123_1");
  std::vector<std::string> taken{thirty};
  for (int i = 1; i <= 9; ++i) taken.push_back(UniqueColumnName(thirty, taken));
  EXPECT_EQ(UniqueColumnName(thirty, taken), "defghijklmnopqrstuvwxyz0123_10");
}

TEST(ResultColumnNames, AggregatesAndExpressionsByTheirKind) {
  testing::TExecFixture db;
  db.Statement().PrepareStatement(
      "select count(*), count(ID), sum(impress), runsum(impress), min(Link), max(Link), "
      "avg(impress), avg(impress + 1), sum(ID * 2) from banner");
  std::unique_ptr<TDataCursor> result = db.Statement().ExecuteStatements();
  ASSERT_TRUE(result);
  Names names;
  for (const TFieldDescriptor& field : result->Fields()) names.push_back(field.Name);
  EXPECT_EQ(names,
            (Names{"Count Of Expr", "Count Of ID", "Sum Of impress", "Running Sum Of impress",
                   "Min Of Link", "Max Of Link", "Average Of impress", "Average Of Expr",
                   "Sum Of Expr", "Sys__Avg__Count", "Sys__Avg__Count_1"}));
  // One row even over an empty table.
  EXPECT_EQ(result->RecordCount(), 1u);
}

}  // namespace
}  // namespace strata
