#include "tools/sql_shell.h"

#include "platform/utf8_text.h"
#include "sql/exec/query_statement.h"
#include "sql/exec/strata_executor.h"
#include "sql/parse/parsed_statement.h"
#include "sql/parse/statement_parser.h"
#include "storage/cursor/data_cursor.h"
#include "storage/engine_error.h"
#include "storage/session/data_session.h"

namespace strata_tool {

TStatementTexts::TStatementTexts(std::string text) {
  // The same error code and context as the query statement parses with.
  tokens_.SetErrorTarget({strata::STRATA_SQLPARSE, {}});
  tokens_.SetParseContext(strata::kDefaultParseContext);
  tokens_.SetText(std::move(text));
  tokens_.NextToken();
}

std::optional<std::string> TStatementTexts::Next() {
  if (tokens_.AtEnd()) return std::nullopt;
  const size_t begin = tokens_.TokenStart();
  strata::TParsedStatement statement;
  strata::ParseStatement(tokens_, statement);
  return tokens_.Text().substr(begin, tokens_.PreviousTokenEnd() - begin);
}

bool EndsWithStatement(std::string_view text) {
  strata::TExpressionParser tokens{std::string(text)};
  int last = strata::ttEnd;
  try {
    while (tokens.NextToken() != strata::ttEnd) last = tokens.TokenKind();
  } catch (const std::exception&) {
    return false;  // an open quote or comment: the statement goes on
  }
  return last == ';';
}

TSqlShell::TSqlShell(const std::string& folder, TResultPrinter& printer)
    : printer_(printer),
      session_(strata::TDataSession::Create()),
      directory_(session_->OpenDirectory("strata", folder)),
      executor_(strata::MakeStatementExecutor(directory_)) {}

TSqlShell::~TSqlShell() = default;

void TSqlShell::SetHoldIdleTables(bool value) { session_->Settings().HoldIdleTables = value; }

void TSqlShell::Run(std::string_view text) {
  TStatementTexts statements(platform::Utf8ToWindows1252(text));
  while (std::optional<std::string> statement = statements.Next()) RunStatement(*statement);
}

void TSqlShell::RunStatement(const std::string& statement) {
  strata::TQueryStatement query(*executor_);
  query.PrepareStatement(statement);
  std::unique_ptr<strata::TDataCursor> result = query.ExecuteStatements();
  if (result) {
    printer_.Result(*result, query.ExecutionTime());
  } else {
    printer_.RowsAffected(query.RowsAffected(), query.ExecutionTime());
  }
}

}  // namespace strata_tool
