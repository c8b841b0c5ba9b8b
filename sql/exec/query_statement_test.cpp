#include "sql/exec/query_statement.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/cursor/data_cursor.h"
#include "storage/engine_error.h"

namespace strata {
namespace {

// Records what it is asked to do; every change reports the rows given in
// `rows` in turn (1 when they run out).
class TRecordingExecutor : public TStatementExecutor {
 public:
  std::vector<std::string> Calls;
  std::vector<int64_t> Rows;
  std::vector<std::string> BoundValues;  // per change: the first marker's value
  bool FailPrepare = false;

  void Prepare(TParsedStatement& statement) override {
    Calls.push_back("prepare " + std::string(StatementKindName(statement.Master().StatementKind)));
    if (FailPrepare) RaiseEngineError(STRATA_OSENOENT, {.table = "t"});
  }
  TStatementOutcome Select(TParsedStatement&, TDataQuery& query) override {
    Calls.push_back("select live=" + std::to_string(query.RequestLive) +
                    " max=" + std::to_string(query.MaxRowCount));
    return {};
  }
  TStatementOutcome Insert(TParsedStatement& s, TDataQuery&) override {
    return Change("insert", s);
  }
  TStatementOutcome Update(TParsedStatement& s, TDataQuery&) override {
    return Change("update", s);
  }
  TStatementOutcome Delete(TParsedStatement& s, TDataQuery&) override {
    return Change("delete", s);
  }
  TStatementOutcome CreateTable(const TCreateTableStatement& c) override {
    return Call("create table " + c.Table.Name);
  }
  TStatementOutcome AlterTable(const TAlterTableStatement& a) override {
    return Call("alter table " + a.Table.Name);
  }
  TStatementOutcome DropTable(const TDropTableStatement& d) override {
    return Call("drop table " + d.Table.Name);
  }
  TStatementOutcome CreateIndex(const TCreateIndexStatement& c) override {
    return Call("create index " + c.IndexName);
  }
  TStatementOutcome DropIndex(const TDropIndexStatement& d) override {
    return Call("drop index " + d.IndexName);
  }
  TStatementOutcome StartTransaction() override { return Call("start transaction"); }
  TStatementOutcome Commit(bool flush) override { return Call(flush ? "commit flush" : "commit"); }
  TStatementOutcome Rollback() override { return Call("rollback"); }

