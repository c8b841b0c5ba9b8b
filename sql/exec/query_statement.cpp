#include "sql/exec/query_statement.h"

#include <algorithm>

#include "platform/clock.h"
#include "sql/parse/statement_parser.h"
#include "storage/cursor/data_cursor.h"
#include "storage/engine_error.h"

namespace strata {

TQueryStatement::TQueryStatement(TStatementExecutor& executor) : executor_(executor) {}
TQueryStatement::~TQueryStatement() = default;

void TQueryStatement::SetResultOptions(bool request_live, int32_t max_row_count) {
  request_live_ = request_live;
  max_row_count_ = max_row_count;
}

size_t TQueryStatement::ParameterCount() const {
  return statement_.Empty() ? 0 : statement_.Parameters().size();
}

void TQueryStatement::PrepareStatement(std::string_view text) {
  state_ = TState::kCreated;
  kind_ = TStatementKind::kUnknown;
  text_ = std::string(text);
  tokens_.SetErrorTarget({STRATA_SQLPARSE, {}});
  tokens_.SetParseContext(kDefaultParseContext);
  tokens_.SetText(text_);
  tokens_.NextToken();
  ParseAndPrepareNext();
  kind_ = statement_.Master().StatementKind;
  state_ = TState::kPrepared;
}

void TQueryStatement::ParseAndPrepareNext() {
  statement_.Clear();
  TDataQuery& master = ParseStatement(tokens_, statement_);
  if (master.StatementKind == TStatementKind::kSelect) {
    master.RequestLive = request_live_;
    master.MaxRowCount = max_row_count_;
  }
  executor_.Prepare(statement_);
}

TStatementOutcome TQueryStatement::RunCurrent() {
  const uint64_t start = platform::TickCountMs();
  TStatementOutcome outcome = ExecuteByKind(executor_, statement_);
  execution_time_ += static_cast<double>(platform::TickCountMs() - start) / 1000.0;
  switch (statement_.Master().StatementKind) {
    case TStatementKind::kStartTransaction:
      rows_at_transaction_start_ = rows_affected_;
      break;
    case TStatementKind::kRollback:
      rows_affected_ = rows_at_transaction_start_;
      break;
    default:
      rows_affected_ += outcome.RowsAffected;
      break;
  }
  return outcome;
}

std::unique_ptr<TDataCursor> TQueryStatement::ExecuteStatements(std::span<const TExpValue> params) {
  // After a run (or a failure) the text is prepared again from its start.
  if (state_ != TState::kPrepared) PrepareStatement(text_);
  rows_affected_ = 0;
  rows_at_transaction_start_ = 0;
  execution_time_ = 0;
  std::vector<TExpToken*>& markers = statement_.Parameters();
  for (size_t i = 0; i < std::min(params.size(), markers.size()); ++i)
    markers[i]->Value = params[i];

  // Any failure from here on leaves the statement to be prepared afresh.
  state_ = TState::kDone;
  std::unique_ptr<TDataCursor> result = RunCurrent().Result;
  while (!tokens_.AtEnd()) {
    ParseAndPrepareNext();
    RunCurrent();
  }
  return result;
}

}  // namespace strata
