#include "sql/exec/strata_executor.h"

#include <map>

#include "sql/exec/change_execution.h"
#include "sql/exec/ddl_execution.h"
#include "sql/exec/exec_messages.h"
#include "sql/exec/select_execution.h"
#include "sql/exec/select_preparation.h"
#include "sql/exec/statement_check.h"
#include "sql/expr/sql_error.h"
#include "sql/parse/data_query.h"
#include "storage/cursor/data_cursor.h"
#include "storage/session/data_directory.h"
#include "storage/session/data_session.h"

namespace strata {

namespace {

// The SQL engine's executor over one database directory. Owns the prepared
// state of the statement being run (result tables included), which the next
// Prepare replaces.
class TStrataExecutor : public TStatementExecutor {
 public:
  TStrataExecutor(std::shared_ptr<TDataDirectory> database, TExecutorOptions options)
      : database_(std::move(database)), options_(std::move(options)) {}

  void Prepare(TParsedStatement& statement) override;
  TStatementOutcome Select(TParsedStatement&, TDataQuery& query) override {
    return Guarded(query,
                   [&](TPreparedQuery& prepared) { return ExecuteSelect(prepared, options_); });
  }
  TStatementOutcome Insert(TParsedStatement&, TDataQuery& query) override {
    return Guarded(query, [&](TPreparedQuery& prepared) {
      return TStatementOutcome(ExecuteInsert(prepared, options_));
    });
  }
  TStatementOutcome Update(TParsedStatement&, TDataQuery& query) override {
    return Guarded(query, [&](TPreparedQuery& prepared) {
      return TStatementOutcome(ExecuteUpdate(prepared, options_));
    });
  }
  TStatementOutcome Delete(TParsedStatement&, TDataQuery& query) override {
    return Guarded(query, [&](TPreparedQuery& prepared) {
      return TStatementOutcome(ExecuteDelete(prepared, options_));
    });
  }
  TStatementOutcome CreateTable(const TCreateTableStatement& create) override {
    return ExecuteCreateTable(*database_, create);
  }
  TStatementOutcome AlterTable(const TAlterTableStatement& alter) override {
    return ExecuteAlterTable(*database_, alter);
  }
  TStatementOutcome DropTable(const TDropTableStatement& drop) override {
    return ExecuteDropTable(*database_, drop);
  }
  TStatementOutcome CreateIndex(const TCreateIndexStatement& create) override {
    return ExecuteCreateIndex(*database_, create);
  }
  TStatementOutcome DropIndex(const TDropIndexStatement& drop) override {
    return ExecuteDropIndex(*database_, drop);
  }
  TStatementOutcome StartTransaction() override;
  TStatementOutcome Commit(bool flush) override;
  TStatementOutcome Rollback() override;

 private:
  // Opens the source's table: in its own directory when its name has a
  // path, in the in-memory database when marked MEMORY, else in ours.
  void OpenSource(TSourceTable& source);
  void PrepareQuery(TDataQuery& query);
  std::string DatabaseName() const {
    return options_.DatabaseName.empty() ? database_->Path() : options_.DatabaseName;
  }

  // Runs `run` on the query's prepared state; the state (and a result table
  // not handed out) goes after a failure.
  template <typename Run>
  TStatementOutcome Guarded(TDataQuery& query, Run&& run) {
    auto found = prepared_.find(&query);
    if (found == prepared_.end()) RaiseSqlError("the statement is not prepared");
    try {
      return run(found->second);
    } catch (...) {
      prepared_.erase(found);
      throw;
    }
  }

  std::shared_ptr<TDataDirectory> database_;
  TExecutorOptions options_;
  std::map<const TDataQuery*, TPreparedQuery> prepared_;
};

void TStrataExecutor::OpenSource(TSourceTable& source) {
  if (source.Cursor && source.Cursor->IsOpen()) return;
  TDataSession& session = database_->Session();
  std::shared_ptr<TDataDirectory> directory = database_;
  if (source.InMemory) {
    directory = session.OpenDirectory(kMemoryDatabaseName, "");
  } else if (!source.Directory.empty()) {
    directory = session.OpenDirectory("", source.Directory);
  }
  auto cursor = std::make_unique<TDataCursor>(directory);
  cursor->Open(source.TableName, {.InMemory = directory->InMemory()});
  source.Cursor = std::move(cursor);
}

void TStrataExecutor::PrepareQuery(TDataQuery& query) {
  switch (query.StatementKind) {
    case TStatementKind::kSelect: {
      TPreparedQuery prepared = PrepareSelectColumns(query);
      // The SELECT of an INSERT and sub-selects fill result tables too.
      CreateResultTable(prepared, *database_);
      prepared_.insert_or_assign(&query, std::move(prepared));
      return;
    }
    case TStatementKind::kInsert:
    case TStatementKind::kUpdate:
    case TStatementKind::kDelete:
      prepared_.insert_or_assign(&query, PrepareChange(query));
      return;
    default:
      return;
  }
}

void TStrataExecutor::Prepare(TParsedStatement& statement) {
  prepared_.clear();
  for (const auto& query : statement.Queries()) {
    for (TSourceTable& source : query->SourceTables) OpenSource(source);
  }
  CheckStatement(statement, [](const TSourceTable& source) -> std::span<const TFieldDescriptor> {
    return source.Cursor->Fields();
  });
  try {
    for (const auto& query : statement.Queries()) PrepareQuery(*query);
  } catch (...) {
    prepared_.clear();
    throw;
  }
}

TStatementOutcome TStrataExecutor::StartTransaction() {
  if (database_->InTransaction()) {
    RaiseSqlError(FormatMessage(msg::kTransactionActive, {DatabaseName()}));
  }
  database_->StartTransaction();
  return {};
}

TStatementOutcome TStrataExecutor::Commit(bool flush) {
  if (!database_->InTransaction()) {
    RaiseSqlError(FormatMessage(msg::kNoTransaction, {DatabaseName()}));
  }
  TEngineSettings& settings = database_->Session().Settings();
  const bool forced = settings.ForceBufferFlush;
  if (flush) settings.ForceBufferFlush = true;
  try {
    database_->Commit();
  } catch (...) {
    settings.ForceBufferFlush = forced;
    throw;
  }
  settings.ForceBufferFlush = forced;
  return {};
}

TStatementOutcome TStrataExecutor::Rollback() {
  if (!database_->InTransaction()) {
    RaiseSqlError(FormatMessage(msg::kNoTransaction, {DatabaseName()}));
  }
  database_->Rollback();
  return {};
}

}  // namespace

std::unique_ptr<TStatementExecutor> MakeStatementExecutor(std::shared_ptr<TDataDirectory> database,
                                                          TExecutorOptions options) {
  return std::make_unique<TStrataExecutor>(std::move(database), std::move(options));
}

}  // namespace strata
