#include "sql/exec/result_columns.h"

#include <algorithm>

#include "sql/exec/exec_messages.h"
#include "sql/expr/exp_token.h"
#include "sql/expr/sql_error.h"
#include "storage/cursor/data_cursor.h"

namespace strata {

namespace {

TAggregateKind AggregateOf(const TExpToken& node) {
  if (node.Class != ncAggregate) return TAggregateKind::kNone;
  switch (node.Code) {
    case agSum:
      return TAggregateKind::kSum;
    case agRunSum:
      return TAggregateKind::kRunSum;
    case agCount:
      return TAggregateKind::kCount;
    case agMin:
      return TAggregateKind::kMin;
    case agMax:
      return TAggregateKind::kMax;
    case agAvg:
      return TAggregateKind::kAvg;
    default:
      return TAggregateKind::kNone;
  }
}

std::string_view AggregatePrefix(TAggregateKind kind) {
  switch (kind) {
    case TAggregateKind::kSum:
      return "Sum Of ";
    case TAggregateKind::kRunSum:
      return "Running Sum Of ";
    case TAggregateKind::kMin:
      return "Min Of ";
    case TAggregateKind::kMax:
      return "Max Of ";
    case TAggregateKind::kAvg:
      return "Average Of ";
    case TAggregateKind::kCount:
      return "Count Of ";
    case TAggregateKind::kNone:
      break;
  }
  return "";
}

std::string LastCharacters(std::string_view name, size_t count) {
  return std::string(name.size() > count ? name.substr(name.size() - count) : name);
}

bool SameColumnName(std::string_view a, std::string_view b) { return SameTableName(a, b); }

// The column a plain column item copies.
TFieldDescriptor CopiedField(const TFieldDescriptor& source) {
  TFieldDescriptor field;
  field.TypeCode = source.TypeCode;
  field.SubType = source.IsAutoInc() ? fldstNONE : source.SubType;
  field.DeclaredSize = source.DeclaredSize;
  field.Decimals = source.Decimals;
  return field;
}

// The column an expression's value is stored in.
TFieldDescriptor ComputedField(const TExpToken& node) {
  TFieldDescriptor field;
  field.TypeCode = node.ResultType == fldUNKNOWN ? fldZSTRING : node.ResultType;
  field.SubType = node.ResultSubType == fldstAUTOINC ? fldstNONE : node.ResultSubType;
  switch (field.TypeCode) {
    case fldZSTRING:
      // A wider value is cut to the widest string column.
      field.DeclaredSize = static_cast<uint8_t>(std::clamp<int>(node.Size, 1, kMaxResultString));
      break;
    case fldBYTES:
    case fldVARBYTES:
      if (node.Size > kMaxResultString) {
        RaiseSqlError(FormatMessage(msg::kFieldTooWide, {node.Text}));
      }
      field.DeclaredSize = static_cast<uint8_t>(std::max<int>(node.Size, 1));
      break;
    case fldBCD:
      field.Decimals = node.Scale;
      break;
    default:
      break;
  }
  return field;
}

// The name an item gets before the uniqueness rule.
std::string BaseName(const TResultField& item, const TExpToken& root,
                     const std::vector<TSourceTable>& sources) {
  if (!item.Alias.empty()) return LastCharacters(item.Alias, kMaxResultName);
  const auto column_name = [&](const TExpToken& node) -> std::string {
    const TDataCursor& cursor = *sources[static_cast<size_t>(node.Source)].Cursor;
    return cursor.Field(node.Column).Name;
  };
  const TAggregateKind aggregate = AggregateOf(root);
  if (aggregate != TAggregateKind::kNone) {
    std::string name(AggregatePrefix(aggregate));
    if (!root.Args.empty() && root.Args[0]->Class == ncColumn) {
      name += column_name(*root.Args[0]);
    } else {
      name += "Expr";
    }
    return LastCharacters(name, kMaxResultName);
  }
  if (root.Class == ncColumn) return column_name(root);
  return "Expression";
}

void AddColumn(std::vector<TResultColumn>& columns, std::vector<std::string>& names,
               TResultColumn column) {
  if (columns.size() >= kMaxResultColumns) RaiseSqlError(msg::kTooManyResultColumns);
  column.Name = UniqueColumnName(column.Name, names);
  names.push_back(column.Name);
  column.Field.Name = column.Name;
  column.Field.FieldNumber = static_cast<uint16_t>(columns.size() + 1);
  columns.push_back(std::move(column));
}

// "*" or alias.*: every column of the sources named.
void AddAllColumns(std::vector<TResultColumn>& columns, std::vector<std::string>& names,
                   const TExpToken& root, const std::vector<TSourceTable>& sources) {
  for (size_t s = 0; s < sources.size(); ++s) {
    if (root.Source >= 0 && static_cast<size_t>(root.Source) != s) continue;
    const TDataCursor& cursor = *sources[s].Cursor;
    for (const TFieldDescriptor& field : cursor.Fields()) {
      TResultColumn column;
      column.Name = field.Name;
      column.Source = static_cast<int>(s);
      column.SourceField = field.FieldNumber;
      column.Field = CopiedField(field);
      AddColumn(columns, names, std::move(column));
    }
  }
}

}  // namespace

std::string UniqueColumnName(std::string_view name, const std::vector<std::string>& taken) {
  const auto used = [&](std::string_view candidate) {
    return std::any_of(taken.begin(), taken.end(),
                       [&](const std::string& other) { return SameColumnName(other, candidate); });
  };
  std::string base = LastCharacters(name, kMaxResultName);
  if (!used(base)) return base;
  for (int number = 1;; ++number) {
    const std::string suffix = "_" + std::to_string(number);
    std::string candidate = LastCharacters(base, kMaxResultName - suffix.size()) + suffix;
    if (!used(candidate)) return candidate;
  }
}

std::vector<TResultColumn> BuildResultColumns(TDataQuery& query) {
  std::vector<TResultColumn> columns;
  std::vector<std::string> names;
  std::vector<size_t> averages;
  for (TResultField& item : query.ResultFields) {
    TExpToken& root = *item.Expression.Root;
    if (root.Class == ncAllColumns) {
      AddAllColumns(columns, names, root, query.SourceTables);
      continue;
    }
    TResultColumn column;
    column.Name = BaseName(item, root, query.SourceTables);
    column.Aggregate = AggregateOf(root);
    column.Constant = root.Class == ncConstant;
    if (root.Class == ncColumn) {
      column.Source = root.Source;
      column.SourceField = root.Column;
      column.Field = CopiedField(
          query.SourceTables[static_cast<size_t>(root.Source)].Cursor->Field(root.Column));
    } else {
      column.Expression = &root;
      column.CountAll = root.CountAll;
      if (column.Aggregate == TAggregateKind::kCount) {
        column.Field.TypeCode = fldINT32;
      } else if (column.Aggregate == TAggregateKind::kAvg) {
        column.Field.TypeCode = fldFLOAT;
      } else {
        column.Field = ComputedField(root);
      }
    }
    if (column.Aggregate == TAggregateKind::kAvg) averages.push_back(columns.size());
    AddColumn(columns, names, std::move(column));
  }
  // The count columns of the averages follow the visible ones.
  for (size_t average : averages) {
    TResultColumn count;
    count.Name = "Sys__Avg__Count";
    count.Hidden = true;
    count.Field.TypeCode = fldINT32;
    AddColumn(columns, names, std::move(count));
    columns[average].CountField = columns.back().Field.FieldNumber;
  }
  return columns;
}

size_t VisibleColumnCount(const std::vector<TResultColumn>& columns) {
  size_t count = 0;
  while (count < columns.size() && !columns[count].Hidden) ++count;
  return count;
}

}  // namespace strata
