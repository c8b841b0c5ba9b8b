#include "sql/query/strata_query.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/windows1252.h"
#include "storage/engine_error.h"
#include "storage/session/strata_database.h"
#include "storage/session/strata_session.h"
#include "storage/test_temp_dir.h"

namespace strata {
namespace {

using namespace platform::literals;

// A session and database on a fresh folder with a table t (id, n, name,
// data), and a query bound to them.
class StrataQueryTest : public ::testing::Test {
 protected:
  StrataQueryTest() {
    std::filesystem::create_directories(dir.File("private"));
    session.SetSessionName("QuerySession");
    session.SetPrivateDir(dir.File("private"));
    database.SetSessionName("QuerySession");
    database.SetDatabaseName("QueryDB");
    database.SetDirectory(dir.Dir());
    database.SetConnected(true);
    query.SetSessionName("QuerySession");
    query.SetDatabaseName("QueryDB");
    Exec({"CREATE TABLE t (id INTEGER, n INTEGER, name VARCHAR(20), data MEMO, PRIMARY KEY (id))"});
    Exec({"INSERT INTO t (id, n, name, data) VALUES (1, 10, 'one', 'bytes of one')"});
    Exec({"INSERT INTO t (id, n, name) VALUES (2, 20, 'two')"});
    Exec({"INSERT INTO t (id, n, name) VALUES (3, NULL, 'three')"});
    query.SQL().Clear();
  }

  void Exec(const std::vector<std::string>& lines) {
    query.Close();
    query.SQL().Clear();
    for (const std::string& line : lines) query.SQL().Add(line);
    query.ExecSQL();
  }
  void Open(const std::string& text) {
    query.Close();
    query.SQL().Clear();
    query.SQL().Add(text);
    query.Open();
  }
  template <class F>
  std::string ErrorOf(F&& f) {
    try {
      f();
    } catch (const std::exception& error) {
      return error.what();
    }
    return "";
  }
  size_t PrivateFiles() const {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(dir.File("private"))) {
      ++count;
    }
    return count;
  }

