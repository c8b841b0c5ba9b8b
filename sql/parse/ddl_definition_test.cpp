#include "sql/parse/ddl_definition.h"

#include <gtest/gtest.h>

#include <string>

#include "sql/expr/expression_parser.h"
#include "sql/parse/statement_parser.h"
#include "storage/cursor/data_cursor.h"
#include "storage/engine_error.h"
#include "storage/session/data_session.h"
#include "storage/test_temp_dir.h"

namespace strata {
namespace {

// The DDL statement a text parses to.
template <typename T>
T ParseDdl(const std::string& text) {
  TExpressionParser tokens(text);
  tokens.NextToken();
  TParsedStatement statement;
  ParseStatement(tokens, statement);
  return std::get<T>(statement.Master().Ddl->Statement);
}

std::string SqlErrorOf(const std::function<void()>& run) {
  try {
    run();
  } catch (const EStrataEngineError& error) {
    return error.Code == STRATA_SQLPARSE ? error.ContextDetail
                                         : "engine error " + std::to_string(error.Code);
  }
  return "";
}

class DdlDefinition : public ::testing::Test {
 protected:
  std::shared_ptr<TDataSession> session_ = TDataSession::Create();
  testing::TTempDir dir_;
  std::shared_ptr<TDataDirectory> directory_ = session_->OpenDirectory("", dir_.Dir());
};

TEST_F(DdlDefinition, CreateTableBuildsATableTheEngineCreates) {
  const auto create = ParseDdl<TCreateTableStatement>(
      "create table People (ID autoinc, Name varchar(30) not null charcase upper "
      "description 'Full name', Age smallint default 18 minimum 0 maximum 150, "
      "Paid decimal(10, 2), Born date default current_date, Photo blob(1024, 5), "
      "primary key (ID)) description 'Everybody' language 'German (Standard)' "
      "user major version 2 user minor version 3");
  const TTableDefinition definition = TableDefinitionOf(create);
  EXPECT_EQ(definition.BlobBlockSize, 1024u);  // from the blob column
  EXPECT_EQ(definition.LanguageId, 1031);
  EXPECT_EQ(definition.UserValueA, 2);
  EXPECT_EQ(definition.UserValueB, 3);

  TDataCursor cursor(directory_);
  cursor.CreateTable(definition);
  cursor.Open("people");
  const std::vector<TFieldDescriptor>& fields = cursor.Fields();
  ASSERT_EQ(fields.size(), 6u);
  EXPECT_EQ(fields[0].Name, "ID");
  EXPECT_TRUE(fields[0].IsAutoInc());
  EXPECT_EQ(fields[1].TypeCode, fldZSTRING);
  EXPECT_EQ(fields[1].DeclaredSize, 30);
  EXPECT_TRUE(fields[1].Required);
  EXPECT_EQ(fields[1].CharCase, 2);
  EXPECT_EQ(fields[1].Description, "Full name");
  EXPECT_EQ(fields[2].TypeCode, fldINT16);
  EXPECT_EQ(fields[2].DefaultValue, "18");
  EXPECT_EQ(fields[2].MinValue, "0");
  EXPECT_EQ(fields[2].MaxValue, "150");
  EXPECT_EQ(fields[3].TypeCode, fldBCD);
  EXPECT_EQ(fields[3].Decimals, 2);
  EXPECT_EQ(fields[4].DefaultValue, "current_date");
  EXPECT_EQ(fields[5].TypeCode, fldBLOB);
  EXPECT_EQ(fields[5].SubType, fldstGRAPHIC);
  const TIndexDescriptor& primary = cursor.IndexDescriptor(0);
  ASSERT_EQ(primary.FieldCount, 1);
  EXPECT_EQ(primary.FieldNumbers[0], 1);
  EXPECT_TRUE(primary.Unique);
}

TEST_F(DdlDefinition, TheEngineJudgesWhatItIsGiven) {
  // A default that is no value of the type: the storage engine's 10006.
  const auto create =
      ParseDdl<TCreateTableStatement>("create table Bad (Born date default 'yesterday')");
  TDataCursor cursor(directory_);
  EXPECT_EQ(SqlErrorOf([&] { cursor.CreateTable(TableDefinitionOf(create)); }),
            "engine error 10006");
}

TEST_F(DdlDefinition, CreateIndexFindsItsKeyFieldsByName) {
  TDataCursor cursor(directory_);
  cursor.CreateTable(TableDefinitionOf(
      ParseDdl<TCreateTableStatement>("create table T (A integer, B varchar(10), C date)")));
  cursor.Open("T", {.Exclusive = true});
  const auto create =
      ParseDdl<TCreateIndexStatement>("create unique nocase index ByBA on T (b desc, A)");
  const TIndexDef index = IndexDefinitionOf(create, cursor.Fields());
  EXPECT_EQ(index.FieldNumbers, (std::vector<uint16_t>{2, 1}));
  EXPECT_EQ(index.FieldDescending, (std::vector<bool>{true, false}));
  const int slot = cursor.AddIndex(index);
  const TIndexDescriptor& stored = cursor.IndexDescriptor(slot);
  EXPECT_EQ(stored.Name, "ByBA");
  EXPECT_TRUE(stored.Unique);
  EXPECT_TRUE(stored.CaseInsensitive);
  EXPECT_FALSE(stored.Descending);
  EXPECT_TRUE(stored.FieldDescending[0]);

  const auto unknown = ParseDdl<TCreateIndexStatement>("create index X on T (D)");
  EXPECT_EQ(SqlErrorOf([&] { IndexDefinitionOf(unknown, cursor.Fields()); }),
            "Column 'D' is not defined in the table 'T'");
  const auto descending = ParseDdl<TCreateIndexStatement>("create desc index Y on T (C)");
  EXPECT_TRUE(IndexDefinitionOf(descending, cursor.Fields()).Descending);
}

TEST_F(DdlDefinition, PrimaryKeyColumnsMustBeDefined) {
  const auto create =
      ParseDdl<TCreateTableStatement>("create table T (A integer, primary key (A, Z))");
  EXPECT_EQ(SqlErrorOf([&] { TableDefinitionOf(create); }),
            "Column 'Z' is not defined in the table 'T'");
}

// A table A, B, C with the primary key on A and an index on C.
TTableDefinition Abc() {
  TTableDefinition definition = TableDefinitionOf(ParseDdl<TCreateTableStatement>(
      "create table T (A integer, B varchar(10), C date, primary key (A))"));
  TIndexDef by_c;
  by_c.Name = "ByC";
  by_c.FieldNumbers = {3};
  definition.Indexes.push_back(by_c);
  return definition;
}

std::vector<std::string> Names(const TTableDefinition& definition) {
  std::vector<std::string> names;
  for (const TFieldDescriptor& field : definition.Fields) {
    names.push_back(std::to_string(field.FieldNumber) + ":" + field.Name);
  }
  return names;
}

TEST(AlterTable, AddDropAndRedefineRenumberTheFieldsAndKeepTheirSources) {
  const auto alter = ParseDdl<TAlterTableStatement>(
      "alter table T add X integer at 1, drop B, redefine C D timestamp, add Y bool");
  const TAlteredTable altered = AlteredDefinitionOf(Abc(), alter);
  EXPECT_EQ(Names(altered.Definition), (std::vector<std::string>{"1:X", "2:A", "3:D", "4:Y"}));
  EXPECT_EQ(altered.SourceFields, (std::vector<uint16_t>{0, 1, 3, 0}));
  EXPECT_EQ(altered.Definition.Fields[2].TypeCode, fldTIMESTAMP);
  // The primary key follows A to field 2; the index on C follows it to D.
  ASSERT_EQ(altered.Definition.Indexes.size(), 2u);
  EXPECT_TRUE(altered.Definition.Indexes[0].Primary);
  EXPECT_EQ(altered.Definition.Indexes[0].FieldNumbers, (std::vector<uint16_t>{2}));
  EXPECT_EQ(altered.Definition.Indexes[1].FieldNumbers, (std::vector<uint16_t>{3}));
}

TEST(AlterTable, AnIndexLosingAKeyFieldIsDropped) {
  const auto alter = ParseDdl<TAlterTableStatement>("alter table T drop C");
  const TAlteredTable altered = AlteredDefinitionOf(Abc(), alter);
  ASSERT_EQ(altered.Definition.Indexes.size(), 1u);
  EXPECT_TRUE(altered.Definition.Indexes[0].Primary);
}

TEST(AlterTable, PrimaryKeysAreAddedDroppedAndRedefined) {
  const auto redefine =
      ParseDdl<TAlterTableStatement>("alter table T redefine primary key (B, A desc)");
  const TAlteredTable altered = AlteredDefinitionOf(Abc(), redefine);
  ASSERT_EQ(altered.Definition.Indexes.size(), 2u);
  EXPECT_EQ(altered.Definition.Indexes[0].FieldNumbers, (std::vector<uint16_t>{2, 1}));
  EXPECT_EQ(altered.Definition.Indexes[0].FieldDescending, (std::vector<bool>{false, true}));

  const auto drop_then_add =
      ParseDdl<TAlterTableStatement>("alter table T drop primary key, add primary key (C)");
  EXPECT_EQ(AlteredDefinitionOf(Abc(), drop_then_add).Definition.Indexes[0].FieldNumbers,
            (std::vector<uint16_t>{3}));

  const auto twice = ParseDdl<TAlterTableStatement>("alter table T add primary key (B)");
  EXPECT_EQ(SqlErrorOf([&] { AlteredDefinitionOf(Abc(), twice); }),
            "A primary key is already defined for the table 'T'");
  const auto none =
      ParseDdl<TAlterTableStatement>("alter table T drop primary key, drop primary key");
  EXPECT_EQ(SqlErrorOf([&] { AlteredDefinitionOf(Abc(), none); }),
            "No primary key is defined for the table 'T'");
}

TEST(AlterTable, ColumnsMustExistOrNotExistUnlessIfSaysOtherwise) {
  const auto check = [](const std::string& text) {
    return SqlErrorOf([&] { AlteredDefinitionOf(Abc(), ParseDdl<TAlterTableStatement>(text)); });
  };
  EXPECT_EQ(check("alter table T drop Z"), "Column 'Z' is not defined in the table 'T'");
  EXPECT_EQ(check("alter table T drop if exists Z"), "");
  EXPECT_EQ(check("alter table T add b integer"), "Column 'b' is already defined in the table 'T'");
  EXPECT_EQ(check("alter table T add if not exists b integer"), "");
  EXPECT_EQ(check("alter table T redefine A C integer"),
            "Column 'C' is already defined in the table 'T'");
  EXPECT_EQ(check("alter table T add X integer at 9"),
            "Column position 9 is out of range for the table 'T'");
}

TEST(AlterTable, TableOptionsReplaceOnlyWhatTheyName) {
  TTableDefinition current = Abc();
  current.Description = "old";
  current.LanguageId = 1031;
  const auto alter = ParseDdl<TAlterTableStatement>("alter table T drop B description 'new'");
  const TTableDefinition altered = AlteredDefinitionOf(current, alter).Definition;
  EXPECT_EQ(altered.Description, "new");
  EXPECT_EQ(altered.LanguageId, 1031);
  // After a column definition, DESCRIPTION describes the column.
  const auto column =
      ParseDdl<TAlterTableStatement>("alter table T add X integer description 'new'");
  const TTableDefinition with_column = AlteredDefinitionOf(current, column).Definition;
  EXPECT_EQ(with_column.Description, "old");
  EXPECT_EQ(with_column.Fields.back().Description, "new");
}

}  // namespace
}  // namespace strata
