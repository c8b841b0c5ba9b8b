// Test helper: the banner service's six tables, with their indexes, as real
// tables in a fresh folder, a session whose private directory is a second
// folder, and a statement runner over the SQL engine's executor that gives
// the result rows as texts ("1|abc|NULL").
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sql/exec/query_statement.h"
#include "sql/exec/strata_executor.h"
#include "sql/exec/test_banner_schema.h"
#include "storage/cursor/data_cursor.h"
#include "storage/engine_error.h"
#include "storage/record/field_validation.h"
#include "storage/session/data_directory.h"
#include "storage/session/data_session.h"
#include "storage/test_temp_dir.h"

namespace strata::testing {

// The indexes of app/schema.sql, by table: (name, fields, case-insensitive);
// an empty name is the primary index.
struct TSchemaIndex {
  const char* Table;
  const char* Name;
  std::vector<uint16_t> Fields;
  bool NoCase = false;
};

inline std::vector<TSchemaIndex> BannerIndexes() {
  return {{"Banner", "", {1}},
          {"Banner", "BannerUser", {4}},
          {"Banner", "BannerBlocked", {5}},
          {"Banner", "BannerLink", {3}},
          {"User", "", {1}},
          {"User", "UserCredit", {2}},
          {"Visitor", "", {1}},
          {"Visitor", "VisitorRequest", {2}},
          {"Visitor", "VisitorLastReq", {3}},
          {"PageImpress", "PageImpressVisitor", {1}},
          {"PageImpress", "PageImpressLabel", {2}},
          {"Links", "", {1}},
          {"Links", "LinksLink", {2}, true},
          {"Pages", "", {1}},
          {"Pages", "PagesPage", {2}, true},
          {"Pages", "PagesNr", {3}}};
}

inline TTableDefinition DefinitionOf(const TSchemaTable& table, bool with_indexes) {
  TTableDefinition definition;
  definition.Name = table.Name;
  definition.Fields = table.Fields;
  for (TFieldDescriptor& field : definition.Fields) {
    if (field.TypeCode == fldBLOB && field.SubType == 0) field.SubType = fldstGRAPHIC;
  }
  if (with_indexes) {
    for (const TSchemaIndex& index : BannerIndexes()) {
      if (table.Name != index.Table) continue;
      TIndexDef def;
      def.Name = index.Name;
      def.Primary = def.Name.empty();
      def.Unique = def.Primary;
      def.FieldNumbers = index.Fields;
      def.CaseInsensitive = index.NoCase;
      definition.Indexes.push_back(def);
    }
  }
  ValidateFieldDescriptors(definition.Fields, table.Name, definition.Indexes.size(), 0);
  return definition;
}

class TExecFixture {
 public:
  explicit TExecFixture(bool with_indexes = true) {
    session_ = TDataSession::Create();
    session_->SetPrivateDirectory(private_.Dir());
    database_ = session_->OpenDirectory("", data_.Dir());
    for (const TSchemaTable& table : BannerSchema()) {
      database_->CreateTable(DefinitionOf(table, with_indexes), {.Exclusive = true}, false);
    }
    executor_ = MakeStatementExecutor(database_, {.DatabaseName = "BannerDB"});
    statement_ = std::make_unique<TQueryStatement>(*executor_);
  }

  TQueryStatement& Statement() { return *statement_; }
  TDataDirectory& Database() { return *database_; }
  std::shared_ptr<TDataDirectory> SharedDatabase() { return database_; }
  TDataSession& Session() { return *session_; }

  // Runs a text; the rows of its first statement's result, if any.
  std::vector<std::string> Rows(const std::string& sql, int32_t max_rows = -1) {
    statement_->SetResultOptions(false, max_rows);
    statement_->PrepareStatement(sql);
    std::unique_ptr<TDataCursor> result = statement_->ExecuteStatements();
    return result ? RowsOf(*result) : std::vector<std::string>{};
  }
  int64_t Run(const std::string& sql) {
    Rows(sql);
    return statement_->RowsAffected();
  }
  // The engine error's message (empty when none was raised).
  std::string ErrorOf(const std::string& sql) {
    try {
      Rows(sql);
    } catch (const EStrataEngineError& error) {
      return error.what();
    }
    return {};
  }

  static std::vector<std::string> RowsOf(TDataCursor& cursor, size_t columns = 0) {
    std::vector<std::string> rows;
    const size_t count = columns == 0 ? cursor.Fields().size() : columns;
    cursor.First();
    while (cursor.MoveNext()) {
      std::string row;
      for (uint16_t field = 1; field <= count; ++field) {
        if (field > 1) row += "|";
        std::optional<std::string> text = cursor.GetFieldText(field);
        row += text ? *text : "NULL";
      }
      rows.push_back(row);
    }
    return rows;
  }

  // Files left in the private directory.
  size_t PrivateFiles() const {
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(private_.Dir())) {
      (void)entry;
      ++count;
    }
    return count;
  }

 private:
  TTempDir data_;
  TTempDir private_;
  std::shared_ptr<TDataSession> session_;
  std::shared_ptr<TDataDirectory> database_;
  std::unique_ptr<TStatementExecutor> executor_;
  std::unique_ptr<TQueryStatement> statement_;
};

}  // namespace strata::testing