  testing::TTempDir dir;
  TStrataSession session;
  TStrataDatabase database;
  TStrataQuery query;
};

const std::string kClosed = "Operation bei geschlossener Datenmenge nicht ausführbar"_w1252;
const std::string kOpen = "Operation bei geöffneter Datenmenge nicht ausführbar"_w1252;

TEST_F(StrataQueryTest, ExecSqlOfASelectLeavesTheQueryOpenOnTheFirstRow) {
  Exec({"SELECT id, n, name FROM t ORDER BY id"});
  ASSERT_TRUE(query.Active());
  EXPECT_EQ(query.RecordCount(), 3);
  EXPECT_EQ(query.FieldCount(), 3);
  EXPECT_EQ(query.Fields(0).FieldName(), "id");
  EXPECT_EQ(query.Fields(0).AsInteger(), 1);
  EXPECT_EQ(query.Fields(2).AsString(), "one");
  query.Last();
  EXPECT_EQ(query.Fields(0).AsString(), "3");
  EXPECT_TRUE(query.Fields(1).IsNull());
  EXPECT_EQ(query.Fields(1).AsInteger(), 0);
  EXPECT_EQ(query.Fields(1).AsString(), "");
}

TEST_F(StrataQueryTest, MoveByCountsTheRowsMovedAndStopsAtTheEnds) {
  Open("SELECT id FROM t ORDER BY id");
  EXPECT_TRUE(query.Bof());
  EXPECT_EQ(query.MoveBy(0), 0);
  EXPECT_EQ(query.MoveBy(1), 1);
  EXPECT_EQ(query.Fields(0).AsInteger(), 2);
  EXPECT_EQ(query.MoveBy(5), 1);
  EXPECT_TRUE(query.Eof());
  EXPECT_EQ(query.Fields(0).AsInteger(), 3) << "the last row stays current";
  EXPECT_EQ(query.MoveBy(-5), -2);
  EXPECT_TRUE(query.Bof());
  EXPECT_EQ(query.Fields(0).AsInteger(), 1);
}

TEST_F(StrataQueryTest, AnEmptyResultReadsAsZeroAndAppendsNothing) {
  Open("SELECT id, data FROM t WHERE id = 99");
  EXPECT_EQ(query.RecordCount(), 0);
  EXPECT_TRUE(query.Eof());
  EXPECT_EQ(query.Fields(0).AsInteger(), 0);
  EXPECT_EQ(query.Fields(0).AsString(), "");
  std::string stream = "kept";
  dynamic_cast<TBlobField&>(query.Fields(1)).SaveToStream(stream);
  EXPECT_EQ(stream, "kept");
  EXPECT_EQ(query.MoveBy(1), 0);
}

TEST_F(StrataQueryTest, SaveToStreamAppendsTheWholeBlob) {
  Open("SELECT data, id FROM t ORDER BY id");
  auto& data = dynamic_cast<TBlobField&>(query.Fields(0));
  std::string stream = "GIF:";
  data.SaveToStream(stream);
  EXPECT_EQ(stream, "GIF:bytes of one");
  query.MoveBy(1);
  data.SaveToStream(stream);
  EXPECT_EQ(stream, "GIF:bytes of one") << "an empty blob appends nothing";
}

TEST_F(StrataQueryTest, TwoLinesRunBothStatementsInOrder) {
  Exec({"UPDATE t SET n = 100 WHERE id = 1;", "UPDATE t SET n = n + 1 WHERE n >= 100"});
  EXPECT_FALSE(query.Active());
  EXPECT_EQ(query.RowsAffected(), 2);
  Open("SELECT n FROM t WHERE id = 1");
  EXPECT_EQ(query.Fields(0).AsInteger(), 101);
}

TEST_F(StrataQueryTest, ClearingTheTextClosesAndUnpreparesTheQuery) {
  query.SQL().Add("SELECT id FROM t");
  query.Prepare();
  EXPECT_TRUE(query.Prepared());
  query.Open();
  query.SQL().Clear();
  EXPECT_FALSE(query.Active());
  EXPECT_FALSE(query.Prepared());
  EXPECT_EQ(PrivateFiles(), 0u) << "the result table went with the cursor";
  EXPECT_EQ(database.DataSetCount(), 0u);
}

TEST_F(StrataQueryTest, AnExplicitPrepareOutlivesCloseAndExecSql) {
  query.SQL().Add("SELECT id FROM t WHERE id > 1");
  query.Prepare();
  EXPECT_EQ(database.DataSetCount(), 1u);
  query.Open();
  EXPECT_EQ(query.RecordCount(), 2);
  query.Close();
  EXPECT_TRUE(query.Prepared());
  query.Open();
  EXPECT_EQ(query.RecordCount(), 2);
  query.Close();
  query.Unprepare();
  EXPECT_FALSE(query.Prepared());
  EXPECT_EQ(database.DataSetCount(), 0u);

  // Without an explicit prepare, a change statement is parsed anew each time.
  query.SQL().Clear();
  query.SQL().Add("UPDATE t SET n = 5 WHERE id = 2");
  query.ExecSQL();
  EXPECT_FALSE(query.Prepared());
  EXPECT_EQ(database.DataSetCount(), 0u);
  EXPECT_EQ(PrivateFiles(), 0u);
}

TEST_F(StrataQueryTest, MisuseGivesTheRuntimeMessages) {
  EXPECT_EQ(ErrorOf([&] { query.RecordCount(); }), kClosed);
  EXPECT_EQ(ErrorOf([&] { query.First(); }), kClosed);
  EXPECT_EQ(ErrorOf([&] { query.MoveBy(1); }), kClosed);
  EXPECT_EQ(ErrorOf([&] { query.Fields(0); }), kClosed);
  EXPECT_EQ(ErrorOf([&] { query.ExecSQL(); }), "No SQL statement available");
  EXPECT_EQ(ErrorOf([&] { query.Prepare(); }), "No SQL statement available");
  query.SQL().Add(";");
  EXPECT_NE(ErrorOf([&] { query.Prepare(); }).find("SQL error - SELECT, INSERT, UPDATE, DELETE"),
            std::string::npos);
  EXPECT_FALSE(query.Prepared());
  Open("SELECT id FROM t");
  EXPECT_EQ(ErrorOf([&] { query.Prepare(); }), kOpen);
  EXPECT_EQ(ErrorOf([&] { query.ExecSQL(); }), kOpen);
  EXPECT_EQ(ErrorOf([&] { query.Fields(1); }),
            "Der Index der Liste überschreitet das Maximum (1)"_w1252);
  query.Close();
  query.Close();  // nothing happens
}

TEST_F(StrataQueryTest, ParametersBindByPositionAndNeedAValue) {
  query.SQL().Add("SELECT id FROM t WHERE name = :name AND name <> '::x'");
  ASSERT_EQ(query.Params().size(), 1u);
  EXPECT_EQ(query.Params()[0].Name, "name");
  EXPECT_EQ(ErrorOf([&] { query.Open(); }), "No value for parameter 'name'");
  query.Params()[0].Value = "two";
  query.Open();
  EXPECT_EQ(query.RecordCount(), 1);
  EXPECT_EQ(query.Fields(0).AsInteger(), 2);
  // A changed text keeps the value of a parameter of the same name.
  query.SQL().Add("OR name = :NAME");
  EXPECT_FALSE(query.Active());
  EXPECT_EQ(query.Params().size(), 2u);
  EXPECT_EQ(query.Params()[1].Value, "two");
}

TEST_F(StrataQueryTest, AnSqlErrorUnpreparesAndOtherErrorsKeepThePreparedStatement) {
  query.SQL().Add("INSERT INTO t (id, n) VALUES (1, 0)");
  query.Prepare();
  const std::string duplicate = ErrorOf([&] { query.ExecSQL(); });
  EXPECT_NE(duplicate, "");
  EXPECT_TRUE(query.Prepared()) << duplicate;
  query.SQL().Clear();
  query.SQL().Add("UPDATE t SET n = 1 WHERE id = 1;");
  query.SQL().Add("SELECT FROM");
  query.Prepare();
  const std::string syntax = ErrorOf([&] { query.ExecSQL(); });
  EXPECT_NE(syntax.find("SQL error - "), std::string::npos) << syntax;
  EXPECT_FALSE(query.Prepared());
  EXPECT_FALSE(query.Active());
  Open("SELECT n FROM t WHERE id = 1");
  EXPECT_EQ(query.Fields(0).AsInteger(), 1) << "the statement before the error ran";
}

TEST_F(StrataQueryTest, MaxRowCountLimitsTheRows) {
  query.SQL().Add("SELECT id FROM t");
  query.Open();
  EXPECT_EQ(query.RecordCount(), 3) << "-1 returns all rows";
  query.Close();
  query.SetMaxRowCount(2);
  query.Open();
  EXPECT_EQ(query.RecordCount(), 2);
}

TEST_F(StrataQueryTest, ClosingKeepsTheTablesALiveResultOrSelectIntoStandOn) {
  query.SetRequestLive(true);
  Open("SELECT id, name FROM t WHERE id > 1");
  EXPECT_EQ(query.RecordCount(), 2);
  query.Close();
  query.SetRequestLive(false);
  Exec({"SELECT id, n INTO copied FROM t"});
  EXPECT_EQ(query.RecordCount(), 3);
  query.Close();
  EXPECT_EQ(PrivateFiles(), 0u);
  Open("SELECT COUNT(*) FROM t");
  EXPECT_EQ(query.Fields(0).AsInteger(), 3);
  Open("SELECT COUNT(*) FROM copied");
  EXPECT_EQ(query.Fields(0).AsInteger(), 3);
}

TEST_F(StrataQueryTest, AValueBeyond32BitsIsNoIntegerAndTextIsConverted) {
  Exec({"CREATE TABLE big (v LARGEINT, s VARCHAR(12))"});
  Exec({"INSERT INTO big (v, s) VALUES (5000000000, ' -42')"});
  Exec({"INSERT INTO big (v, s) VALUES (-7, 'x1')"});
  Open("SELECT v, s FROM big ORDER BY v DESC");
  EXPECT_EQ(query.Fields(0).AsString(), "5000000000");
  EXPECT_EQ(ErrorOf([&] { query.Fields(0).AsInteger(); }),
            "'5000000000' ist kein gültiger Integerwert"_w1252)
      << "cut to 32 bits it would read as another number";
  EXPECT_EQ(query.Fields(1).AsInteger(), -42);
  query.MoveBy(1);
  EXPECT_EQ(query.Fields(0).AsInteger(), -7);
  EXPECT_EQ(ErrorOf([&] { query.Fields(1).AsInteger(); }),
            "'x1' ist kein gültiger Integerwert"_w1252);
}

TEST_F(StrataQueryTest, HiddenAverageCountersAreNoFields) {
  Open("SELECT AVG(n), COUNT(*) FROM t");
  EXPECT_EQ(query.FieldCount(), 2);
  EXPECT_EQ(query.Fields(1).AsInteger(), 3);
}

TEST_F(StrataQueryTest, ClosingTheDatabaseClosesAndUnpreparesTheQuery) {
  query.SQL().Add("SELECT id FROM t");
  query.Prepare();
  query.Open();
  database.SetConnected(false);
  EXPECT_FALSE(query.Active());
  EXPECT_FALSE(query.Prepared());
  EXPECT_EQ(PrivateFiles(), 0u);
  // Opening again connects the database anew.
  query.Open();
  EXPECT_EQ(query.RecordCount(), 3);
  EXPECT_TRUE(database.Connected());
}

TEST_F(StrataQueryTest, NamingAnotherDatabaseLetsGoOfThePreparedStatement) {
  query.SQL().Add("SELECT id FROM t");
  query.Prepare();
  EXPECT_EQ(database.DataSetCount(), 1u);
  query.SetDatabaseName("QueryDB");
  EXPECT_FALSE(query.Prepared());
  EXPECT_EQ(database.DataSetCount(), 0u);
  query.Open();
  EXPECT_EQ(ErrorOf([&] { query.SetDatabaseName("Other"); }), kOpen);
}

TEST_F(StrataQueryTest, AQueryNamingNoSessionFails) {
  TStrataQuery other;
  other.SetSessionName("NoSuchSession");
  other.SetDatabaseName("QueryDB");
  other.SQL().Add("SELECT id FROM t");
  EXPECT_EQ(ErrorOf([&] { other.Open(); }), "Session name NoSuchSession is not valid.");
  EXPECT_FALSE(other.Active());
}

}  // namespace
}  // namespace strata
