#include "sql/exec/strata_executor.h"

#include <gtest/gtest.h>

#include "sql/exec/test_exec_tables.h"

namespace strata {
namespace {

using testing::TExecFixture;
using Rows = std::vector<std::string>;

class StrataExecutorTest : public ::testing::Test {
 protected:
  void InsertBanners(int count) {
    for (int id = 1; id <= count; ++id) {
      db_.Run("insert into \"Banner.dat\" (ID, Link, User, Blocked, impress) values (" +
              std::to_string(id) + ", " + std::to_string(id % 3) + ", " + std::to_string(id % 4) +
              ", " + (id % 5 == 0 ? "true" : "false") + ", " + std::to_string(100 - id) + ")");
    }
  }
  TExecFixture db_;
};

TEST_F(StrataExecutorTest, InsertThenSelectByThePrimaryIndex) {
  InsertBanners(12);
  EXPECT_EQ(db_.Rows("Select Banner, ID from \"Banner.dat\" where (ID = 7);"), (Rows{"NULL|7"}));
  EXPECT_EQ(db_.Rows("select ID, impress from banner where ID = 12"), (Rows{"12|88"}));
  // Blocked rows are left out by the second condition.
  EXPECT_EQ(
      db_.Rows("Select Banner, ID from \"Banner.dat\" where (ID = 10) and (Blocked = false);"),
      Rows{});
}

TEST_F(StrataExecutorTest, ANonIndexedConditionIsTestedPerRow) {
  InsertBanners(12);
  // Link <> 0 no index range answers; blocked = False one does.
  EXPECT_EQ(db_.Rows("select ID from \"Banner.dat\" where (blocked = False) and (Link <> 0) and "
                     "(ID < 9)"),
            (Rows{"1", "2", "4", "7", "8"}));
  EXPECT_EQ(db_.Rows("select ID from banner where (impress > 95) or (ID = 10)"),
            (Rows{"1", "2", "3", "4", "10"}));
}

TEST_F(StrataExecutorTest, ASelectMatchingNoRowGivesAnEmptyOpenResult) {
  InsertBanners(3);
  db_.Statement().PrepareStatement("select * from banner where ID = 99");
  std::unique_ptr<TDataCursor> result = db_.Statement().ExecuteStatements();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->RecordCount(), 0u);
  EXPECT_EQ(result->Fields().size(), 6u);
}

TEST_F(StrataExecutorTest, MaxRowCountAndTopLimitTheRows) {
  InsertBanners(10);
  EXPECT_EQ(db_.Rows("select ID from banner", 0), Rows{});
  EXPECT_EQ(db_.Rows("select ID from banner", -1).size(), 10u);
  EXPECT_EQ(db_.Rows("select ID from banner", 3), (Rows{"1", "2", "3"}));
  EXPECT_EQ(db_.Rows("select ID from banner TOP 5"), (Rows{"1", "2", "3", "4", "5"}));
}

TEST_F(StrataExecutorTest, ResultColumnsAreNamedByTheirItems) {
  InsertBanners(1);
  db_.Statement().PrepareStatement(
      "select ID, ID, impress + 1, ID as Nr, impress * 2, "
      "ID as abcdefghijklmnopqrstuvwxyz0123456789, ID as \"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123\", "
      "ID as \"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123\", impress as nr from banner");
  std::unique_ptr<TDataCursor> result = db_.Statement().ExecuteStatements();
  ASSERT_TRUE(result);
  std::vector<std::string> names;
  for (const TFieldDescriptor& field : result->Fields()) names.push_back(field.Name);
  EXPECT_EQ(names, (Rows{"ID", "ID_1", "Expression", "Nr", "Expression_1",
                         "ghijklmnopqrstuvwxyz0123456789", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123",
                         "CDEFGHIJKLMNOPQRSTUVWXYZ0123_1", "nr_1"}));
}

TEST_F(StrataExecutorTest, TheVisitorRoundOfTheBannerService) {
  const std::string now = "2026-12-08  04:03:24";
  db_.Run("insert into \"visitor.dat\" (LastReq, SiteNo, request, LastKenn) values ('" + now +
          "', 1, '192.168 Mozilla', 'top');");
  db_.Run(
      "insert into \"visitor.dat\" (LastReq, SiteNo, request, LastKenn) values "
      "('2026-12-08  01:00:00', 1, 'other', 'top');");
  EXPECT_EQ(db_.Rows("Select id from \"Visitor.dat\" where (request = '192.168 Mozilla') and "
                     "(LastReq > '2026-12-08  02:33:24');"),
            (Rows{"1"}));
  EXPECT_EQ(
      db_.Run("update \"visitor.dat\" Set LastReq = '2026-12-08  04:05:00', SiteNo = SiteNo + "
              "1, LastKenn = 'side' where id = 1;"),
      1);
  EXPECT_EQ(db_.Rows("select id, LastReq, SiteNo, LastKenn from visitor where id = 1"),
            (Rows{"1|2026-12-08  04:05:00|2|side"}));
  EXPECT_EQ(db_.Run("Delete from visitor where LastReq < '2026-12-08  02:33:24';"), 1);
  EXPECT_EQ(db_.Rows("select id from visitor"), (Rows{"1"}));
}

TEST_F(StrataExecutorTest, UpdateOfNoRowChangesNothing) {
  InsertBanners(3);
  EXPECT_EQ(db_.Run("Update \"Banner.dat\" Set impress = impress + 1 where ID = 5;"), 0);
  EXPECT_EQ(db_.Run("Update \"Banner.dat\" Set impress = impress + 1 where ID = 2;"), 1);
  EXPECT_EQ(db_.Rows("select impress from banner where ID = 2"), (Rows{"99"}));
}

TEST_F(StrataExecutorTest, SetValuesSeeTheAssignmentsBeforeThem) {
  db_.Run("insert into \"Banner.dat\" (ID, Link, User) values (1, 10, 20)");
  db_.Run("update banner set Link = User, User = Link");
  EXPECT_EQ(db_.Rows("select Link, User from banner"), (Rows{"20|20"}));
}

TEST_F(StrataExecutorTest, ABooleanCounterAndTheCreditDebit) {
  db_.Run("insert into \"User.dat\" (ID, Impresskto) values (1, 2)");
  const std::string debit =
      "Update \"User.dat\" Set impresskto = impresskto - 1 where (ID = 1) and (impresskto > 0);";
  EXPECT_EQ(db_.Run(debit), 1);
  EXPECT_EQ(db_.Run(debit), 1);
  EXPECT_EQ(db_.Run(debit), 0);
  EXPECT_EQ(db_.Rows("select Impresskto from \"User.dat\""), (Rows{"0"}));
}

TEST_F(StrataExecutorTest, DeleteRemovesAdjacentQualifyingRows) {
  for (int i = 1; i <= 8; ++i) {
    db_.Run("insert into visitor (LastReq, request) values ('2026-12-08  0" + std::to_string(i) +
            ":00:00', 'v" + std::to_string(i) + "')");
  }
  // Rows 2, 3, 4 stand next to each other, 6 alone; with and without an index.
  db_.Run("update visitor set LastReq = '2026-12-08  00:00:00' where (id = 6) or (id = 3)");
  EXPECT_EQ(db_.Run("Delete from visitor where (LastReq < '2026-12-08  05:00:00') and (id > 1)"),
            4);
  EXPECT_EQ(db_.Rows("select request from visitor"), (Rows{"v1", "v5", "v7", "v8"}));
  EXPECT_EQ(db_.Run("delete from visitor where id >= 7"), 2);
  EXPECT_EQ(db_.Rows("select id from visitor"), (Rows{"1", "5"}));
}

TEST_F(StrataExecutorTest, InsertChecksItsValuesBeforeWritingAnything) {
  EXPECT_EQ(db_.ErrorOf("insert into banner (ID, Link, User) values (1, 2)"),
            "Strata Engine Error # 11949 SQL error - The number of values must match the number "
            "of table columns");
  EXPECT_EQ(db_.Rows("select * from banner"), Rows{});
  EXPECT_NE(db_.ErrorOf("insert into banner (ID, Link) values (1, 'abc')")
                .find("Type mismatch between column 'Link' and constant"),
            std::string::npos);
  EXPECT_EQ(db_.Rows("select * from banner"), Rows{});
}

TEST_F(StrataExecutorTest, NullAndTheEmptyStringStoreNull) {
  db_.Run("insert into links (id, Link) values (1, '')");
  db_.Run("insert into links (id, Link) values (2, NULL)");
  db_.Run("insert into links (id, Link) values (3, 'x')");
  EXPECT_EQ(db_.Rows("select id, Link from links"), (Rows{"1|NULL", "2|NULL", "3|x"}));
  EXPECT_EQ(db_.Rows("select id from links where Link is null"), (Rows{"1", "2"}));
}

TEST_F(StrataExecutorTest, AutoIncrementNumbersUnlessNoAutoInc) {
  db_.Run(
      "insert into \"Pages.dat\" (time, valid, \"count\", nr, page) values "
      "(\"2024-01-01  00:00:00\",1,1,'a','b');");
  db_.Run("insert into pages (ID, page) values (77, 'given') NOAUTOINC");
  db_.Run("insert into pages (ID, page) values (77, 'numbered')");
  EXPECT_EQ(db_.Rows("select ID, Page, Nr, Time, valid, \"count\" from pages"),
            (Rows{"1|b|a|2024-01-01  00:00:00|1|1", "77|given|NULL|NULL|NULL|NULL",
                  "78|numbered|NULL|NULL|NULL|NULL"}));
}

TEST_F(StrataExecutorTest, TwoUpdatesOfOneTextBothRun) {
  db_.Run(
      "insert into pages (page, Time, valid, \"count\") values ('p', '2026-12-08  04:00:00', 1, "
      "1)");
  EXPECT_EQ(db_.Run("Update \"Pages.dat\" Set valid = valid + 1 where (ID = 1) and (Time > "
                    "'2026-12-08  02:00:00');\r\nUpdate \"Pages.dat\" Set Time = '2026-12-08  "
                    "04:10:00', \"count\" = \"count\" + 1 where ID = 1;"),
            2);
  EXPECT_EQ(db_.Rows("select valid, \"count\", Time from pages"),
            (Rows{"2|2|2026-12-08  04:10:00"}));
}

TEST_F(StrataExecutorTest, AFailingRowRollsTheWholeUpdateBack) {
  for (int i = 1; i <= 12; ++i) {
    db_.Run("insert into pages (Nr, valid) values ('" + std::string(i == 10 ? "x" : "5") + "', " +
            std::to_string(i) + ")");
  }
  EXPECT_NE(db_.ErrorOf("update pages set valid = Nr"), "");
  EXPECT_EQ(db_.Rows("select valid from pages where ID <= 9"),
            (Rows{"1", "2", "3", "4", "5", "6", "7", "8", "9"}));
  // With an interval of 4 the first eight rows were committed before.
  EXPECT_NE(db_.ErrorOf("update pages set valid = Nr COMMIT INTERVAL 4"), "");
  EXPECT_EQ(db_.Rows("select valid from pages where ID <= 9"),
            (Rows{"5", "5", "5", "5", "5", "5", "5", "5", "9"}));
}

TEST_F(StrataExecutorTest, UserTransactionsAndTheirMessages) {
  EXPECT_EQ(db_.ErrorOf("commit"),
            "Strata Engine Error # 11949 SQL error - Transaction not in "
            "progress for database 'BannerDB'");
  EXPECT_EQ(db_.ErrorOf("rollback work"),
            "Strata Engine Error # 11949 SQL error - Transaction "
            "not in progress for database 'BannerDB'");
  db_.Run("start transaction");
  EXPECT_EQ(db_.ErrorOf("start transaction"),
            "Strata Engine Error # 11949 SQL error - "
            "Transaction already in progress for database "
            "'BannerDB'");
  db_.Run("insert into links (id, Link) values (1, 'a')");
  db_.Run("insert into links (id, Link) values (2, 'b')");
  db_.Run("rollback");
  EXPECT_EQ(db_.Rows("select id from links"), Rows{});
  db_.Run("start transaction; insert into links (id, Link) values (3, 'c'); commit flush");
  EXPECT_EQ(db_.Rows("select id from links"), (Rows{"3"}));
}

TEST_F(StrataExecutorTest, ResultTablesLeaveThePrivateDirectory) {
  InsertBanners(4);
  db_.Statement().PrepareStatement("select * from banner");
  std::unique_ptr<TDataCursor> result = db_.Statement().ExecuteStatements();
  EXPECT_EQ(db_.PrivateFiles(), 0u);  // a small result stays in memory
  result.reset();
  EXPECT_EQ(db_.PrivateFiles(), 0u);
  // A failing row loop leaves none behind either.
  EXPECT_NE(db_.ErrorOf("select ID from banner where cast('x' as integer) = ID"), "");
  EXPECT_EQ(db_.PrivateFiles(), 0u);
  // A statement prepared and never run drops its result table with the next.
  db_.Statement().PrepareStatement("select * from banner");
  db_.Rows("select ID from banner where ID = 1");
  EXPECT_EQ(db_.PrivateFiles(), 0u);
}

TEST_F(StrataExecutorTest, AMissingTableFailsAtPrepare) {
  EXPECT_NE(db_.ErrorOf("select * from nosuch").find("11010"), std::string::npos);
}

}  // namespace
}  // namespace strata

