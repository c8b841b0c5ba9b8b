// TStatementExecutor: what running a parsed statement takes, one operation
// per statement kind. TQueryStatement parses each statement of a text and
// hands it here: first Prepare (validate it, open its tables), then the
// operation of its kind. The SQL engine's executor implements it.
#pragma once

#include <cstdint>
#include <memory>

#include "sql/parse/parsed_statement.h"

namespace strata {

class TDataCursor;

// What running one statement gave: the rows it changed and, for a SELECT,
// the cursor on its result table.
struct TStatementOutcome {
  int64_t RowsAffected = 0;
  std::unique_ptr<TDataCursor> Result;

  TStatementOutcome();
  TStatementOutcome(int64_t rows_affected);  // NOLINT: an outcome without a result
  TStatementOutcome(TStatementOutcome&&) noexcept;
  TStatementOutcome& operator=(TStatementOutcome&&) noexcept;
  ~TStatementOutcome();
};

class TStatementExecutor {
 public:
  virtual ~TStatementExecutor() = default;

  // Validates the statement just parsed (columns, types) and opens its tables.
  virtual void Prepare(TParsedStatement& statement) = 0;

  // The statement's master query is `query`.
  virtual TStatementOutcome Select(TParsedStatement& statement, TDataQuery& query) = 0;
  virtual TStatementOutcome Insert(TParsedStatement& statement, TDataQuery& query) = 0;
  virtual TStatementOutcome Update(TParsedStatement& statement, TDataQuery& query) = 0;
  virtual TStatementOutcome Delete(TParsedStatement& statement, TDataQuery& query) = 0;
  virtual TStatementOutcome CreateTable(const TCreateTableStatement& create) = 0;
  virtual TStatementOutcome AlterTable(const TAlterTableStatement& alter) = 0;
  virtual TStatementOutcome DropTable(const TDropTableStatement& drop) = 0;
  virtual TStatementOutcome CreateIndex(const TCreateIndexStatement& create) = 0;
  virtual TStatementOutcome DropIndex(const TDropIndexStatement& drop) = 0;
  virtual TStatementOutcome StartTransaction() = 0;
  virtual TStatementOutcome Commit(bool flush) = 0;
  virtual TStatementOutcome Rollback() = 0;
};

// Runs the master query of `statement` by the operation of its kind.
TStatementOutcome ExecuteByKind(TStatementExecutor& executor, TParsedStatement& statement);

}  // namespace strata
