#include "sql/exec/condition_placement.h"

#include <gtest/gtest.h>

#include "sql/exec/test_exec_tables.h"
#include "sql/parse/data_query.h"

namespace strata {
namespace {

using testing::TExecFixture;
using Rows = std::vector<std::string>;

class ConditionPlacementTest : public ::testing::Test {
 protected:
  // The cursor of the last statement's source `i`, as the run left it.
  TDataCursor& SourceCursor(size_t i = 0) {
    return *db_.Statement().Statement().Master().SourceTables.at(i).Cursor;
  }
  void InsertUsers(int count) {
    for (int id = 1; id <= count; ++id) {
      db_.Run("insert into \"User.dat\" (ID, Impresskto) values (" + std::to_string(id) + ", " +
              std::to_string(id) + ")");
    }
  }
  TExecFixture db_;
};

TEST_F(ConditionPlacementTest, ALookUpByAnIndexedColumnReadsOnlyItsRange) {
  InsertUsers(50);
  EXPECT_EQ(db_.Rows("select Impresskto from \"User.dat\" where ID = 17"), (Rows{"17"}));
  EXPECT_EQ(SourceCursor().CurrentIndex(), 0);
  EXPECT_TRUE(SourceCursor().HasRange());
  // Two indexed conditions: the narrower range is walked, the other filters.
  EXPECT_EQ(db_.Run("Update \"User.dat\" Set impresskto = impresskto - 1 where (ID = 20) and "
                    "(impresskto > 0);"),
            1);
  EXPECT_EQ(SourceCursor().CurrentIndex(), 0);
  EXPECT_TRUE(SourceCursor().HasRange());
}

TEST_F(ConditionPlacementTest, AnUpdateIsNeverWalkedOverAnIndexOnAColumnItSets) {
  InsertUsers(20);
  // Walking the credit index while raising the credit would meet each row
  // again further on.
  EXPECT_EQ(db_.Run("update \"User.dat\" set Impresskto = Impresskto + 100 where Impresskto > 10"),
            10);
  EXPECT_FALSE(SourceCursor().HasRange());
  EXPECT_EQ(db_.Rows("select Impresskto from \"User.dat\" where ID > 18"), (Rows{"119", "120"}));
  EXPECT_EQ(db_.Rows("select count(*) from \"User.dat\" where Impresskto > 100"), (Rows{"10"}));
}

TEST_F(ConditionPlacementTest, ARangeHoldingNearlyEveryRowIsDeclined) {
  InsertUsers(20);
  EXPECT_EQ(db_.Rows("select count(*) from \"User.dat\" where Impresskto > 1").front(), "19");
  EXPECT_FALSE(SourceCursor().HasRange());
  EXPECT_EQ(db_.Rows("select ID from \"User.dat\" where Impresskto > 18"), (Rows{"19", "20"}));
  EXPECT_TRUE(SourceCursor().HasRange());
}

TEST_F(ConditionPlacementTest, TheJoinedSourceIsLookedUpPerRowOfTheDriver) {
  InsertUsers(30);
  for (int id = 1; id <= 6; ++id) {
    db_.Run("insert into banner (ID, User) values (" + std::to_string(id) + ", " +
            std::to_string(id * 5) + ")");
  }
  EXPECT_EQ(db_.Rows("select B.ID, U.Impresskto from \"Banner.dat\" B, \"User.dat\" U where "
                     "(u.ID = B.User) and (U.Impresskto < 16)"),
            (Rows{"1|5", "2|10", "3|15"}));
  // The user table is bounded by the banner's owner.
  EXPECT_EQ(SourceCursor(1).CurrentIndex(), 0);
  EXPECT_TRUE(SourceCursor(1).HasRange());
}

TEST_F(ConditionPlacementTest, AnOuterJoinsInnerSideIsNeverFilteredByWhere) {
  InsertUsers(3);
  db_.Run("insert into banner (ID, User) values (1, 2)");
  db_.Run("insert into banner (ID, User) values (2, 7)");
  EXPECT_EQ(db_.Rows("select B.ID, U.ID from banner B left join \"User.dat\" U on U.ID = B.User "
                     "where U.ID is null"),
            (Rows{"2|NULL"}));
  EXPECT_EQ(db_.Rows("select B.ID, U.ID from banner B left join \"User.dat\" U on U.ID = B.User "
                     "where (U.Impresskto = 2) or (B.ID = 2)"),
            (Rows{"1|2", "2|NULL"}));
}

TEST_F(ConditionPlacementTest, ASelectWithoutSourcesOfItsConditionsTestsThemOnce) {
  InsertUsers(3);
  EXPECT_EQ(db_.Rows("select ID from \"User.dat\" where 1 = 2"), Rows{});
  EXPECT_EQ(db_.Rows("select ID from \"User.dat\" where 2 = 2").size(), 3u);
}

}  // namespace
}  // namespace strata
