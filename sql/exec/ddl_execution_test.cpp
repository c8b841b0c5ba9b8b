#include "sql/exec/ddl_execution.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "sql/exec/query_statement.h"
#include "storage/cursor/data_cursor.h"
#include "storage/engine_error.h"
#include "storage/session/data_directory.h"
#include "storage/session/data_session.h"
#include "storage/table_check.h"
#include "storage/test_temp_dir.h"

namespace strata {
namespace {

// Runs the table-definition statements of a text through the DDL
// functions; the row statements are not this file's concern.
class TDdlOnlyExecutor : public TStatementExecutor {
 public:
  explicit TDdlOnlyExecutor(TDataDirectory& directory) : directory_(directory) {}
  void Prepare(TParsedStatement&) override {}
  TStatementOutcome Select(TParsedStatement&, TDataQuery&) override { return Unused(); }
  TStatementOutcome Insert(TParsedStatement&, TDataQuery&) override { return Unused(); }
  TStatementOutcome Update(TParsedStatement&, TDataQuery&) override { return Unused(); }
  TStatementOutcome Delete(TParsedStatement&, TDataQuery&) override { return Unused(); }
  TStatementOutcome CreateTable(const TCreateTableStatement& s) override {
    return ExecuteCreateTable(directory_, s);
  }
  TStatementOutcome AlterTable(const TAlterTableStatement& s) override {
    return ExecuteAlterTable(directory_, s);
  }
  TStatementOutcome DropTable(const TDropTableStatement& s) override {
    return ExecuteDropTable(directory_, s);
  }
  TStatementOutcome CreateIndex(const TCreateIndexStatement& s) override {
    return ExecuteCreateIndex(directory_, s);
  }
  TStatementOutcome DropIndex(const TDropIndexStatement& s) override {
    return ExecuteDropIndex(directory_, s);
  }
  TStatementOutcome StartTransaction() override { return Unused(); }
  TStatementOutcome Commit(bool) override { return Unused(); }
  TStatementOutcome Rollback() override { return Unused(); }

 private:
  static TStatementOutcome Unused() { throw std::logic_error("not a DDL statement"); }
  TDataDirectory& directory_;
};

class DdlExecutionTest : public ::testing::Test {
 protected:
  DdlExecutionTest()
      : session(TDataSession::Create()),
        directory(session->OpenDirectory("", dir.Dir())),
        executor(*directory) {}

  void Run(const std::string& text) {
    TQueryStatement statement(executor);
    statement.PrepareStatement(text);
    statement.ExecuteStatements();
  }
  std::string ErrorOf(const std::string& text) {
    try {
      Run(text);
    } catch (const std::exception& error) {
      return error.what();
    }
    return "";
  }

  // Rows of table `name` as "a|b|c" texts in row order (NULL for blank).
  std::vector<std::string> Rows(const std::string& name) {
    TDataCursor cursor(directory);
    cursor.Open(name);
    std::vector<std::string> rows;
    cursor.First();
    while (cursor.MoveNext()) {
      std::string row;
      for (const TFieldDescriptor& field : cursor.Fields()) {
        if (!row.empty()) row += "|";
        row += cursor.GetFieldText(field.FieldNumber).value_or("NULL");
      }
      rows.push_back(row);
    }
    EXPECT_TRUE(CheckTable(cursor).Sound()) << name;
    return rows;
  }
  std::vector<std::string> FieldNames(const std::string& name) {
    TDataCursor cursor(directory);
    cursor.Open(name);
    std::vector<std::string> names;
    for (const TFieldDescriptor& field : cursor.Fields()) names.push_back(field.Name);
    return names;
  }
  void Insert(const std::string& table, const std::vector<std::string>& values) {
    TDataCursor cursor(directory);
    cursor.Open(table);
    cursor.InitRecord();
    for (size_t i = 0; i < values.size(); ++i) {
      if (values[i] != "NULL") cursor.PutFieldText(static_cast<uint16_t>(i + 1), values[i]);
    }
    cursor.InsertRecord();
  }
  // The files in the folder, for spotting a rebuild's leftovers.
  // The table files of the folder; a table's rollback journal is made by its
  // first change and so comes and goes with writes, not with tables.
  size_t FileCount() {
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Dir())) {
      if (entry.path().extension() != ".JNL") ++count;
    }
    return count;
  }

