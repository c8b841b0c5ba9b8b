#include "sql/exec/strata_executor.h"

#include <map>

#include "sql/exec/change_execution.h"
#include "sql/exec/ddl_execution.h"
#include "sql/exec/exec_messages.h"
#include "sql/exec/live_result.h"
#include "sql/exec/select_execution.h"
#include "sql/exec/select_preparation.h"
#include "sql/exec/statement_check.h"
#include "sql/exec/statement_read_scope.h"
#include "sql/expr/sql_error.h"
#include "sql/expr/table_rows.h"
#include "sql/parse/data_query.h"
#include "sql/parse/statement_messages.h"
#include "storage/cursor/data_cursor.h"
#include "storage/data/data_file.h"
#include "storage/session/data_directory.h"
#include "storage/session/data_session.h"
#include "storage/table/data_table.h"

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
  // Each statement reads its sources inside one TStatementReadScope, given
  // back once the rows are read (a SELECT, the SELECT of an INSERT) or
  // before the rows are changed (UPDATE, DELETE).
  TStatementOutcome Select(TParsedStatement& statement, TDataQuery& query) override {
    return Guarded(query, [&](TPreparedQuery& prepared) {
      // A live result reads its rows as the caller fetches them.
      TStatementReadScope reading =
          prepared.Live ? TStatementReadScope() : TStatementReadScope(statement);
      return ExecuteSelect(prepared, PreparedOf(), options_, reading);
    });
  }
  TStatementOutcome Insert(TParsedStatement& statement, TDataQuery& query) override {
    return Guarded(query, [&](TPreparedQuery& prepared) {
      TDataCursor* source = nullptr;
      if (query.InsertSource != nullptr) {
        TPreparedQuery& select = PreparedOf()(*query.InsertSource);
        TStatementReadScope reading(statement, &query);
        FillResult(select, PreparedOf(), options_);
        reading.Release();
        source = select.Result.get();
      }
      return TStatementOutcome(ExecuteInsert(prepared, source, options_));
    });
  }
  TStatementOutcome Update(TParsedStatement& statement, TDataQuery& query) override {
    return Guarded(query, [&](TPreparedQuery& prepared) {
      TStatementReadScope reading(statement);
      return TStatementOutcome(ExecuteUpdate(prepared, options_, reading));
    });
  }
  TStatementOutcome Delete(TParsedStatement& statement, TDataQuery& query) override {
    return Guarded(query, [&](TPreparedQuery& prepared) {
      TStatementReadScope reading(statement);
      return TStatementOutcome(ExecuteDelete(prepared, options_, reading));
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
  // What the queries need of each other once all are prepared.
  void LinkQueries(TParsedStatement& statement);
  TPreparedOf PreparedOf() {
    return [this](const TDataQuery& query) -> TPreparedQuery& {
      auto found = prepared_.find(&query);
      if (found == prepared_.end()) RaiseSqlError("the statement is not prepared");
      return found->second;
    };
  }
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
      if (std::optional<int> index = LiveResultIndex(query)) {
        prepared.Live = true;
        prepared.LiveIndex = *index;
      } else {
        // The SELECT of an INSERT, UNION members and sub-selects fill
        // result tables too.
        CreateResultTable(prepared, *database_);
      }
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
    LinkQueries(statement);
  } catch (...) {
    prepared_.clear();
    throw;
  }
}

void TStrataExecutor::LinkQueries(TParsedStatement& statement) {
  for (const auto& query : statement.Queries()) {
    if (query->InsertSource == nullptr) continue;
    const TPreparedQuery& select = PreparedOf()(*query->InsertSource);
    if (VisibleColumnCount(select.Columns) != PreparedOf()(*query).TargetFields.size()) {
      RaiseSqlError(msg::kValueCountMismatch);
    }
  }
  // A sub-select is run once, at its first use, and its values serve every
  // row after it.
  for (TSubSelect* sub : statement.SubSelects()) {
    sub->SetRunner([this](TDataQuery& query, TEvalContext&,
                          const std::function<bool(const TExpValue&)>& visit) {
      TPreparedQuery& prepared = PreparedOf()(query);
      if (!prepared.Filled) {
        FillResult(prepared, PreparedOf(), options_);
        prepared.Filled = true;
      }
      TDataCursor& result = *prepared.Result;
      TRecordRows rows(result.Fields(), result.Table().DataFile().Context());
      TExpValue value;
      result.First();
      while (result.MoveNext()) {
        rows.Bind(result.RecordBuffer());
        rows.ReadColumn(0, 1, value);
        if (!visit(value)) return;
      }
    });
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
