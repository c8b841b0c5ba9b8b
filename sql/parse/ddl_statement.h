// What CREATE TABLE, ALTER TABLE, DROP TABLE, CREATE INDEX and DROP INDEX
// say, as parsed. Column definitions are already in the storage engine's
// terms (a TFieldDescriptor without number and offsets); ddl_definition.h
// turns the statements into table and index definitions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "sql/parse/table_name.h"
#include "storage/record/field_descriptor.h"

namespace strata {

struct TColumnDefinition {
  TFieldDescriptor Field;      // name, type, sizes, NOT NULL, DEFAULT, ...
  uint32_t BlobBlockSize = 0;  // BLOB(n, ...); 0: not given
};

// A key column of a primary key, index or text index.
struct TKeyColumn {
  std::string Name;
  bool Descending = false;
};

struct TPrimaryKeyDefinition {
  std::string ConstraintName;  // CONSTRAINT name, may be empty
  std::vector<TKeyColumn> Columns;
};

// The options after a table's column list (CREATE TABLE, ALTER TABLE).
struct TTableOptions {
  std::optional<std::string> Description;
  std::optional<uint32_t> BlobBlockSize;
  std::optional<uint16_t> LanguageId;
  std::optional<uint16_t> SortId;
  std::optional<std::string> Password;  // ENCRYPTED WITH
  std::optional<uint16_t> UserMajorVersion;
  std::optional<uint16_t> UserMinorVersion;
  std::optional<int32_t> LastAutoInc;
  bool NoBackup = false;
  // TEXT INDEX (columns) and its word rules.
  std::optional<std::vector<std::string>> TextIndexColumns;
  std::optional<std::string> StopWords;
  std::optional<std::string> SpaceChars;
  std::optional<std::string> IncludeChars;
};

struct TCreateTableStatement {
  bool IfNotExists = false;
  TTableName Table;
  std::vector<TColumnDefinition> Columns;
  std::optional<TPrimaryKeyDefinition> PrimaryKey;
  TTableOptions Options;
};

enum class TAlterAction : uint8_t {
  kAddColumn,
  kDropColumn,
  kRedefineColumn,
  kAddPrimaryKey,
  kDropPrimaryKey,
  kRedefinePrimaryKey,
};

struct TAlterStep {
  TAlterAction Action = TAlterAction::kAddColumn;
  bool IfExists = false;     // ADD ... IF NOT EXISTS, DROP/REDEFINE ... IF EXISTS
  std::string ColumnName;    // DROP, REDEFINE: the column as it is now
  TColumnDefinition Column;  // ADD, REDEFINE: the new definition
  int Position = 0;          // AT n (from 1); 0: at the end (ADD) or in place (REDEFINE)
  TPrimaryKeyDefinition PrimaryKey;
};

struct TAlterTableStatement {
  TTableName Table;
  std::vector<TAlterStep> Steps;
  TTableOptions Options;
};

struct TDropTableStatement {
  bool IfExists = false;
  TTableName Table;
};

enum class TIndexCompression : uint8_t { kNone, kDupByte, kTrailByte, kFull };

struct TCreateIndexStatement {
  bool Unique = false;
  bool Descending = false;
  bool NoCase = false;
  bool IfNotExists = false;
  std::string IndexName;
  TTableName Table;
  std::vector<TKeyColumn> Columns;
  TIndexCompression Compression = TIndexCompression::kNone;
};

struct TDropIndexStatement {
  bool IfExists = false;
  TTableName Table;
  std::string IndexName;  // "PRIMARY" names the primary index
};

struct TDdlStatement {
  std::variant<TCreateTableStatement, TAlterTableStatement, TDropTableStatement,
               TCreateIndexStatement, TDropIndexStatement>
      Statement;
};

}  // namespace strata