  testing::TTempDir dir;
  std::shared_ptr<TDataSession> session;
  std::shared_ptr<TDataDirectory> directory;
  TDdlOnlyExecutor executor;
};

TEST_F(DdlExecutionTest, CreateTableMakesTheTableAndRefusesASecondOne) {
  Run("CREATE TABLE t (id INTEGER NOT NULL, name VARCHAR(20), PRIMARY KEY (id))");
  EXPECT_TRUE(directory->TableExists("t"));
  EXPECT_EQ(FieldNames("t"), (std::vector<std::string>{"id", "name"}));
  Insert("t", {"2", "b"});
  Insert("t", {"1", "a"});
  EXPECT_NE(ErrorOf("CREATE TABLE t (x INTEGER)"), "");
  Run("CREATE TABLE IF NOT EXISTS t (x INTEGER)");
  EXPECT_EQ(Rows("t").size(), 2u);
}

TEST_F(DdlExecutionTest, LastAutoIncStartsTheRowNumbers) {
  Run("CREATE TABLE t (id AUTOINC, v INTEGER) LAST AUTOINC 100");
  Insert("t", {"NULL", "7"});
  EXPECT_EQ(Rows("t"), (std::vector<std::string>{"101|7"}));
}

TEST_F(DdlExecutionTest, DropTableRemovesTheFilesAndIfExistsIsQuiet) {
  Run("CREATE TABLE t (id INTEGER, b BLOB)");
  const size_t with_table = FileCount();
  Run("DROP TABLE t");
  EXPECT_FALSE(directory->TableExists("t"));
  EXPECT_LT(FileCount(), with_table);
  EXPECT_NE(ErrorOf("DROP TABLE t"), "");
  Run("DROP TABLE IF EXISTS t");
}

TEST_F(DdlExecutionTest, AlterTableAddsDropsAndRedefinesColumnsKeepingTheRows) {
  Run("CREATE TABLE t (id INTEGER, name VARCHAR(10), n SMALLINT, PRIMARY KEY (id))");
  Insert("t", {"1", "one", "10"});
  Insert("t", {"2", "two", "NULL"});
  Insert("t", {"3", "three", "30"});
  const size_t files = FileCount();
  Run("ALTER TABLE t ADD extra INTEGER, DROP name, REDEFINE n n VARCHAR(8)");
  EXPECT_EQ(FieldNames("t"), (std::vector<std::string>{"id", "n", "extra"}));
  EXPECT_EQ(Rows("t"), (std::vector<std::string>{"1|10|NULL", "2|NULL|NULL", "3|30|NULL"}));
  EXPECT_EQ(FileCount(), files) << "a rebuild leaves no tables behind";

  // The primary index still works on the rebuilt table.
  TDataCursor cursor(directory);
  cursor.Open("t");
  cursor.SetIndex(0);
  ASSERT_TRUE(cursor.FindKeyText(std::vector<std::string>{"3"}));
  EXPECT_EQ(cursor.GetFieldText(2), "30");
}

TEST_F(DdlExecutionTest, AlterTableThatCannotConvertAValueLeavesTheTableAsItWas) {
  Run("CREATE TABLE t (id INTEGER, code VARCHAR(20))");
  Insert("t", {"1", "12"});
  Insert("t", {"2", "not a number"});
  const size_t files = FileCount();
  EXPECT_NE(ErrorOf("ALTER TABLE t REDEFINE code code INTEGER"), "");
  EXPECT_EQ(FieldNames("t"), (std::vector<std::string>{"id", "code"}));
  EXPECT_EQ(Rows("t"), (std::vector<std::string>{"1|12", "2|not a number"}));
  EXPECT_EQ(FileCount(), files) << "the half-built table is gone";
}

