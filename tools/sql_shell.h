// TSqlShell: the engine behind `strata sql`. Owns a session, the database
// directory of one folder and the statement executor over it, and runs SQL
// texts statement by statement, handing each statement's result table or
// rows affected to a printer.
//
// A text's statements run in order, each parsed only after the one before
// it has run (so a later statement's syntax error comes after the earlier
// ones have changed the tables). An error ends the text: the statements
// before it stay run, no later one runs, and the engine error propagates.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "sql/expr/expression_parser.h"
#include "tools/sql_output.h"

namespace strata {
class TDataSession;
class TDataDirectory;
class TStatementExecutor;
}  // namespace strata

namespace strata_tool {

// The statements of one SQL text, one at a time: each is found by parsing
// it (with the engine's own grammar and messages), so Next raises the
// syntax error of the statement it reaches.
class TStatementTexts {
 public:
  explicit TStatementTexts(std::string text);
  // The next statement's text up to and with its ";"; nullopt at the end.
  std::optional<std::string> Next();

 private:
  strata::TExpressionParser tokens_;
};

// Whether `text` holds at least one statement and ends with a ";" outside
// quotes and comments: where the console stops reading lines.
bool EndsWithStatement(std::string_view text);

class TSqlShell {
 public:
  // `folder` must exist. Texts arrive in UTF-8 or Windows-1252 (see
  // platform/utf8_text.h) and are run in Windows-1252.
  TSqlShell(const std::string& folder, TResultPrinter& printer);
  ~TSqlShell();
  TSqlShell(const TSqlShell&) = delete;
  TSqlShell& operator=(const TSqlShell&) = delete;

  void Run(std::string_view text);
  // Tables reused between statements stay in use meanwhile (see
  // strata::TEngineSettings::HoldIdleTables): for texts run at once, not for
  // a console a person may leave open.
  void SetHoldIdleTables(bool value);

 private:
  void RunStatement(const std::string& statement);

  TResultPrinter& printer_;
  std::shared_ptr<strata::TDataSession> session_;
  std::shared_ptr<strata::TDataDirectory> directory_;
  std::unique_ptr<strata::TStatementExecutor> executor_;
};

}  // namespace strata_tool
