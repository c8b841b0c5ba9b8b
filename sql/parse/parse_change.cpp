// INSERT, UPDATE and DELETE, their target columns and values, and the
// COMMIT option they share.
#include <array>

#include "sql/expr/exp_messages.h"
#include "sql/parse/statement_messages.h"
#include "sql/parse/statement_parser.h"

namespace strata {
namespace {

// The words after which a SET value has ended.
constexpr std::array<std::string_view, 5> kSetValueEnds = {"FROM", "WHERE", "NOAUTOINC", "COMMIT",
                                                           "NOJOINOPTIMIZE"};
constexpr std::array<std::string_view, 2> kInsertAliasEnds = {"VALUES", "SELECT"};
constexpr std::array<std::string_view, 1> kUpdateAliasEnds = {"SET"};

}  // namespace

void TStatementParser::ParseInsert(TDataQuery& query) {
  query.StatementKind = TStatementKind::kInsert;
  Next();  // INSERT
  if (!IsKeyword("INTO")) Fail(msg::kKeywordExpected, {"INTO", TokenText()});
  Next();
  TSourceTable target = MakeSourceTable(ParseTableReference(msg::kTableNameAfterIntoClause));
  ParseCorrelation(target, kInsertAliasEnds);
  AddSource(query, std::move(target), false);

  bool parenthesised_select = false;
  if (IsChar('(')) {
    Next();
    if (IsKeyword("SELECT")) {
      parenthesised_select = true;
    } else {
      ParseInsertColumns(query);
      if (IsChar('(')) {
        Next();
        if (!IsKeyword("SELECT")) FailAtToken(msg::kValuesOrSelectExpected);
        parenthesised_select = true;
      }
    }
  }
  if (parenthesised_select || IsKeyword("SELECT")) {
    TDataQuery& select = statement_.NewQuery();
    ParseSelect(select, false, TSourcePlace::kInsertSelect);
    query.InsertSource = &select;
    if (parenthesised_select) {
      if (!IsChar(')')) FailAtToken(msg::kRightParenAfterSelect);
      Next();
    }
  } else if (IsKeyword("VALUES")) {
    ParseInsertValues(query);
  } else {
    FailAtToken(msg::kValuesOrSelectExpected);
  }
  if (IsKeyword("NOAUTOINC")) {
    query.NoAutoInc = true;
    Next();
  }
  if (IsKeyword("COMMIT")) ParseCommitOption(query.Commit);
}

void TStatementParser::ParseInsertColumns(TDataQuery& query) {
  for (;;) {
    query.UpdateFields.push_back(ParseTargetColumn());
    if (!IsChar(',')) break;
    Next();
  }
  if (!IsChar(')')) FailAtToken(msg::kRightParenAfterColumns);
  Next();
}

void TStatementParser::ParseInsertValues(TDataQuery& query) {
  Next();  // VALUES
  if (!IsChar('(')) FailAtToken(msg::kLeftParenAfterValues);
  Next();
  for (;;) {
    query.UpdateValues.push_back(
        {ParseClause(kValuePermissions, msg::kValueContext, msg::kValueEmpty)});
    if (!IsChar(',')) break;
    Next();
  }
  if (!IsChar(')')) FailAtToken(msg::kRightParenAfterValues);
  Next();
  if (!query.UpdateFields.empty() && query.UpdateFields.size() != query.UpdateValues.size()) {
    Fail(msg::kValueCountMismatch);
  }
}

TUpdateField TStatementParser::ParseTargetColumn() {
  if (tokens_.AtEnd() || IsChar(',') || IsChar(')') || IsChar('=') || IsChar(';')) {
    Fail(msg::kTableColumnEmpty);
  }
  TUpdateField field;
  field.Text.Begin = static_cast<uint32_t>(tokens_.TokenStart());
  const std::string_view enclosing = context_;
  SetContext(msg::kTableColumnContext);
  const TExpToken* node = ParsePrimary(tokens_, statement_.Nodes(), kColumnPermissions, this);
  SetContext(enclosing);
  field.Text.End = static_cast<uint32_t>(tokens_.PreviousTokenEnd());
  if (node->Class == ncColumn) {
    field.CorrelationName = node->CorrelationName;
    field.ColumnName = node->ColumnName;
  } else if (node->Class == ncConstant && node->Quoted) {
    // A quoted name: how "count" names the column that a bare count cannot.
    if (node->Text.empty()) Fail(msg::kTableColumnEmpty);
    field.ColumnName = node->Text;
  } else {
    Fail(msg::kInvalidColumn, {node->Text, "", msg::kTableColumnsContext});
  }
  return field;
}

void TStatementParser::ParseUpdate(TDataQuery& query) {
  query.StatementKind = TStatementKind::kUpdate;
  Next();  // UPDATE
  TSourceTable target = MakeSourceTable(ParseTableReference(msg::kTableNameExpected));
  ParseCorrelation(target, kUpdateAliasEnds);
  const int updated = AddSource(query, std::move(target), false).Position;
  if (!IsKeyword("SET")) Fail(msg::kKeywordExpected, {"SET", TokenText()});
  Next();
  for (;;) {
    query.UpdateFields.push_back(ParseTargetColumn());
    if (!IsChar('=')) FailAtToken(msg::kAssignmentExpected);
    Next();
    query.UpdateValues.push_back(
        {ParseClause(kValuePermissions, msg::kValueContext, msg::kValueEmpty, kSetValueEnds)});
    if (!IsChar(',')) break;
    Next();
  }
  if (IsKeyword("FROM")) {
    Next();
    // The first entry is the updated table itself, named again.
    TSourceTable first = MakeSourceTable(ParseTableReference(msg::kTableNameAfterKeyword, "FROM"));
    ParseCorrelation(first, FromEnds(TSourcePlace::kUpdate));
    const TSourceTable& table = *query.SourceAt(updated);
    if (!SameTableName(first.TableName, table.TableName) ||
        !SameTableName(first.Directory, table.Directory) || first.InMemory != table.InMemory ||
        (first.ExplicitCorrelation &&
         !SameTableName(first.CorrelationName, table.CorrelationName))) {
      Fail(msg::kFirstSourceMismatch);
    }
    int left = updated;
    while (ParseJoin(query, TSourcePlace::kUpdate, left)) left = query.Joins.back().SourcePosition;
    ParseSourceList(query, TSourcePlace::kUpdate, true);
  }
  if (IsKeyword("WHERE")) ParseWhere(query);
  if (IsKeyword("NOAUTOINC")) {
    query.NoAutoInc = true;
    Next();
  }
  if (IsKeyword("COMMIT")) ParseCommitOption(query.Commit);
  if (IsKeyword("NOJOINOPTIMIZE")) {
    query.NoJoinOptimize = true;
    Next();
  }
}

void TStatementParser::ParseDelete(TDataQuery& query) {
  query.StatementKind = TStatementKind::kDelete;
  Next();  // DELETE
  if (!IsKeyword("FROM")) Fail(msg::kKeywordExpected, {"FROM", TokenText()});
  Next();
  ParseSourceList(query, TSourcePlace::kDelete);
  if (IsKeyword("WHERE")) ParseWhere(query);
  if (IsKeyword("COMMIT")) ParseCommitOption(query.Commit);
  if (IsKeyword("NOJOINOPTIMIZE")) {
    query.NoJoinOptimize = true;
    Next();
  }
}

void TStatementParser::ParseCommitOption(TCommitOption& commit) {
  Next();  // COMMIT
  commit.Present = true;
  if (IsKeyword("INTERVAL")) {
    Next();
    commit.Interval = ParseIntegerAfter("INTERVAL");
    if (IsKeyword("FLUSH")) {
      commit.Flush = true;
      Next();
    }
  } else if (IsKeyword("FLUSH")) {
    commit.Flush = true;
    Next();
  } else {
    FailAtToken(msg::kCommitOptions);
  }
}

}  // namespace strata
