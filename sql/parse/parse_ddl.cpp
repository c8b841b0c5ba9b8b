// CREATE TABLE, ALTER TABLE, DROP TABLE, CREATE INDEX, DROP INDEX, and the
// transaction statements START TRANSACTION, COMMIT and ROLLBACK.
#include <array>
#include <string>

#include "sql/expr/sql_types.h"
#include "sql/parse/statement_messages.h"
#include "sql/parse/statement_parser.h"
#include "storage/record/field_validation.h"

namespace strata {
namespace {

constexpr std::array<std::string_view, 7> kIndexStarts = {
    "INDEX", "UNIQUE", "ASC", "ASCENDING", "DESC", "DESCENDING", "NOCASE"};
constexpr int kMaxBcdScale = 4;

}  // namespace

void TStatementParser::ParseCreate(TDataQuery& query) {
  Next();  // CREATE
  if (IsKeyword("TABLE")) {
    Next();
    ParseCreateTable(query);
  } else if (IsAnyKeyword(kIndexStarts)) {
    ParseCreateIndex(query);
  } else {
    FailAtToken(msg::kCreateWhatExpected);
  }
}

bool TStatementParser::ParseIfExists(bool with_not) {
  if (!IsKeyword("IF")) return false;
  Next();
  if (with_not) {
    if (!IsKeyword("NOT")) Fail(msg::kKeywordAfterKeyword, {"NOT", "IF", TokenText()});
    Next();
  }
  if (!IsKeyword("EXISTS")) {
    Fail(msg::kKeywordAfterKeyword, {"EXISTS", with_not ? "NOT" : "IF", TokenText()});
  }
  Next();
  return true;
}

std::string TStatementParser::ParseName(std::string_view missing) {
  if (!IsNameOrBracket()) FailAtToken(missing);
  std::string name = TokenText();
  Next();
  return name;
}

std::string TStatementParser::ParseStringAfter(std::string_view keyword, std::string_view context) {
  if (!tokens_.IsToken(ttString)) Fail(msg::kStringAfterKeyword, {keyword, TokenText()});
  std::string text = TokenText();
  if (!context.empty()) {
    // The token after the string is read in the string's context, so that a
    // quote left open there names it.
    const std::string_view enclosing = context_;
    SetContext(context);
    Next();
    SetContext(enclosing);
  } else {
    Next();
  }
  return text;
}

void TStatementParser::ParseCreateTable(TDataQuery& query) {
  query.StatementKind = TStatementKind::kCreateTable;
  TCreateTableStatement create;
  create.IfNotExists = ParseIfExists(true);
  create.Table = ParseTableReference(msg::kTableNameExpected);
  if (!IsChar('(')) Fail(msg::kLeftParenAfter, {"table name", TokenText()});
  Next();
  for (;;) {
    if (IsKeyword("CONSTRAINT") || IsKeyword("PRIMARY")) {
      if (create.PrimaryKey) Fail(msg::kPrimaryKeyDefined, {create.Table.Name});
      create.PrimaryKey = ParsePrimaryKey({});
    } else {
      create.Columns.push_back(ParseColumnDefinition());
    }
    if (!IsChar(',')) break;
    Next();
  }
  if (!IsChar(')')) Fail(msg::kRightParenAfter, {"column definitions", TokenText()});
  Next();
  ParseTableOptions(create.Options);
  query.Ddl = std::make_unique<TDdlStatement>(TDdlStatement{std::move(create)});
}

TColumnDefinition TStatementParser::ParseColumnDefinition() {
  TColumnDefinition column;
  TFieldDescriptor& field = column.Field;
  field.Name = ParseName(msg::kColumnNameExpected);
  const TSqlType type = ParseSqlType(tokens_);
  field.TypeCode = type.TypeCode;
  field.SubType = type.SubType;
  if (type.TypeCode == fldZSTRING || type.TypeCode == fldBYTES || type.TypeCode == fldVARBYTES) {
    if (type.Size == 0 || type.Size > kMaxDeclaredSize) {
      Fail(msg::kInvalidLength, {std::to_string(type.Size), field.Name});
    }
    field.DeclaredSize = static_cast<uint8_t>(type.Size);
  }
  if (type.TypeCode == fldBCD) {
    if (type.Scale > kMaxBcdScale)
      Fail(msg::kInvalidScale, {std::to_string(type.Scale), field.Name});
    field.Decimals = type.Scale;
  }
  if (type.BlobType != 0 && !BlobSubTypeOf(type.BlobType)) {
    Fail(msg::kInvalidBlobType, {std::to_string(type.BlobType), field.Name});
  }
  column.BlobBlockSize = type.BlobBlockSize;
  ParseColumnOptions(column);
  return column;
}

void TStatementParser::ParseColumnOptions(TColumnDefinition& column) {
  TFieldDescriptor& field = column.Field;
  for (;;) {
    if (IsKeyword("NOT")) {
      Next();
      if (!IsKeyword("NULL")) Fail(msg::kKeywordAfterKeyword, {"NULL", "NOT", TokenText()});
      Next();
      field.Required = true;
    } else if (IsKeyword("NULL")) {
      Next();
      field.Required = false;
    } else if (IsKeyword("DEFAULT")) {
      field.DefaultValue = ParseValueText("DEFAULT");
    } else if (IsKeyword("MINIMUM")) {
      field.MinValue = ParseValueText("MINIMUM");
    } else if (IsKeyword("MAXIMUM")) {
      field.MaxValue = ParseValueText("MAXIMUM");
    } else if (IsKeyword("CHARCASE")) {
      Next();
      if (IsKeyword("UPPER")) {
        field.CharCase = 2;
      } else if (IsKeyword("LOWER")) {
        field.CharCase = 1;
      } else if (IsKeyword("NOCHANGE")) {
        field.CharCase = 0;
      } else {
        FailAtToken(msg::kCharCaseExpected);
      }
      Next();
    } else if (IsKeyword("DESCRIPTION")) {
      Next();
      field.Description = ParseStringAfter("DESCRIPTION");
    } else {
      return;
    }
  }
}

std::string TStatementParser::ParseValueText(std::string_view keyword) {
  Next();  // DEFAULT, MINIMUM, MAXIMUM
  std::string text;
  if (IsChar('-') || IsChar('+')) {
    text = tokens_.RawTokenText();
    Next();
    if (!tokens_.IsToken(ttInteger) && !tokens_.IsToken(ttFloat)) {
      Fail(msg::kConstantExpectedAfter, {keyword, TokenText()});
    }
  }
  if (tokens_.IsToken(ttString) || tokens_.IsToken(ttSymbol)) {
    text += TokenText();  // a text, TRUE, FALSE, CURRENT_DATE, ...
  } else if (tokens_.IsToken(ttInteger) || tokens_.IsToken(ttFloat)) {
    text += tokens_.RawTokenText();
  } else {
    Fail(msg::kConstantExpectedAfter, {keyword, TokenText()});
  }
  Next();
  return text;
}

TPrimaryKeyDefinition TStatementParser::ParsePrimaryKey(std::string constraint) {
  TPrimaryKeyDefinition key;
  key.ConstraintName = std::move(constraint);
  if (IsKeyword("CONSTRAINT")) {
    Next();
    key.ConstraintName = ParseName(msg::kIndexNameExpected);
  }
  if (!IsKeyword("PRIMARY")) Fail(msg::kKeywordExpected, {"PRIMARY", TokenText()});
  Next();
  if (!IsKeyword("KEY")) Fail(msg::kKeywordAfterKeyword, {"KEY", "PRIMARY", TokenText()});
  Next();
  key.Columns = ParseKeyColumns("PRIMARY KEY", true);
  return key;
}

std::vector<TKeyColumn> TStatementParser::ParseKeyColumns(std::string_view after, bool with_order) {
  if (!IsChar('(')) Fail(msg::kLeftParenAfter, {after, TokenText()});
  const std::string_view enclosing = context_;
  SetContext(msg::kIndexColumnContext);
  Next();
  std::vector<TKeyColumn> columns;
  for (;;) {
    TKeyColumn& column = columns.emplace_back();
    column.Name = ParseName(msg::kColumnNameExpected);
    if (with_order && (IsKeyword("ASC") || IsKeyword("ASCENDING"))) {
      Next();
    } else if (with_order && (IsKeyword("DESC") || IsKeyword("DESCENDING"))) {
      column.Descending = true;
      Next();
    }
    if (!IsChar(',')) break;
    Next();
  }
  SetContext(enclosing);
  if (!IsChar(')')) Fail(msg::kRightParenAfter, {"index columns", TokenText()});
  Next();
  return columns;
}

void TStatementParser::ParseTableOptions(TTableOptions& options) {
  const auto expect = [&](std::string_view word, std::string_view after) {
    if (!IsKeyword(word)) Fail(msg::kKeywordAfterKeyword, {word, after, TokenText()});
  };
  for (;;) {
    if (IsKeyword("TEXT")) {
      Next();
      expect("INDEX", "TEXT");
      Next();
      std::vector<std::string> names;
      for (TKeyColumn& column : ParseKeyColumns("TEXT INDEX", false)) {
        names.push_back(std::move(column.Name));
      }
      options.TextIndexColumns = std::move(names);
    } else if (IsKeyword("STOP")) {
      Next();
      expect("WORDS", "STOP");
      SetContext(msg::kStopWordsContext);
      Next();
      SetContext(kDefaultParseContext);
      options.StopWords = ParseStringAfter("WORDS");
    } else if (IsKeyword("SPACE") || IsKeyword("INCLUDE")) {
      const bool space = IsKeyword("SPACE");
      Next();
      expect("CHARS", space ? "SPACE" : "INCLUDE");
      SetContext(msg::kCharacterSetContext);
      Next();
      SetContext(kDefaultParseContext);
      (space ? options.SpaceChars : options.IncludeChars) = ParseStringAfter("CHARS");
    } else if (IsKeyword("DESCRIPTION")) {
      Next();
      options.Description = ParseStringAfter("DESCRIPTION");
    } else if (IsKeyword("BLOB")) {
      Next();
      expect("BLOCK", "BLOB");
      Next();
      expect("SIZE", "BLOCK");
      Next();
      options.BlobBlockSize = static_cast<uint32_t>(ParseIntegerAfter("SIZE"));
    } else if (IsKeyword("LANGUAGE")) {
      uint16_t language = 0;
      uint16_t sort = 0;
      ParseLanguage(language, sort);
      options.LanguageId = language;
      options.SortId = sort;
    } else if (IsKeyword("ENCRYPTED")) {
      Next();
      expect("WITH", "ENCRYPTED");
      Next();
      options.Password = ParseStringAfter("WITH");
    } else if (IsKeyword("USER")) {
      Next();
      const bool major = IsKeyword("MAJOR");
      if (!major && !IsKeyword("MINOR")) {
        Fail(msg::kKeywordAfterKeyword, {"MAJOR or MINOR", "USER", TokenText()});
      }
      Next();
      expect("VERSION", major ? "MAJOR" : "MINOR");
      Next();
      const int version = ParseIntegerAfter("VERSION");
      if (version > UINT16_MAX) Fail(msg::kValueOutOfRange, {std::to_string(version), "VERSION"});
      (major ? options.UserMajorVersion : options.UserMinorVersion) =
          static_cast<uint16_t>(version);
    } else if (IsKeyword("LAST")) {
      Next();
      expect("AUTOINC", "LAST");
      SetContext(msg::kAutoIncContext);
      Next();
      SetContext(kDefaultParseContext);
      options.LastAutoInc = ParseIntegerAfter("AUTOINC");
    } else if (IsKeyword("NOBACKUP")) {
      Next();
      options.NoBackup = true;
    } else {
      return;
    }
  }
}

void TStatementParser::ParseCreateIndex(TDataQuery& query) {
  query.StatementKind = TStatementKind::kCreateIndex;
  TCreateIndexStatement create;
  if (IsKeyword("UNIQUE")) {
    create.Unique = true;
    Next();
  }
  if (IsKeyword("ASC") || IsKeyword("ASCENDING")) {
    Next();
  } else if (IsKeyword("DESC") || IsKeyword("DESCENDING")) {
    create.Descending = true;
    Next();
  }
  if (IsKeyword("NOCASE")) {
    create.NoCase = true;
    Next();
  }
  if (!IsKeyword("INDEX")) Fail(msg::kKeywordExpected, {"INDEX", TokenText()});
  Next();
  create.IfNotExists = ParseIfExists(true);
  create.IndexName = ParseName(msg::kIndexNameExpected);
  if (!IsKeyword("ON")) Fail(msg::kKeywordExpected, {"ON", TokenText()});
  Next();
  create.Table = ParseTableReference(msg::kTableNameExpected);
  create.Columns = ParseKeyColumns("table name", true);
  if (IsKeyword("COMPRESS")) {
    Next();
    if (IsKeyword("FULL")) {
      create.Compression = TIndexCompression::kFull;
    } else if (IsKeyword("DUPBYTE")) {
      create.Compression = TIndexCompression::kDupByte;
    } else if (IsKeyword("TRAILBYTE")) {
      create.Compression = TIndexCompression::kTrailByte;
    } else if (IsKeyword("NONE")) {
      create.Compression = TIndexCompression::kNone;
    } else {
      FailAtToken(msg::kCompressionExpected);
    }
    Next();
  }
  query.Ddl = std::make_unique<TDdlStatement>(TDdlStatement{std::move(create)});
}

void TStatementParser::ParseAlterTable(TDataQuery& query) {
  Next();  // ALTER
  if (!IsKeyword("TABLE")) Fail(msg::kKeywordExpected, {"TABLE", TokenText()});
  Next();
  query.StatementKind = TStatementKind::kAlterTable;
  TAlterTableStatement alter;
  alter.Table = ParseTableReference(msg::kTableNameExpected);
  const auto parse_position = [&](TAlterStep& step) {
    if (!IsKeyword("AT")) return;
    Next();
    step.Position = ParseIntegerAfter("AT");
  };
  for (;;) {
    TAlterStep step;
    const bool add = IsKeyword("ADD");
    const bool drop = IsKeyword("DROP");
    const bool redefine = IsKeyword("REDEFINE");
    if (!add && !drop && !redefine) {
      if (alter.Steps.empty()) FailAtToken(msg::kAlterActionExpected);
      break;
    }
    Next();
    if (IsKeyword("CONSTRAINT") || IsKeyword("PRIMARY")) {
      if (drop) {
        Next();  // PRIMARY
        if (!IsKeyword("KEY")) Fail(msg::kKeywordAfterKeyword, {"KEY", "PRIMARY", TokenText()});
        Next();
        step.Action = TAlterAction::kDropPrimaryKey;
      } else {
        step.Action = add ? TAlterAction::kAddPrimaryKey : TAlterAction::kRedefinePrimaryKey;
        step.PrimaryKey = ParsePrimaryKey({});
      }
    } else {
      if (IsKeyword("COLUMN")) Next();
      step.IfExists = ParseIfExists(add);
      if (add) {
        step.Action = TAlterAction::kAddColumn;
        step.Column = ParseColumnDefinition();
        parse_position(step);
      } else {
        step.ColumnName = ParseName(msg::kColumnNameExpected);
        step.Action = drop ? TAlterAction::kDropColumn : TAlterAction::kRedefineColumn;
        if (redefine) {
          step.Column = ParseColumnDefinition();
          parse_position(step);
        }
      }
    }
    alter.Steps.push_back(std::move(step));
    if (!IsChar(',')) break;
    Next();
  }
  ParseTableOptions(alter.Options);
  query.Ddl = std::make_unique<TDdlStatement>(TDdlStatement{std::move(alter)});
}

void TStatementParser::ParseDrop(TDataQuery& query) {
  Next();  // DROP
  if (IsKeyword("TABLE")) {
    Next();
    query.StatementKind = TStatementKind::kDropTable;
    TDropTableStatement drop;
    drop.IfExists = ParseIfExists(false);
    drop.Table = ParseTableReference(msg::kTableNameExpected);
    query.Ddl = std::make_unique<TDdlStatement>(TDdlStatement{std::move(drop)});
  } else if (IsKeyword("INDEX")) {
    Next();
    query.StatementKind = TStatementKind::kDropIndex;
    TDropIndexStatement drop;
    drop.IfExists = ParseIfExists(false);
    drop.Table = ParseTableReference(msg::kTableNameExpected);
    if (IsChar('.')) Next();
    drop.IndexName = ParseName(msg::kIndexNameExpected);
    query.Ddl = std::make_unique<TDdlStatement>(TDdlStatement{std::move(drop)});
  } else {
    FailAtToken(msg::kTableOrIndexExpected);
  }
}

void TStatementParser::ParseTransaction(TDataQuery& query) {
  if (IsKeyword("START")) {
    Next();
    if (!IsKeyword("TRANSACTION")) Fail(msg::kKeywordExpected, {"TRANSACTION", TokenText()});
    Next();
    query.StatementKind = TStatementKind::kStartTransaction;
    return;
  }
  const bool commit = IsKeyword("COMMIT");
  query.StatementKind = commit ? TStatementKind::kCommit : TStatementKind::kRollback;
  Next();
  if (IsKeyword("WORK")) Next();
  if (commit && IsKeyword("FLUSH")) {
    query.Commit.Present = true;
    query.Commit.Flush = true;
    Next();
  }
}

}  // namespace strata
