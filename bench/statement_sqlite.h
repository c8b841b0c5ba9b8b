// The peer of the statement benchmark: the same statements on SQLite over
// the same rows, each prepared once and run with bound values, the database
// in WAL mode with synchronous=NORMAL, each statement its own transaction
// (as each of ours is). Indexes as app/schema.sql makes ours.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "bench/sqlite_statement.h"
#include "bench/statement_workload.h"

namespace bench {

class TSqliteStatements : public TStatementEngine {
 public:
  // Creates the database file `path` (replacing one there) and fills it.
  TSqliteStatements(const std::string& path, const TStatementWorkload& work);
  ~TSqliteStatements() override;
  std::string Name() const override { return "SQLite"; }
  int64_t Run(TStatementCase statement, int i) override;

 private:
  void Fill();
  TSqliteStatement& Statement(TStatementCase statement) { return *prepared_.at(statement); }
  // Steps through every row; returns their count.
  int64_t Rows(TSqliteStatement& statement, bool keep_last = false);
  int64_t Changes(TSqliteStatement& statement);

  const TStatementWorkload& work_;
  sqlite3* db_ = nullptr;
  std::map<TStatementCase, std::unique_ptr<TSqliteStatement>> prepared_;
  std::unique_ptr<TSqliteStatement> line2_;  // the page update pair's second line
  int64_t last_value_ = 0;
};

}  // namespace bench