TEST_F(DdlExecutionTest, StructuralStatementsWaitForOtherUsersOfTheTable) {
  Run("CREATE TABLE t (id INTEGER, name VARCHAR(10))");
  Insert("t", {"1", "one"});
  const size_t files = FileCount();
  {
    TDataCursor reader(directory);
    reader.Open("t");
    EXPECT_NE(ErrorOf("ALTER TABLE t ADD x INTEGER"), "");
    EXPECT_NE(ErrorOf("CREATE INDEX byname ON t (name)"), "");
    EXPECT_NE(ErrorOf("DROP TABLE t"), "");
    EXPECT_EQ(FileCount(), files);
  }
  EXPECT_EQ(FieldNames("t"), (std::vector<std::string>{"id", "name"}));
  EXPECT_EQ(Rows("t"), (std::vector<std::string>{"1|one"}));
}

TEST_F(DdlExecutionTest, AlterTableKeepsBlobsAutoIncAndTheLastRowNumber) {
  Run("CREATE TABLE t (id AUTOINC, b BLOB, s VARCHAR(5))");
  Insert("t", {"NULL", "first blob", "x"});
  Insert("t", {"NULL", "second", "y"});
  Insert("t", {"NULL", "gone", "z"});
  {
    TDataCursor cursor(directory);
    cursor.Open("t");
    cursor.Last();
    cursor.Prior();
    cursor.DeleteRecord();
  }
  Run("ALTER TABLE t DROP s");
  EXPECT_EQ(Rows("t"), (std::vector<std::string>{"1|first blob", "2|second"}));
  Insert("t", {"NULL", "new"});
  EXPECT_EQ(Rows("t").back(), "4|new") << "row numbers are not given twice";
}

TEST_F(DdlExecutionTest, AlterTableChangesThePrimaryKey) {
  Run("CREATE TABLE t (a INTEGER, b INTEGER)");
  Insert("t", {"1", "5"});
  Insert("t", {"2", "5"});
  EXPECT_NE(ErrorOf("ALTER TABLE t ADD PRIMARY KEY (b)"), "") << "duplicate keys";
  EXPECT_EQ(Rows("t"), (std::vector<std::string>{"1|5", "2|5"}));
  Run("ALTER TABLE t ADD PRIMARY KEY (a)");
  EXPECT_NE(ErrorOf("DROP INDEX t.nothing"), "");
  Insert("t", {"0", "9"});
  TDataCursor cursor(directory);
  cursor.Open("t");
  cursor.SetIndex(0);
  cursor.First();
  ASSERT_TRUE(cursor.MoveNext());
  EXPECT_EQ(cursor.GetFieldText(1), "0");
}

TEST_F(DdlExecutionTest, CreateAndDropIndex) {
  Run("CREATE TABLE t (id INTEGER, name VARCHAR(10), PRIMARY KEY (id))");
  Insert("t", {"1", "b"});
  Insert("t", {"2", "a"});
  Run("CREATE INDEX byname ON t (name)");
  Run("CREATE INDEX IF NOT EXISTS byname ON t (id)");
  EXPECT_NE(ErrorOf("CREATE INDEX byname ON t (id)"), "");
  EXPECT_NE(ErrorOf("CREATE UNIQUE INDEX samename ON t (id, nosuch)"), "");
  {
    TDataCursor cursor(directory);
    cursor.Open("t");
    cursor.SetIndex("byname");
    cursor.First();
    ASSERT_TRUE(cursor.MoveNext());
    EXPECT_EQ(cursor.GetFieldText(2), "a");
  }
  Run("DROP INDEX t.byname");
  Run("DROP INDEX IF EXISTS t.byname");
  {
    TDataCursor cursor(directory);
    cursor.Open("t");
    try {
      cursor.SetIndex("byname");
      ADD_FAILURE() << "the index is still there";
    } catch (const EStrataEngineError& error) {
      EXPECT_EQ(error.Code, STRATA_INVALIDINDEXNAME);
    }
  }
  Run("DROP INDEX t.PRIMARY");
  Insert("t", {"1", "dup"});
  EXPECT_EQ(Rows("t").size(), 3u) << "without the primary key equal ids are allowed";
}

}  // namespace
}  // namespace strata
