#include "sql/parse/data_query.h"

#include "storage/cursor/data_cursor.h"

namespace strata {

TSourceTable::TSourceTable() = default;
TSourceTable::~TSourceTable() = default;
TSourceTable::TSourceTable(TSourceTable&&) noexcept = default;
TSourceTable& TSourceTable::operator=(TSourceTable&&) noexcept = default;

TSourceTable MakeSourceTable(TTableName name) {
  TSourceTable source;
  source.InMemory = name.InMemory;
  source.CorrelationName = name.Name;
  source.TableName = std::move(name.Name);
  source.Directory = std::move(name.Directory);
  return source;
}

TDataQuery::TDataQuery() = default;
TDataQuery::~TDataQuery() = default;

TSourceTable* TDataQuery::FindSource(std::string_view correlation_name) {
  for (TSourceTable& source : SourceTables) {
    if (SameTableName(source.CorrelationName, correlation_name)) return &source;
  }
  return nullptr;
}

TSourceTable* TDataQuery::SourceAt(int position) {
  for (TSourceTable& source : SourceTables) {
    if (source.Position == position) return &source;
  }
  return nullptr;
}

}  // namespace strata