namespace strata {
namespace {

TEST_F(StrataExecutorTest, SelectIntoMakesATableOfTheDatabase) {
  InsertBanners(3);
  EXPECT_EQ(db_.Rows("select ID, impress * 2 as twice into Doubled from banner where ID > 1"),
            (Rows{"2|196", "3|194"}));
  EXPECT_TRUE(db_.Database().TableExists("Doubled"));
  EXPECT_EQ(db_.Rows("select * from doubled"), (Rows{"2|196", "3|194"}));
  EXPECT_EQ(db_.PrivateFiles(), 0u);
}

}  // namespace
}  // namespace strata

namespace strata {
namespace {

TEST_F(StrataExecutorTest, ATableNamedWithItsPathOpensInThatFolder) {
  InsertBanners(2);
  testing::TTempDir elsewhere;
  {
    auto session = TDataSession::Create();
    auto directory = session->OpenDirectory("", elsewhere.Dir());
    directory->CreateTable(testing::DefinitionOf(testing::BannerSchema()[1], true),
                           {.Exclusive = true}, false);
  }
  const std::string user_table = "\"" + elsewhere.Dir() + "User.dat\"";
  db_.Run("insert into " + user_table + " (ID, Impresskto) values (1, 9)");
  EXPECT_EQ(
      db_.Rows("select B.ID, U.Impresskto from banner B, " + user_table + " U where U.ID = B.User"),
      (Rows{"1|9"}));
  // The database's own User table is another one.
  EXPECT_EQ(db_.Rows("select * from \"User.dat\""), Rows{});
}

TEST_F(StrataExecutorTest, MemoryTablesLiveInTheMemoryDatabase) {
  InsertBanners(3);
  db_.Rows("select ID, impress into memory Scratch from banner where ID < 3");
  EXPECT_EQ(db_.Rows("select * from memory Scratch"), (Rows{"1|99", "2|98"}));
  db_.Run("update memory Scratch set impress = 0 where ID = 2");
  EXPECT_EQ(db_.Rows("select impress from memory Scratch where ID = 2"), (Rows{"0"}));
  EXPECT_NE(db_.ErrorOf("select * from Scratch").find("11010"), std::string::npos);
}

TEST_F(StrataExecutorTest, AConditionNoValueOfTheColumnCanMeetGivesNoRows) {
  InsertBanners(3);
  EXPECT_EQ(db_.Rows("select ID from banner where ID = 99999999999"), Rows{});
  EXPECT_EQ(db_.Rows("select ID from banner where (ID > 2) and (ID < 99999999999)"), (Rows{"3"}));
}

}  // namespace
}  // namespace strata

