#include "sql/parse/ddl_definition.h"

#include <algorithm>
#include <string>

#include "sql/expr/sql_error.h"
#include "sql/parse/statement_messages.h"
#include "sql/parse/table_name.h"

namespace strata {
namespace {

// The field named `name` (ignoring case), or nullptr.
const TFieldDescriptor* FieldNamed(std::span<const TFieldDescriptor> fields,
                                   std::string_view name) {
  for (const TFieldDescriptor& field : fields) {
    if (SameTableName(field.Name, name)) return &field;
  }
  return nullptr;
}

[[noreturn]] void RaiseColumnNotDefined(std::string_view column, std::string_view table) {
  RaiseSqlError(FormatMessage(msg::kColumnNotDefined, {column, table}));
}

// Key columns to field numbers and per-field descending flags.
void FillKey(std::span<const TKeyColumn> columns, std::span<const TFieldDescriptor> fields,
             std::string_view table, TIndexDef& index) {
  for (const TKeyColumn& column : columns) {
    const TFieldDescriptor* field = FieldNamed(fields, column.Name);
    if (field == nullptr) RaiseColumnNotDefined(column.Name, table);
    index.FieldNumbers.push_back(field->FieldNumber);
    index.FieldDescending.push_back(column.Descending);
  }
}

TIndexDef PrimaryIndexOf(const TPrimaryKeyDefinition& key, std::span<const TFieldDescriptor> fields,
                         std::string_view table) {
  TIndexDef index;
  index.Primary = true;
  index.Unique = true;
  FillKey(key.Columns, fields, table, index);
  return index;
}

TFieldDescriptor FieldOf(const TColumnDefinition& column, uint16_t number) {
  TFieldDescriptor field = column.Field;
  field.FieldNumber = number;
  return field;
}

// The block size of the first blob column that names one, or 0.
uint32_t FirstBlobBlockSize(std::span<const TColumnDefinition> columns) {
  for (const TColumnDefinition& column : columns) {
    if (column.BlobBlockSize != 0) return column.BlobBlockSize;
  }
  return 0;
}

// The working state of an ALTER TABLE: the fields in their new order, each
// with the current number it comes from.
struct TAlterWork {
  std::vector<TFieldDescriptor> Fields;
  std::vector<uint16_t> Sources;
  std::vector<TIndexDef> Indexes;  // key fields as current numbers
  std::optional<TPrimaryKeyDefinition> NewPrimary;
  bool PrimaryDropped = false;

