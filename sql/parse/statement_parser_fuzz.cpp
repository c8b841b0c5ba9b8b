// Fuzzes the statement grammar: the input is an SQL text, parsed statement
// by statement as TQueryStatement does, each outlined and, for DDL, mapped
// onto the storage engine's definitions. Every statement must parse or
// raise an engine error; anything else that escapes, a crash, a sanitizer
// report or a hang is a fault.
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

#include "sql/expr/expression_parser.h"
#include "sql/parse/ddl_definition.h"
#include "sql/parse/query_outline.h"
#include "sql/parse/statement_parser.h"
#include "storage/engine_error.h"

namespace {

using namespace strata;

// A small table for ALTER TABLE to work on: A, B, C, the primary key on A.
const TTableDefinition& SampleTable() {
  static const TTableDefinition table = [] {
    TTableDefinition definition;
    definition.Name = "T";
    const char* names[] = {"A", "B", "C"};
    for (uint16_t i = 0; i < 3; ++i) {
      TFieldDescriptor field;
      field.FieldNumber = static_cast<uint16_t>(i + 1);
      field.Name = names[i];
      field.TypeCode = fldINT32;
      definition.Fields.push_back(field);
    }
    TIndexDef primary;
    primary.Primary = true;
    primary.Unique = true;
    primary.FieldNumbers = {1};
    definition.Indexes.push_back(primary);
    return definition;
  }();
  return table;
}

void MapDdl(const TDataQuery& query) {
  if (!query.Ddl) return;
  const TTableDefinition& sample = SampleTable();
  if (const auto* create = std::get_if<TCreateTableStatement>(&query.Ddl->Statement)) {
    TableDefinitionOf(*create);
  } else if (const auto* alter = std::get_if<TAlterTableStatement>(&query.Ddl->Statement)) {
    AlteredDefinitionOf(sample, *alter);
  } else if (const auto* index = std::get_if<TCreateIndexStatement>(&query.Ddl->Statement)) {
    IndexDefinitionOf(*index, sample.Fields);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TExpressionParser tokens;
  tokens.SetText(std::string(reinterpret_cast<const char*>(data), size));
  TParsedStatement statement;
  try {
    tokens.NextToken();
    do {
      statement.Clear();
      ParseStatement(tokens, statement);
      QueryOutline(statement, tokens.Text());
      MapDdl(statement.Master());
    } while (!tokens.AtEnd());
  } catch (const EStrataEngineError&) {
    // a statement the grammar refuses
  }
  return 0;
}