namespace strata {
namespace {

TEST_F(StrataExecutorTest, ParametersTakeTheirValuesInConditionsAndValues) {
  InsertBanners(5);
  db_.Statement().SetResultOptions(false, -1);
  db_.Statement().PrepareStatement("select ID, impress from banner where ID = ?");
  TExpValue id;
  id.SetInt(fldINT32, 4);
  std::unique_ptr<TDataCursor> result = db_.Statement().ExecuteStatements({&id, 1});
  EXPECT_EQ(TExecFixture::RowsOf(*result), (Rows{"4|96"}));
  db_.Statement().PrepareStatement("update banner set impress = ? where ID > ?");
  TExpValue values[2];
  values[0].SetInt(fldINT32, 0);
  values[1].SetInt(fldINT32, 3);
  db_.Statement().ExecuteStatements(values);
  EXPECT_EQ(db_.Statement().RowsAffected(), 2);
  EXPECT_EQ(db_.Rows("select ID from banner where impress = 0"), (Rows{"4", "5"}));
}

TEST_F(StrataExecutorTest, AnUpdateThroughAJoinTakesValuesOfTheOtherTable) {
  InsertBanners(4);
  db_.Run("insert into \"User.dat\" (ID, Impresskto) values (1, 50)");
  db_.Run("insert into \"User.dat\" (ID, Impresskto) values (2, 60)");
  EXPECT_EQ(db_.Run("update banner B set B.impress = U.Impresskto + B.ID from banner B, "
                    "\"User.dat\" U where U.ID = B.User"),
            2);
  EXPECT_EQ(db_.Rows("select ID, User, impress from banner"),
            (Rows{"1|1|51", "2|2|62", "3|3|97", "4|0|96"}));
}

TEST_F(StrataExecutorTest, InsideAUserTransactionOnlyACommitIntervalCommits) {
  db_.Run("insert into links (id, Link) values (1, 'a')");
  db_.Database().StartTransaction();
  // Inside a user transaction no interval commits end it.
  db_.Run("update links set Link = 'b'");
  EXPECT_TRUE(db_.Database().InTransaction());
  db_.Run("update links set Link = 'c' COMMIT INTERVAL 1");
  db_.Database().Rollback();
  // The interval commit made 'c' stay.
  EXPECT_EQ(db_.Rows("select Link from links"), (Rows{"c"}));
}

}  // namespace
}  // namespace strata

