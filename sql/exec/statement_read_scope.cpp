#include "sql/exec/statement_read_scope.h"

#include <algorithm>
#include <exception>

#include "sql/parse/data_query.h"
#include "sql/parse/parsed_statement.h"
#include "storage/best_effort.h"
#include "storage/cursor/data_cursor.h"
#include "storage/table/data_table.h"

namespace strata {

namespace {

// The distinct lock-taking tables of the statement's open sources, in the
// order the statement names them; none when a query asks for table locks.
std::vector<TDataTable*> ScopeTables(const TParsedStatement& statement, const TDataQuery* skip) {
  std::vector<TDataTable*> tables;
  for (const auto& query : statement.Queries()) {
    if (query->WithLocks) return {};
    if (query.get() == skip) continue;
    for (const TSourceTable& source : query->SourceTables) {
      if (!source.Cursor || !source.Cursor->IsOpen()) continue;
      TDataTable* table = &source.Cursor->Table();
      if (!table->TakesLocks()) continue;
      if (std::find(tables.begin(), tables.end(), table) == tables.end()) tables.push_back(table);
    }
  }
  return tables;
}

}  // namespace

TStatementReadScope::TStatementReadScope(const TParsedStatement& statement,
                                         const TDataQuery* skip) {
  const std::vector<TDataTable*> tables = ScopeTables(statement, skip);
  try {
    for (TDataTable* table : tables) {
      if (held_.empty()) {
        table->BeginRead();
      } else if (!table->TryBeginRead()) {
        // Busy: waiting here would wait while holding the others.
        Release();
        return;
      }
      held_.push_back(table);
    }
  } catch (...) {
    BestEffort([&] { Release(); });
    throw;
  }
}

TStatementReadScope::~TStatementReadScope() {
  BestEffort([&] { Release(); });
}

void TStatementReadScope::Release() {
  std::exception_ptr failure;
  while (!held_.empty()) {
    TDataTable* table = held_.back();
    held_.pop_back();
    try {
      table->EndRead();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace strata