 private:
  TStatementOutcome Call(std::string call) {
    Calls.push_back(std::move(call));
    return {};
  }
  TStatementOutcome Change(const std::string& kind, TParsedStatement& statement) {
    Calls.push_back(kind);
    const auto& markers = statement.Parameters();
    if (!markers.empty()) {
      BoundValues.push_back(markers[0]->Value.Null ? "NULL"
                                                   : std::to_string(markers[0]->Value.Int));
    }
    const int64_t rows = Rows.empty() ? 1 : Rows.front();
    if (!Rows.empty()) Rows.erase(Rows.begin());
    return rows;
  }
};

uint16_t CodeOf(const std::function<void()>& run) {
  try {
    run();
  } catch (const EStrataEngineError& error) {
    return error.Code;
  }
  return 0;
}

TEST(QueryStatement, RunsBothUpdatesOfATextAndAddsTheirRows) {
  TRecordingExecutor executor;
  executor.Rows = {2, 3};
  TQueryStatement statement(executor);
  statement.PrepareStatement(
      "Update \"Pages.dat\" Set valid = valid + 1 where (ID = 12) and (Time > 'x');\r\n"
      "Update \"Pages.dat\" Set Time = 'y', \"count\" = \"count\" + 1 where ID = 12;");
  EXPECT_TRUE(statement.Prepared());
  EXPECT_EQ(statement.Kind(), TStatementKind::kUpdate);
  // Only the first statement is parsed and prepared before running.
  EXPECT_EQ(executor.Calls, (std::vector<std::string>{"prepare UPDATE"}));
  statement.ExecuteStatements();
  EXPECT_EQ(executor.Calls,
            (std::vector<std::string>{"prepare UPDATE", "update", "prepare UPDATE", "update"}));
  EXPECT_EQ(statement.RowsAffected(), 5);
  EXPECT_GE(statement.ExecutionTime(), 0.0);
}

TEST(QueryStatement, ASyntaxErrorInTheSecondStatementComesAfterTheFirstRan) {
  TRecordingExecutor executor;
  TQueryStatement statement(executor);
  statement.PrepareStatement("delete from t; delete t");
  EXPECT_EQ(CodeOf([&] { statement.ExecuteStatements(); }), STRATA_SQLPARSE);
  EXPECT_EQ(executor.Calls, (std::vector<std::string>{"prepare DELETE", "delete"}));
  EXPECT_FALSE(statement.Prepared());
}

TEST(QueryStatement, AParseErrorLeavesTheStatementUnpreparedAndNothingRuns) {
  TRecordingExecutor executor;
  TQueryStatement statement(executor);
  EXPECT_EQ(CodeOf([&] { statement.PrepareStatement("select a from t x y"); }), STRATA_SQLPARSE);
  EXPECT_FALSE(statement.Prepared());
  EXPECT_TRUE(executor.Calls.empty());
  // A failing prepare of the tables leaves it unprepared too.
  executor.FailPrepare = true;
  EXPECT_EQ(CodeOf([&] { statement.PrepareStatement("select a from t"); }), STRATA_OSENOENT);
  EXPECT_FALSE(statement.Prepared());
}

TEST(QueryStatement, ParametersAreBoundInTheFirstStatementOnly) {
  TRecordingExecutor executor;
  TQueryStatement statement(executor);
  statement.PrepareStatement("update t set a = ? where b = ?; update t set c = ?");
  EXPECT_EQ(statement.ParameterCount(), 2u);
  std::vector<TExpValue> params(2);
  params[0].SetInt(fldINT32, 7);
  params[1].SetInt(fldINT32, 8);
  statement.ExecuteStatements(params);
  EXPECT_EQ(executor.BoundValues, (std::vector<std::string>{"7", "NULL"}));
}

TEST(QueryStatement, RollbackSetsTheRowsBackToTheTransactionStart) {
  TRecordingExecutor executor;
  executor.Rows = {2, 3, 4};
  TQueryStatement statement(executor);
  statement.PrepareStatement(
      "delete from t; start transaction; delete from u; rollback; delete from v;");
  statement.ExecuteStatements();
  EXPECT_EQ(statement.RowsAffected(), 6);  // 2, then 3 rolled back, then 4
  // A committed transaction keeps its rows.
  executor.Rows = {2, 3};
  statement.PrepareStatement("start transaction; delete from t; commit; delete from u");
  statement.ExecuteStatements();
  EXPECT_EQ(statement.RowsAffected(), 5);
}

TEST(QueryStatement, ASecondRunPreparesTheTextAgain) {
  TRecordingExecutor executor;
  executor.Rows = {1, 1, 1, 1};
  TQueryStatement statement(executor);
  statement.PrepareStatement("delete from t; delete from u");
  statement.ExecuteStatements();
  statement.ExecuteStatements();
  EXPECT_EQ(executor.Calls.size(), 8u);
  EXPECT_EQ(statement.RowsAffected(), 2);
}

TEST(QueryStatement, EachKindReachesItsOperation) {
  TRecordingExecutor executor;
  TQueryStatement statement(executor);
  statement.SetResultOptions(true, 50);
  statement.PrepareStatement(
      "select a from t; insert into t values (1); create table n (a integer); "
      "alter table n add b integer; create index i on n (a); drop index n.i; drop table n; "
      "start transaction; commit flush; rollback work");
  statement.ExecuteStatements();
  const std::vector<std::string> runs = [&] {
    std::vector<std::string> calls;
    for (const std::string& call : executor.Calls) {
      if (call.rfind("prepare", 0) != 0) calls.push_back(call);
    }
    return calls;
  }();
  EXPECT_EQ(runs, (std::vector<std::string>{"select live=1 max=50", "insert", "create table n",
                                            "alter table n", "create index i", "drop index i",
                                            "drop table n", "start transaction", "commit flush",
                                            "rollback"}));
}

}  // namespace
}  // namespace strata
