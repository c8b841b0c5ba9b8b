#include "sql/exec/row_loop.h"

#include <gtest/gtest.h>

#include "sql/exec/test_exec_tables.h"

namespace strata {
namespace {

using testing::TExecFixture;
using Rows = std::vector<std::string>;

// A statement runner of its own, with progress reports.
class RowLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int id = 1; id <= 10; ++id) {
      db_.Run("insert into links (id, Link) values (" + std::to_string(id) + ", 'l" +
              std::to_string(id) + "')");
    }
    TExecutorOptions options;
    options.ProgressSteps = 25;
    options.Progress = [this](int percent) {
      reports_.push_back(percent);
      return stop_at_ < 0 || percent < stop_at_;
    };
    executor_ = MakeStatementExecutor(db_.SharedDatabase(), options);
    statement_ = std::make_unique<TQueryStatement>(*executor_);
  }
  std::unique_ptr<TDataCursor> Run(const std::string& sql, bool live = false) {
    statement_->SetResultOptions(live, -1);
    statement_->PrepareStatement(sql);
    return statement_->ExecuteStatements();
  }

  TExecFixture db_;
  std::vector<int> reports_;
  int stop_at_ = -1;
  std::unique_ptr<TStatementExecutor> executor_;
  std::unique_ptr<TQueryStatement> statement_;
};

TEST_F(RowLoopTest, ProgressIsReportedInStepsAndAtTheEnd) {
  std::unique_ptr<TDataCursor> result = Run("select id from links");
  EXPECT_EQ(reports_, (std::vector<int>{30, 60, 90, 100}));
  EXPECT_EQ(result->RecordCount(), 10u);
}

TEST_F(RowLoopTest, TheProgressCallbackMayStopTheLoop) {
  stop_at_ = 60;
  std::unique_ptr<TDataCursor> result = Run("select id from links");
  EXPECT_EQ(reports_, (std::vector<int>{30, 60}));
  EXPECT_EQ(TExecFixture::RowsOf(*result), (Rows{"1", "2", "3", "4", "5"}));
  // Rows changed before the stop stay changed.
  reports_.clear();
  Run("update links set Link = 'x'");
  EXPECT_EQ(statement_->RowsAffected(), 5);
  EXPECT_EQ(db_.Rows("select id from links where Link = 'x'").size(), 5u);
}

TEST_F(RowLoopTest, ALiveResultIsTheSourceTableItself) {
  std::unique_ptr<TDataCursor> live = Run("select * from links where (id > 3) and (id < 7)", true);
  ASSERT_TRUE(live);
  EXPECT_TRUE(SameTableName(live->TableName(), "Links"));
  EXPECT_FALSE(live->Exclusive());
  EXPECT_EQ(live->RecordCount(), 3u);
  EXPECT_EQ(TExecFixture::RowsOf(*live), (Rows{"4|l4", "5|l5", "6|l6"}));
  EXPECT_EQ(db_.PrivateFiles(), 0u);
  // Anything computed makes a copied result again.
  std::unique_ptr<TDataCursor> copied = Run("select id + 1 from links where id = 2", true);
  EXPECT_FALSE(SameTableName(copied->TableName(), "Links"));
  EXPECT_EQ(TExecFixture::RowsOf(*copied), (Rows{"3"}));
}

TEST_F(RowLoopTest, WithLocksReadsUnderTheTableLockAndGivesItBack) {
  std::unique_ptr<TDataCursor> result = Run("select id from links where id < 3 with locks");
  EXPECT_EQ(TExecFixture::RowsOf(*result), (Rows{"1", "2"}));
  // Another session of the process can write again at once.
  auto other = TDataSession::Create();
  TDataCursor cursor(other->OpenDirectory("", db_.Database().Path()));
  cursor.Open("Links");
  cursor.InitRecord();
  cursor.PutFieldInt64(1, 99);
  cursor.InsertRecord();
  EXPECT_EQ(db_.Rows("select id from links where id = 99"), (Rows{"99"}));
}

}  // namespace
}  // namespace strata
