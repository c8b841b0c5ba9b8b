#include "sql/exec/auto_transaction.h"

#include <gtest/gtest.h>

#include "sql/exec/test_exec_tables.h"
#include "sql/parse/data_query.h"

namespace strata {
namespace {

using testing::TExecFixture;

class AutoTransactionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cursor_ = std::make_unique<TDataCursor>(db_.SharedDatabase());
    cursor_->Open("Visitor");
  }
  void Insert(const std::string& request) {
    cursor_->InitRecord();
    cursor_->PutFieldString(2, request);
    cursor_->InsertRecord();
  }

  TExecFixture db_;
  std::unique_ptr<TDataCursor> cursor_;
};

TEST_F(AutoTransactionTest, TheIntervalComesFromTheRecordCacheAndTheRecordLength) {
  TCommitOption none;
  TAutoTransaction transaction(*cursor_, none);
  EXPECT_TRUE(transaction.Automatic());
  const int64_t length = cursor_->RecordSize();
  EXPECT_EQ(transaction.Interval(), std::min<int64_t>(2 * 16384 / length, 8192));
  TCommitOption given;
  given.Interval = 3;
  transaction.Finish();
  TAutoTransaction with_interval(*cursor_, given);
  EXPECT_EQ(with_interval.Interval(), 3);
}

TEST_F(AutoTransactionTest, ChangesNotCommittedAreRolledBackWhenItGoes) {
  TCommitOption every_two;
  every_two.Interval = 2;
  {
    TAutoTransaction transaction(*cursor_, every_two);
    for (int i = 1; i <= 3; ++i) {
      Insert("r" + std::to_string(i));
      transaction.RowDone(i);
    }
    // Gone without Finish: the third row goes, the two committed stay.
  }
  EXPECT_FALSE(db_.Database().InTransaction());
  EXPECT_EQ(db_.Rows("select request from visitor"), (std::vector<std::string>{"r1", "r2"}));
}

TEST_F(AutoTransactionTest, AUserTransactionIsLeftToTheUser) {
  db_.Database().StartTransaction();
  {
    TCommitOption none;
    TAutoTransaction transaction(*cursor_, none);
    EXPECT_FALSE(transaction.Automatic());
    Insert("mine");
    transaction.RowDone(1);
    transaction.Finish();
  }
  EXPECT_TRUE(db_.Database().InTransaction());
  db_.Database().Rollback();
  EXPECT_EQ(db_.Rows("select request from visitor"), std::vector<std::string>{});
}

}  // namespace
}  // namespace strata
