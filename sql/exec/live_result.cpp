#include "sql/exec/live_result.h"

#include "sql/exec/source_filters.h"
#include "sql/parse/data_query.h"
#include "storage/cursor/data_cursor.h"

namespace strata {

namespace {

// An index whose first fields are the ORDER BY columns in order, each in
// the direction written.
std::optional<int> OrderingIndex(const TDataQuery& query, TDataCursor& cursor) {
  if (query.OrderBy.empty()) return TDataCursor::kRowOrderIndex;
  const std::vector<TFieldDescriptor>& fields = cursor.Fields();
  for (int slot : cursor.Indexes()) {
    if (slot >= TDataCursor::kRowOrderIndex) continue;
    const TIndexDescriptor& index = cursor.IndexDescriptor(slot);
    if (index.FieldCount < query.OrderBy.size()) continue;
    if (query.OrderByNoCase != index.CaseInsensitive) continue;
    bool serves = true;
    for (size_t i = 0; i < query.OrderBy.size() && serves; ++i) {
      const TOrderByField& item = query.OrderBy[i];
      const uint16_t number = index.FieldNumbers[i];
      if (number < 1 || number > fields.size()) {
        serves = false;
        continue;
      }
      const bool by_name =
          item.ColumnNumber == 0 && SameTableName(fields[number - 1u].Name, item.ColumnName);
      const bool by_number = item.ColumnNumber == number;
      serves = (by_name || by_number) &&
               (index.Descending || index.FieldDescending[i]) == item.Descending;
    }
    if (serves) return slot;
  }
  return std::nullopt;
}

}  // namespace

std::optional<int> LiveResultIndex(const TDataQuery& query) {
  if (!query.RequestLive || query.HasInto || query.Distinct || query.SourceTables.size() != 1 ||
      !query.Joins.empty() || !query.GroupBy.empty() || query.Having ||
      query.UnionNext != nullptr || query.InUnionChain) {
    return std::nullopt;
  }
  for (const TResultField& item : query.ResultFields) {
    if (item.Expression.Root->Class != ncAllColumns || !item.Alias.empty()) return std::nullopt;
  }
  if (query.Where && !Filterable(*query.Where.Root)) return std::nullopt;
  return OrderingIndex(query, *query.SourceTables.front().Cursor);
}

std::unique_ptr<TDataCursor> OpenLiveResult(TDataQuery& query, int index) {
  TDataCursor& source = *query.SourceTables.front().Cursor;
  auto cursor = std::make_unique<TDataCursor>(source.Directory().shared_from_this());
  cursor->Open(source.TableName(), {.InMemory = source.Directory().InMemory()});
  if (index != TDataCursor::kRowOrderIndex) cursor->SetIndex(index);
  if (query.Where) {
    TFilter* filter = AddFilter(*cursor, FilterExpressionOf(*query.Where.Root));
    ActivateFilter(*cursor, filter);
  }
  cursor->First();
  return cursor;
}

}  // namespace strata
