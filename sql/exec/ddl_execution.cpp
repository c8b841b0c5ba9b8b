// The table-definition statements, each through a cursor that holds its
// table exclusively.
//
// ALTER TABLE and DROP INDEX rebuild the table: a new table with the new
// definition is made under a temporary name beside the old one, every record
// is copied into it, and only then are the two swapped:
//
//   old "T"  --rename-->  backup (temporary name)
//   new      --rename-->  "T"
//   backup   --delete
//
// A failure before the swap deletes the new table and leaves the old one as
// it was; a failure in the swap renames the backup back. The records are
// therefore never lost on an error: at every moment either the old table or
// the complete new one holds them.
#include "sql/exec/ddl_execution.h"

#include <optional>
#include <string>
#include <vector>

#include "sql/expr/sql_error.h"
#include "sql/parse/ddl_definition.h"
#include "storage/best_effort.h"
#include "storage/cursor/data_cursor.h"
#include "storage/data/data_file.h"
#include "storage/engine_error.h"
#include "storage/engine_names.h"
#include "storage/index/index_descriptor.h"
#include "storage/session/data_directory.h"
#include "storage/session/data_session.h"
#include "storage/table/data_table.h"

namespace strata {
namespace {

// The directory a table name of a statement lies in: the database's, one
// of the same session for a name with a path, or the in-memory database.
std::shared_ptr<TDataDirectory> DirectoryOf(TDataDirectory& database, const TTableName& table) {
  if (table.InMemory && !database.InMemory()) {
    return database.Session().OpenDirectory("Memory", "");
  }
  if (!table.Directory.empty()) return database.Session().OpenDirectory("", table.Directory);
  return database.shared_from_this();
}

TTableOpenOptions ExclusiveOptions(const TDataDirectory& directory, const TTableName& table) {
  return {.Exclusive = true, .ReadOnly = false, .InMemory = table.InMemory || directory.InMemory()};
}

// The definition a stored index has.
TIndexDef IndexDefOf(const TIndexDescriptor& descriptor, bool primary) {
  TIndexDef index;
  index.Name = primary ? std::string() : descriptor.Name;
  index.Primary = primary;
  index.Unique = primary || descriptor.Unique;
  index.Descending = descriptor.Descending;
  index.CaseInsensitive = descriptor.CaseInsensitive;
  for (int i = 0; i < descriptor.FieldCount; ++i) {
    index.FieldNumbers.push_back(descriptor.FieldNumbers[static_cast<size_t>(i)]);
    index.FieldDescending.push_back(descriptor.FieldDescending[static_cast<size_t>(i)]);
  }
  return index;
}

// The definition the cursor's table has now: fields, indexes (the primary
// only when it has key fields) and header settings.
TTableDefinition CurrentDefinition(TDataCursor& cursor) {
  TTableDefinition definition;
  definition.Name = cursor.TableName();
  definition.Fields = cursor.Fields();
  for (int slot : cursor.Indexes()) {
    const TIndexDescriptor& descriptor = cursor.IndexDescriptor(slot);
    if (slot == kPrimaryIndex && descriptor.FieldCount > 0) {
      definition.Indexes.push_back(IndexDefOf(descriptor, true));
    } else if (slot >= kFirstSecondaryIndex && slot < kFirstSecondaryIndex + kMaxSecondaryIndexes) {
      definition.Indexes.push_back(IndexDefOf(descriptor, false));
    }
  }
  const TDataHeader& header = cursor.Table().DataFile().Header();
  definition.LanguageId = header.LocaleId;
  definition.SortId = header.SortId;
  definition.BlobBlockSize = header.BlobBlockSize;
  definition.Description = header.Description;
  definition.Password = header.Password;
  definition.Encrypted = header.Encrypted;
  definition.UserValueA = header.UserValueA;
  definition.UserValueB = header.UserValueB;
  return definition;
}

// Copies one field of the source's current record into the target's
// buffer: the bytes when the types agree, the blob value between blobs,
// otherwise through the value's text (a text that does not fit the new
// type raises the conversion error).
void CopyField(TDataCursor& source, uint16_t from, TDataCursor& target, uint16_t to) {
  const TFieldDescriptor& old_field = source.Field(from);
  const TFieldDescriptor& new_field = target.Field(to);
  if (old_field.IsAutoInc() || new_field.IsAutoInc()) {
    // The row number is the auto-increment value.
    if (std::optional<int64_t> value = source.GetFieldInt64(from)) {
      target.PutFieldInt64(to, *value);
    }
    return;
  }
  if (source.IsFieldBlank(from)) {
    target.PutFieldBlank(to);
    return;
  }
  if (old_field.IsBlob() && new_field.IsBlob()) {
    const std::vector<uint8_t> value = source.ReadBlob(from);
    target.PutField(to, value);
    return;
  }
  if (!old_field.IsBlob() && old_field.TypeCode == new_field.TypeCode &&
      old_field.DataSize == new_field.DataSize) {
    std::vector<uint8_t> value(old_field.DataSize);
    source.GetField(from, value);
    target.PutField(to, value);
    return;
  }
  const std::optional<std::string> text = source.GetFieldText(from);
  if (text) target.PutFieldText(to, *text);
}

// Every record of `source` into `target`; fields[i] is the source field of
// target field i + 1 (0: left at its default).
void CopyRecords(TDataCursor& source, TDataCursor& target, const std::vector<uint16_t>& fields) {
  source.SetIndex(TDataCursor::kRowOrderIndex);
  source.First();
  while (source.MoveNext()) {
    target.InitRecord();
    for (size_t i = 0; i < fields.size(); ++i) {
      if (fields[i] != 0) CopyField(source, fields[i], target, static_cast<uint16_t>(i + 1));
    }
    target.InsertRecord();
  }
}

// Deletes a table made for a rebuild that did not finish.
void DiscardTable(const std::shared_ptr<TDataDirectory>& directory, const std::string& name,
                  const TTableOpenOptions& options) {
  BestEffort([&] {
    TDataCursor cursor(directory);
    cursor.DeleteTable(name, options);
  });
}

// Rebuilds the table open in `old_table` (exclusively) with `definition`,
// taking field i + 1's values from old field source_fields[i], and swaps
// the new table in under the old name. The old cursor is closed afterwards.
void RebuildTable(TDataCursor& old_table, TTableDefinition definition,
                  const std::vector<uint16_t>& source_fields, const TTableOpenOptions& options) {
  const std::shared_ptr<TDataDirectory> directory = old_table.Directory().shared_from_this();
  const std::string name = old_table.TableName();
  const std::string new_name = TableNameWithoutExtension(directory->TemporaryTableName(true));
  definition.Name = new_name;
  {
    TDataCursor creator(directory);
    creator.CreateTable(definition, options);
  }
  TDataCursor new_table(directory);
  try {
    new_table.Open(new_name, options);
    CopyRecords(old_table, new_table, source_fields);
    const int32_t last = old_table.LastAutoIncrement();
    if (last > new_table.LastAutoIncrement()) new_table.SetLastAutoIncrement(last);
  } catch (const EStrataEngineError& error) {
    BestEffort([&] { new_table.Close(); });
    DiscardTable(directory, new_name, options);
    // The records broke a rule of the new definition: the table the user
    // named is the one at fault, not the scratch copy.
    if (!SameName(TableNameWithoutExtension(error.ContextTable), new_name)) throw;
    RaiseEngineError(error.Code, {.table = name,
                                  .field = error.ContextField,
                                  .index = error.ContextIndex,
                                  .detail = error.ContextDetail});
  } catch (...) {
    BestEffort([&] { new_table.Close(); });
    DiscardTable(directory, new_name, options);
    throw;
  }

  const std::string backup = TableNameWithoutExtension(directory->TemporaryTableName(true));
  try {
    old_table.RenameTable(backup);
  } catch (...) {
    BestEffort([&] { new_table.Close(); });
    DiscardTable(directory, new_name, options);
    throw;
  }
  try {
    new_table.RenameTable(name);
  } catch (...) {
    BestEffort([&] {
      new_table.Close();
      TDataCursor restore(directory);
      restore.Open(backup, options);
      restore.RenameTable(name);
    });
    DiscardTable(directory, new_name, options);
    throw;
  }
  // The new table stands under the old name; the old records are copies now.
  DiscardTable(directory, backup, options);
}

// The identity mapping: every field takes its own values.
std::vector<uint16_t> SameFields(const TTableDefinition& definition) {
  std::vector<uint16_t> fields;
  for (const TFieldDescriptor& field : definition.Fields) fields.push_back(field.FieldNumber);
  return fields;
}

// The slot of the index named `name` ("PRIMARY": the primary, when it has
// key fields), or -1.
int FindIndexSlot(TDataCursor& cursor, std::string_view name) {
  for (int slot : cursor.Indexes()) {
    const TIndexDescriptor& descriptor = cursor.IndexDescriptor(slot);
    if (slot == kPrimaryIndex) {
      if (descriptor.FieldCount > 0 && SameName(name, "PRIMARY")) return slot;
    } else if (slot < kSysDeletedIndex && SameName(descriptor.Name, name)) {
      return slot;
    }
  }
  return -1;
}

}  // namespace

TStatementOutcome ExecuteCreateTable(TDataDirectory& database,
                                     const TCreateTableStatement& create) {
  const std::shared_ptr<TDataDirectory> directory = DirectoryOf(database, create.Table);
  const TTableOpenOptions options = ExclusiveOptions(*directory, create.Table);
  if (create.IfNotExists && directory->TableExists(create.Table.Name, options.InMemory)) return 0;
  if (create.Options.TextIndexColumns) {
    RaiseSqlError("Text indexes are not supported, table '" + create.Table.Name + "'");
  }
  const TTableDefinition definition = TableDefinitionOf(create);
  TDataCursor cursor(directory);
  cursor.CreateTable(definition, options);
  if (create.Options.LastAutoInc) {
    try {
      cursor.Open(create.Table.Name, options);
      cursor.SetLastAutoIncrement(*create.Options.LastAutoInc);
      cursor.Close();
    } catch (...) {
      BestEffort([&] { cursor.Close(); });
      DiscardTable(directory, create.Table.Name, options);
      throw;
    }
  }
  return 0;
}

TStatementOutcome ExecuteAlterTable(TDataDirectory& database, const TAlterTableStatement& alter) {
  const std::shared_ptr<TDataDirectory> directory = DirectoryOf(database, alter.Table);
  const TTableOpenOptions options = ExclusiveOptions(*directory, alter.Table);
  if (alter.Options.TextIndexColumns) {
    RaiseSqlError("Text indexes are not supported, table '" + alter.Table.Name + "'");
  }
  TDataCursor cursor(directory);
  cursor.Open(alter.Table.Name, options);
  TAlteredTable altered = AlteredDefinitionOf(CurrentDefinition(cursor), alter);
  ApplyTableOptions(alter.Options, altered.Definition);
  RebuildTable(cursor, std::move(altered.Definition), altered.SourceFields, options);
  if (alter.Options.LastAutoInc) {
    cursor.Open(alter.Table.Name, options);
    cursor.SetLastAutoIncrement(*alter.Options.LastAutoInc);
  }
  return 0;
}

TStatementOutcome ExecuteDropTable(TDataDirectory& database, const TDropTableStatement& drop) {
  const std::shared_ptr<TDataDirectory> directory = DirectoryOf(database, drop.Table);
  const TTableOpenOptions options = ExclusiveOptions(*directory, drop.Table);
  if (drop.IfExists && !directory->TableExists(drop.Table.Name, options.InMemory)) return 0;
  TDataCursor cursor(directory);
  cursor.DeleteTable(drop.Table.Name, options);
  return 0;
}

TStatementOutcome ExecuteCreateIndex(TDataDirectory& database,
                                     const TCreateIndexStatement& create) {
  const std::shared_ptr<TDataDirectory> directory = DirectoryOf(database, create.Table);
  const TTableOpenOptions options = ExclusiveOptions(*directory, create.Table);
  TDataCursor cursor(directory);
  cursor.Open(create.Table.Name, options);
  if (create.IfNotExists && FindIndexSlot(cursor, create.IndexName) >= 0) return 0;
  cursor.AddIndex(IndexDefinitionOf(create, cursor.Fields()));
  return 0;
}

TStatementOutcome ExecuteDropIndex(TDataDirectory& database, const TDropIndexStatement& drop) {
  const std::shared_ptr<TDataDirectory> directory = DirectoryOf(database, drop.Table);
  const TTableOpenOptions options = ExclusiveOptions(*directory, drop.Table);
  TDataCursor cursor(directory);
  cursor.Open(drop.Table.Name, options);
  const int slot = FindIndexSlot(cursor, drop.IndexName);
  if (slot < 0) {
    if (drop.IfExists) return 0;
    RaiseIndexError(STRATA_INVALIDINDEXNAME, drop.IndexName, cursor.TableName());
  }
  TTableDefinition definition = CurrentDefinition(cursor);
  const TIndexDescriptor& dropped = cursor.IndexDescriptor(slot);
  std::erase_if(definition.Indexes, [&](const TIndexDef& index) {
    return slot == kPrimaryIndex ? index.Primary
                                 : (!index.Primary && SameName(index.Name, dropped.Name));
  });
  const std::vector<uint16_t> fields = SameFields(definition);
  RebuildTable(cursor, std::move(definition), fields, options);
  return 0;
}

}  // namespace strata
