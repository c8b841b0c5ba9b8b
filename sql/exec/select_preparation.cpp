#include "sql/exec/select_preparation.h"

#include "sql/exec/exec_messages.h"
#include "sql/exec/group_having.h"
#include "sql/expr/exp_token.h"
#include "sql/expr/sql_error.h"
#include "sql/parse/data_query.h"
#include "storage/best_effort.h"
#include "storage/cursor/data_cursor.h"
#include "storage/record/field_validation.h"
#include "storage/session/data_directory.h"
#include "storage/session/data_session.h"

namespace strata {

namespace {

constexpr std::string_view kOrderByClause = "ORDER BY";
constexpr std::string_view kGroupByClause = "GROUP BY";
constexpr std::string_view kDistinctClause = "DISTINCT";

// The result column (from 1) an ORDER BY or GROUP BY item names.
uint16_t ResolveItem(const TGroupByField& item, const TPreparedQuery& prepared, size_t visible,
                     std::string_view clause) {
  const std::vector<TResultColumn>& columns = prepared.Columns;
  if (item.ColumnNumber > 0) {
    if (static_cast<size_t>(item.ColumnNumber) > visible) {
      RaiseSqlError(
          FormatMessage(msg::kInvalidItemNumber, {std::to_string(item.ColumnNumber), clause}));
    }
    return static_cast<uint16_t>(item.ColumnNumber);
  }
  const TDataQuery& query = *prepared.Query;
  const auto source_matches = [&](const TResultColumn& column) {
    if (item.CorrelationName.empty()) return true;
    return column.Source >= 0 &&
           SameTableName(query.SourceTables[static_cast<size_t>(column.Source)].CorrelationName,
                         item.CorrelationName);
  };
  for (size_t i = 0; i < visible; ++i) {
    if (SameTableName(columns[i].Name, item.ColumnName) && source_matches(columns[i])) {
      return static_cast<uint16_t>(i + 1);
    }
  }
  // A plain column named by its source's field name (under another name).
  for (size_t i = 0; i < visible; ++i) {
    const TResultColumn& column = columns[i];
    if (column.Source < 0 || !source_matches(column)) continue;
    const TDataCursor& cursor = *query.SourceTables[static_cast<size_t>(column.Source)].Cursor;
    if (SameTableName(cursor.Field(column.SourceField).Name, item.ColumnName)) {
      return static_cast<uint16_t>(i + 1);
    }
  }
  RaiseSqlError(
      FormatMessage(msg::kInvalidItemName, {item.ColumnName, item.CorrelationName, clause}));
}

void CheckItemCount(size_t count, std::string_view clause) {
  if (count > kMaxResultColumns) {
    RaiseSqlError(FormatMessage(msg::kTooManyItemColumns, {clause}));
  }
}

void RefuseBlob(const TResultColumn& column, std::string_view clause) {
  if (column.Field.TypeCode == fldBLOB) {
    RaiseSqlError(FormatMessage(msg::kBlobItem, {column.Name, clause}));
  }
}

void CheckAggregates(TPreparedQuery& prepared) {
  const TDataQuery& query = *prepared.Query;
  bool aggregate = false;
  bool plain = false;
  for (const TResultColumn& column : prepared.Columns) {
    if (column.Hidden) continue;
    if (column.Aggregate != TAggregateKind::kNone) {
      aggregate = true;
    } else if (!column.Constant) {
      plain = true;
    }
  }
  if (query.GroupBy.empty()) {
    if (aggregate && plain) RaiseSqlError(msg::kGroupByMissing);
    if (query.Having) RaiseSqlError(msg::kHavingWithoutGroupBy);
  }
  prepared.Shape.Grouped = !query.GroupBy.empty() || (aggregate && !plain);
  for (const TResultColumn& column : prepared.Columns) {
    if (column.Aggregate == TAggregateKind::kNone) continue;
    prepared.Shape.Columns.push_back(
        {column.Field.FieldNumber, column.Aggregate, column.CountField});
  }
}

}  // namespace

void CheckWhereIsBoolean(const TDataQuery& query) {
  if (query.Where && query.Where.Root->ResultType != fldBOOL &&
      query.Where.Root->ResultType != fldUNKNOWN) {
    RaiseSqlError(msg::kWhereNotBoolean);
  }
}

TPreparedQuery PrepareSelectColumns(TDataQuery& query) {
  // DISTINCT gives way to GROUP BY.
  if (query.Distinct && !query.GroupBy.empty()) query.Distinct = false;
  TPreparedQuery prepared;
  prepared.Query = &query;
  prepared.Columns = BuildResultColumns(query);
  const size_t visible = VisibleColumnCount(prepared.Columns);
  CheckAggregates(prepared);
  CheckWhereIsBoolean(query);
  if (query.Having && query.Having.Root->ResultType != fldBOOL) {
    RaiseSqlError(msg::kHavingNotBoolean);
  }
  CheckHaving(prepared);

  TResultShape& shape = prepared.Shape;
  CheckItemCount(query.OrderBy.size(), kOrderByClause);
  for (const TOrderByField& item : query.OrderBy) {
    shape.OrderBy.push_back(
        {ResolveItem(item, prepared, visible, kOrderByClause), item.Descending});
  }
  shape.OrderByNoCase = query.OrderByNoCase;
  CheckItemCount(query.GroupBy.size(), kGroupByClause);
  for (const TGroupByField& item : query.GroupBy) {
    const uint16_t field = ResolveItem(item, prepared, visible, kGroupByClause);
    RefuseBlob(prepared.Columns[field - 1u], kGroupByClause);
    shape.GroupBy.push_back(field);
  }
  shape.Distinct = query.Distinct;
  if (query.Distinct) {
    CheckItemCount(visible, kDistinctClause);
    for (size_t i = 0; i < visible; ++i) RefuseBlob(prepared.Columns[i], kDistinctClause);
  }
  shape.Top = query.Top;
  return prepared;
}

void CreateResultTable(TPreparedQuery& prepared, TDataDirectory& database) {
  TDataQuery& query = *prepared.Query;
  TDataSession& session = database.Session();
  std::shared_ptr<TDataDirectory> directory;
  bool temporary = false;
  if (!query.HasInto) {
    directory = session.OpenPrivateDirectory();
    temporary = true;
  } else if (query.IntoInMemory) {
    directory = session.OpenDirectory(kMemoryDatabaseName, "");
  } else if (!query.IntoDirectory.empty()) {
    directory = session.OpenDirectory("", query.IntoDirectory);
  } else {
    directory = database.shared_from_this();
  }
  std::string name = query.HasInto && !query.IntoTableName.empty() ? query.IntoTableName
                     : temporary                                   ? directory->ScratchTableName()
                                 : directory->TemporaryTableName();

  TTableDefinition definition;
  definition.Name = name;
  definition.LanguageId = query.LanguageId;
  definition.SortId = query.SortId;
  for (const TResultColumn& column : prepared.Columns) definition.Fields.push_back(column.Field);
  ValidateFieldDescriptors(definition.Fields, name, 0, 0);
  const TTableOpenOptions options{
      .Exclusive = true, .InMemory = directory->InMemory(), .Temporary = temporary};
  directory->CreateTable(definition, options,
                         /*overwrite=*/query.HasInto);
  auto cursor = std::make_unique<TDataCursor>(directory);
  try {
    cursor->Open(name, options);
  } catch (...) {
    // A table that cannot be opened is no result: remove it again.
    BestEffort([&] { TDataCursor(directory).DeleteTable(name, {.InMemory = options.InMemory}); });
    throw;
  }
  prepared.Result = std::move(cursor);
}

}  // namespace strata