  std::ptrdiff_t Find(std::string_view name) const {
    for (size_t i = 0; i < Fields.size(); ++i) {
      if (SameTableName(Fields[i].Name, name)) return static_cast<std::ptrdiff_t>(i);
    }
    return -1;
  }
  void Insert(TFieldDescriptor field, uint16_t source, int position) {
    const size_t at =
        position <= 0 ? Fields.size() : std::min(Fields.size(), static_cast<size_t>(position - 1));
    Fields.insert(Fields.begin() + static_cast<std::ptrdiff_t>(at), std::move(field));
    Sources.insert(Sources.begin() + static_cast<std::ptrdiff_t>(at), source);
  }
};

void CheckPosition(int position, size_t count, std::string_view table) {
  if (position < 0 || static_cast<size_t>(position) > count + 1) {
    RaiseSqlError(FormatMessage(msg::kPositionOutOfRange, {std::to_string(position), table}));
  }
}

void ApplyStep(const TAlterStep& step, std::string_view table, TAlterWork& work) {
  switch (step.Action) {
    case TAlterAction::kAddColumn: {
      if (work.Find(step.Column.Field.Name) >= 0) {
        if (step.IfExists) return;
        RaiseSqlError(FormatMessage(msg::kColumnDefined, {step.Column.Field.Name, table}));
      }
      CheckPosition(step.Position, work.Fields.size(), table);
      work.Insert(FieldOf(step.Column, 0), 0, step.Position);
      return;
    }
    case TAlterAction::kDropColumn:
    case TAlterAction::kRedefineColumn: {
      const std::ptrdiff_t at = work.Find(step.ColumnName);
      if (at < 0) {
        if (step.IfExists) return;
        RaiseColumnNotDefined(step.ColumnName, table);
      }
      const uint16_t source = work.Sources[static_cast<size_t>(at)];
      work.Fields.erase(work.Fields.begin() + at);
      work.Sources.erase(work.Sources.begin() + at);
      if (step.Action == TAlterAction::kDropColumn) return;
      if (work.Find(step.Column.Field.Name) >= 0) {
        RaiseSqlError(FormatMessage(msg::kColumnDefined, {step.Column.Field.Name, table}));
      }
      CheckPosition(step.Position, work.Fields.size(), table);
      // In place unless AT moves it.
      const int position = step.Position > 0 ? step.Position : static_cast<int>(at) + 1;
      work.Insert(FieldOf(step.Column, 0), source, position);
      return;
    }
    case TAlterAction::kDropPrimaryKey:
    case TAlterAction::kRedefinePrimaryKey:
    case TAlterAction::kAddPrimaryKey: {
      const bool has_primary = work.NewPrimary.has_value() ||
                               (!work.PrimaryDropped &&
                                std::any_of(work.Indexes.begin(), work.Indexes.end(),
                                            [](const TIndexDef& index) { return index.Primary; }));
      if (step.Action == TAlterAction::kAddPrimaryKey && has_primary) {
        RaiseSqlError(FormatMessage(msg::kPrimaryKeyDefined, {table}));
      }
      if (step.Action == TAlterAction::kDropPrimaryKey && !has_primary) {
        if (step.IfExists) return;
        RaiseSqlError(FormatMessage(msg::kNoPrimaryKey, {table}));
      }
      work.PrimaryDropped = true;
      work.NewPrimary.reset();
      if (step.Action == TAlterAction::kDropPrimaryKey) return;
      work.NewPrimary = step.PrimaryKey;  // names resolved against the new layout
      return;
    }
  }
}

}  // namespace

void ApplyTableOptions(const TTableOptions& options, TTableDefinition& definition) {
  if (options.Description) definition.Description = *options.Description;
  if (options.BlobBlockSize) definition.BlobBlockSize = *options.BlobBlockSize;
  if (options.LanguageId) definition.LanguageId = *options.LanguageId;
  if (options.SortId) definition.SortId = *options.SortId;
  if (options.Password) {
    definition.Password = *options.Password;
    definition.Encrypted = !options.Password->empty();
  }
  if (options.UserMajorVersion) definition.UserValueA = *options.UserMajorVersion;
  if (options.UserMinorVersion) definition.UserValueB = *options.UserMinorVersion;
}

TTableDefinition TableDefinitionOf(const TCreateTableStatement& create) {
  TTableDefinition definition;
  definition.Name = create.Table.Name;
  uint16_t number = 0;
  for (const TColumnDefinition& column : create.Columns) {
    definition.Fields.push_back(FieldOf(column, ++number));
  }
  if (create.PrimaryKey) {
    definition.Indexes.push_back(
        PrimaryIndexOf(*create.PrimaryKey, definition.Fields, create.Table.Name));
  }
  definition.BlobBlockSize = FirstBlobBlockSize(create.Columns);
  ApplyTableOptions(create.Options, definition);
  return definition;
}

TIndexDef IndexDefinitionOf(const TCreateIndexStatement& create,
                            std::span<const TFieldDescriptor> fields) {
  TIndexDef index;
  index.Name = create.IndexName;
  index.Unique = create.Unique;
  index.Descending = create.Descending;
  index.CaseInsensitive = create.NoCase;
  FillKey(create.Columns, fields, create.Table.Name, index);
  return index;
}

TAlteredTable AlteredDefinitionOf(const TTableDefinition& current,
                                  const TAlterTableStatement& alter) {
  const std::string_view table = alter.Table.Name;
  TAlterWork work;
  for (const TFieldDescriptor& field : current.Fields) {
    work.Fields.push_back(field);
    work.Sources.push_back(field.FieldNumber);
  }
  work.Indexes = current.Indexes;
  for (const TAlterStep& step : alter.Steps) ApplyStep(step, table, work);

  TAlteredTable result;
  result.Definition = current;
  result.Definition.Fields.clear();
  result.Definition.Indexes.clear();
  for (size_t i = 0; i < work.Fields.size(); ++i) {
    TFieldDescriptor field = work.Fields[i];
    field.FieldNumber = static_cast<uint16_t>(i + 1);
    result.Definition.Fields.push_back(std::move(field));
  }
  result.SourceFields = work.Sources;
  if (work.NewPrimary) {
    result.Definition.Indexes.push_back(
        PrimaryIndexOf(*work.NewPrimary, result.Definition.Fields, table));
  }
  // Existing indexes follow their fields to their new numbers.
  for (const TIndexDef& index : work.Indexes) {
    if (index.Primary && work.PrimaryDropped) continue;
    TIndexDef moved = index;
    moved.FieldNumbers.clear();
    bool complete = true;
    for (uint16_t old_number : index.FieldNumbers) {
      const auto it = std::find(work.Sources.begin(), work.Sources.end(), old_number);
      if (old_number == 0 || it == work.Sources.end()) {
        complete = false;
        break;
      }
      moved.FieldNumbers.push_back(static_cast<uint16_t>(it - work.Sources.begin() + 1));
    }
    if (complete) result.Definition.Indexes.push_back(std::move(moved));
  }
  ApplyTableOptions(alter.Options, result.Definition);
  return result;
}

}  // namespace strata
