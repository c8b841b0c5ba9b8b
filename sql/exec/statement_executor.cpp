#include "sql/exec/statement_executor.h"

#include <cassert>

#include "storage/cursor/data_cursor.h"

namespace strata {

TStatementOutcome::TStatementOutcome() = default;
TStatementOutcome::TStatementOutcome(int64_t rows_affected) : RowsAffected(rows_affected) {}
TStatementOutcome::TStatementOutcome(TStatementOutcome&&) noexcept = default;
TStatementOutcome& TStatementOutcome::operator=(TStatementOutcome&&) noexcept = default;
TStatementOutcome::~TStatementOutcome() = default;

namespace {

template <typename T>
const T& DdlOf(const TDataQuery& query) {
  assert(query.Ddl != nullptr && std::holds_alternative<T>(query.Ddl->Statement));
  return std::get<T>(query.Ddl->Statement);
}

}  // namespace

TStatementOutcome ExecuteByKind(TStatementExecutor& executor, TParsedStatement& statement) {
  TDataQuery& query = statement.Master();
  switch (query.StatementKind) {
    case TStatementKind::kSelect:
      return executor.Select(statement, query);
    case TStatementKind::kInsert:
      return executor.Insert(statement, query);
    case TStatementKind::kUpdate:
      return executor.Update(statement, query);
    case TStatementKind::kDelete:
      return executor.Delete(statement, query);
    case TStatementKind::kCreateTable:
      return executor.CreateTable(DdlOf<TCreateTableStatement>(query));
    case TStatementKind::kAlterTable:
      return executor.AlterTable(DdlOf<TAlterTableStatement>(query));
    case TStatementKind::kDropTable:
      return executor.DropTable(DdlOf<TDropTableStatement>(query));
    case TStatementKind::kCreateIndex:
      return executor.CreateIndex(DdlOf<TCreateIndexStatement>(query));
    case TStatementKind::kDropIndex:
      return executor.DropIndex(DdlOf<TDropIndexStatement>(query));
    case TStatementKind::kStartTransaction:
      return executor.StartTransaction();
    case TStatementKind::kCommit:
      return executor.Commit(query.Commit.Flush);
    case TStatementKind::kRollback:
      return executor.Rollback();
    case TStatementKind::kUnknown:
      break;
  }
  assert(false && "a parsed statement always has a kind");
  return {};
}

}  // namespace strata
