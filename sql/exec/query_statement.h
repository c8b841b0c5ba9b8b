// TQueryStatement: one query component's SQL text, parsed and run
// statement by statement. Owns the tokenizer (with its private copy of the
// text) and the parsed statement (queries, expression nodes, parameters);
// the executor that runs each statement belongs to the caller.
//
// States and the calls that move between them:
//
//   created --PrepareStatement--> prepared --ExecuteStatements--> done
//      ^            | (error)                  | (error)            |
//      +------------+--------------------------+                    |
//   done --ExecuteStatements--> (prepares the text again, then runs) |
//
// Prepared: the first statement of the text is parsed and prepared, the
// tokenizer stands after it. ExecuteStatements runs it, then parses,
// prepares and runs each further statement in turn, so a later statement's
// syntax error is raised after the earlier ones have changed the tables.
//
// Rows affected are added up over the statements, except that START
// TRANSACTION remembers the running total and ROLLBACK sets the total back
// to it. Execution times (of running, not parsing) are added up.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "sql/exec/statement_executor.h"
#include "sql/expr/exp_value.h"
#include "sql/expr/expression_parser.h"
#include "sql/parse/parsed_statement.h"

namespace strata {

class TQueryStatement {
 public:
  explicit TQueryStatement(TStatementExecutor& executor);
  ~TQueryStatement();
  TQueryStatement(const TQueryStatement&) = delete;
  TQueryStatement& operator=(const TQueryStatement&) = delete;

  // What the query component asks of a SELECT master.
  void SetResultOptions(bool request_live, int32_t max_row_count);

  // Parses the first statement of `text` and prepares it. A failure leaves
  // the statement unprepared.
  void PrepareStatement(std::string_view text);
  bool Prepared() const { return state_ == TState::kPrepared; }
  // The kind of the master (first) statement.
  TStatementKind Kind() const { return kind_; }
  // The "?" markers of the prepared statement, in order.
  size_t ParameterCount() const;

  // Runs every statement of the text. `params` bind the "?" markers of the
  // first statement only. Returns the first statement's result cursor (a
  // SELECT's), or nullptr.
  std::unique_ptr<TDataCursor> ExecuteStatements(std::span<const TExpValue> params = {});
  int64_t RowsAffected() const { return rows_affected_; }
  double ExecutionTime() const { return execution_time_; }  // seconds

  // The statement being prepared or run, and the tokenizer over the text.
  const TParsedStatement& Statement() const { return statement_; }
  const TExpressionParser& Tokens() const { return tokens_; }

 private:
  enum class TState : uint8_t { kCreated, kPrepared, kDone };

  // Parses the statement at the current token and prepares it.
  void ParseAndPrepareNext();
  // Runs the current statement, keeping count and time.
  TStatementOutcome RunCurrent();

  TStatementExecutor& executor_;
  TExpressionParser tokens_;
  TParsedStatement statement_;
  std::string text_;
  TState state_ = TState::kCreated;
  TStatementKind kind_ = TStatementKind::kUnknown;
  bool request_live_ = false;
  int32_t max_row_count_ = -1;
  int64_t rows_affected_ = 0;
  int64_t rows_at_transaction_start_ = 0;
  double execution_time_ = 0;
};

}  // namespace strata
