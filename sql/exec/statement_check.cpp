#include "sql/exec/statement_check.h"

#include "sql/expr/exp_messages.h"
#include "sql/expr/operand_types.h"
#include "sql/parse/statement_messages.h"
#include "sql/parse/table_name.h"

namespace strata {

TSourceColumns::TSourceColumns(const TDataQuery& query, const TFieldsOfSource& fields_of) {
  sources_.reserve(query.SourceTables.size());
  for (const TSourceTable& source : query.SourceTables) {
    sources_.push_back({source.CorrelationName, fields_of(source)});
  }
}

std::string_view TSourceColumns::CorrelationName(int source) const {
  return sources_[static_cast<size_t>(source)].CorrelationName;
}

const TFieldDescriptor* TSourceColumns::FindField(int source, std::string_view column) const {
  for (const TFieldDescriptor& field : sources_[static_cast<size_t>(source)].Fields) {
    if (SameTableName(field.Name, column)) return &field;
  }
  return nullptr;
}

std::optional<TColumnInfo> TSourceColumns::FindColumn(int source, std::string_view column) const {
  const TFieldDescriptor* field = FindField(source, column);
  if (field == nullptr) return std::nullopt;
  return TColumnInfo{field->FieldNumber, field->TypeCode, field->SubType, field->DeclaredSize,
                     field->Decimals};
}

namespace {

void Resolve(const TExpressionRef& expression, const TSourceColumns& columns,
             std::string_view context, bool strings_name_columns, bool where = false) {
  if (!expression) return;
  TResolveOptions options;
  options.Context = context;
  options.StringsNameColumns = strings_name_columns;
  options.WhereClause = where;
  ResolveExpression(*expression.Root, columns, options);
}

// The target of an INSERT column or SET target: the named source (the
// statement's table when no correlation name is written) must have it.
void CheckTarget(const TDataQuery& query, const TSourceColumns& columns,
                 const TUpdateField& target) {
  int source = 0;
  if (!target.CorrelationName.empty()) {
    source = -1;
    for (int i = 0; i < columns.SourceCount(); ++i) {
      if (SameTableName(columns.CorrelationName(i), target.CorrelationName)) source = i;
    }
  }
  if (source < 0 || query.SourceTables.empty() ||
      columns.FindField(source, target.ColumnName) == nullptr) {
    RaiseSqlError(FormatMessage(msg::kInvalidColumn, {target.ColumnName, target.CorrelationName,
                                                      msg::kTableColumnsContext}));
  }
}

void CheckQuery(TDataQuery& query, const TFieldsOfSource& fields_of) {
  const TSourceColumns columns(query, fields_of);
  for (const TUpdateField& target : query.UpdateFields) CheckTarget(query, columns, target);
  for (const TResultField& item : query.ResultFields) {
    Resolve(item.Expression, columns, msg::kSourceColumnContext, true);
  }
  Resolve(query.Where, columns, msg::kWhereContext, true, true);
  Resolve(query.Having, columns, msg::kHavingContext, true);
  const bool strings_name_columns = query.StatementKind == TStatementKind::kUpdate;
  for (const TUpdateValue& value : query.UpdateValues) {
    Resolve(value.Expression, columns, msg::kValueContext, strings_name_columns);
  }
}

}  // namespace

void CheckStatement(TParsedStatement& statement, const TFieldsOfSource& fields_of) {
  for (const auto& query : statement.Queries()) CheckQuery(*query, fields_of);
}

}  // namespace strata