namespace strata {
namespace {

TEST_F(StrataExecutorTest, MaxRowCountBoundsAWholeUnion) {
  InsertBanners(3);
  db_.Run("insert into links (id, Link) values (7, 'x')");
  db_.Run("insert into links (id, Link) values (8, 'y')");
  EXPECT_EQ(db_.Rows("select ID from banner union all select id from links", 4),
            (Rows{"1", "2", "3", "7"}));
  EXPECT_EQ(db_.Rows("select ID from banner union all select id from links", -1).size(), 5u);
}

}  // namespace
}  // namespace strata

namespace strata {
namespace {

TEST_F(StrataExecutorTest, ALargeResultIsWholeAndOrderedBeyondTheCaches) {
  {
    TDataCursor cursor(db_.SharedDatabase());
    cursor.Open("User");
    db_.Database().StartTransaction();
    for (int id = 1; id <= 6000; ++id) {
      cursor.InitRecord();
      cursor.PutFieldInt64(1, id);
      cursor.PutFieldInt64(2, (id * 7919) % 6007);
      cursor.InsertRecord();
    }
    db_.Database().Commit();
  }
  db_.Statement().PrepareStatement("select ID, Impresskto from \"User.dat\" order by 2 desc, 1");
  std::unique_ptr<TDataCursor> result = db_.Statement().ExecuteStatements();
  ASSERT_EQ(result->RecordCount(), 6000u);
  int64_t previous = INT64_MAX;
  size_t rows = 0;
  result->First();
  while (result->MoveNext()) {
    const int64_t credit = result->GetFieldInt64(2).value_or(-1);
    ASSERT_LE(credit, previous);
    previous = credit;
    ++rows;
  }
  EXPECT_EQ(rows, 6000u);
  EXPECT_EQ(db_.Rows("select count(*), sum(Impresskto) from \"User.dat\" where ID > 3000"),
            (Rows{"3000|" + std::to_string([] {
                    int64_t sum = 0;
                    for (int id = 3001; id <= 6000; ++id) sum += (id * 7919) % 6007;
                    return sum;
                  }())}));
}

}  // namespace
}  // namespace strata
