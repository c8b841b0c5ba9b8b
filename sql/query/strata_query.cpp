#include "sql/query/strata_query.h"

#include "sql/exec/query_statement.h"
#include "sql/exec/strata_executor.h"
#include "sql/query/param_scan.h"
#include "storage/cursor/data_cursor.h"
#include "storage/engine_error.h"
#include "storage/session/database_error.h"
#include "storage/session/strata_session.h"

namespace strata {
namespace {

constexpr std::string_view kNoStatement = "No SQL statement available";
constexpr std::string_view kNoParameterValue = "No value for parameter '%s'";
constexpr std::string_view kNoResultSet = "The statement gave no result set";
// Engine errors of the SQL kind (syntax, types, names).
constexpr uint16_t kSqlErrorCode = 11949;

}  // namespace

TStrataQuery::TStrataQuery() {
  sql_.on_change_ = [this] { TextChanged(); };
}

TStrataQuery::~TStrataQuery() {
  Close();
  DropStatement();
  DetachDatabase();
}

void TStrataQuery::SetMaxRowCount(int32_t value) {
  CheckInactive();
  max_row_count_ = value;
  DropStatement();
  ReleaseUnneeded();
}

void TStrataQuery::SetRequestLive(bool value) {
  CheckInactive();
  request_live_ = value;
  DropStatement();
  ReleaseUnneeded();
}

void TStrataQuery::TextChanged() {
  Close();
  DropStatement();
  ReleaseUnneeded();
  const std::string text = sql_.Text();
  if (param_check_) {
    TParamScan scan = ScanParameters(text, params_);
    processed_text_ = std::move(scan.Text);
    params_ = std::move(scan.Params);
  } else {
    processed_text_ = text;
  }
}

// Preparing ------------------------------------------------------------------

void TStrataQuery::Prepare() {
  CheckInactive();
  PrepareStatement();
  prepared_explicitly_ = true;
}

void TStrataQuery::Unprepare() {
  prepared_explicitly_ = false;
  ReleaseUnneeded();
}

void TStrataQuery::PrepareStatement() {
  CheckInactive();
  if (statement_) return;
  if (processed_text_.size() < 2) RaiseDatabaseError(kNoStatement);
  try {
    TStrataDatabase& database = AttachDatabase();
    TExecutorOptions options;
    options.ProgressSteps = Session().ProgressSteps();
    options.DatabaseName = database.DatabaseName();
    executor_ = MakeStatementExecutor(database.SharedHandle(), options);
    statement_ = std::make_unique<TQueryStatement>(*executor_);
    statement_->SetResultOptions(request_live_, max_row_count_);
    statement_->PrepareStatement(processed_text_);
  } catch (...) {
    DropStatement();
    ReleaseUnneeded();
    throw;
  }
}

void TStrataQuery::DropStatement() noexcept {
  statement_.reset();
  executor_.reset();
  prepared_explicitly_ = false;
}

void TStrataQuery::ReleaseUnneeded() noexcept {
  if (!prepared_explicitly_ && !open_ && !executing_) {
    statement_.reset();
    executor_.reset();
  }
  if (!statement_ && !open_ && !executing_) DetachDatabase();
}

// Executing ------------------------------------------------------------------

std::unique_ptr<TDataCursor> TStrataQuery::Execute() {
  if (sql_.Count() == 0) RaiseDatabaseError(kNoStatement);
  PrepareStatement();
  std::vector<TExpValue> values;
  for (const TQueryParam& param : params_) {
    if (!param.Value) RaiseDatabaseError(kNoParameterValue, param.Name);
    TExpValue value;
    value.SetString(*param.Value);
    values.push_back(std::move(value));
  }
  try {
    std::unique_ptr<TDataCursor> result = statement_->ExecuteStatements(values);
    rows_affected_ = statement_->RowsAffected();
    execution_time_ = statement_->ExecutionTime();
    return result;
  } catch (const EStrataEngineError& error) {
    // A statement the engine could not make sense of is parsed anew next time.
    if (error.Code == kSqlErrorCode) DropStatement();
    throw;
  }
}

void TStrataQuery::ExecSQL() {
  CheckInactive();
  executing_ = true;
  try {
    std::unique_ptr<TDataCursor> result = Execute();
    const bool select = statement_ && statement_->Kind() == TStatementKind::kSelect;
    if (select && result) {
      pending_result_ = std::move(result);
      Open();
    } else {
      ReleaseResultCursor(std::move(result));
    }
  } catch (...) {
    ReleaseResultCursor(std::move(pending_result_));
    executing_ = false;
    ReleaseUnneeded();
    throw;
  }
  executing_ = false;
  ReleaseUnneeded();
}

// The dataset ----------------------------------------------------------------

void TStrataQuery::DoOpen() {
  open_ = true;
  std::unique_ptr<TDataCursor> result = std::move(pending_result_);
  if (!result) result = Execute();
  if (!result) throw EDatabaseError(std::string(kNoResultSet));
  if (statement_ && statement_->Kind() != TStatementKind::kSelect) {
    ReleaseResultCursor(std::move(result));
    throw EDatabaseError(std::string(kNoResultSet));
  }
  SetCursor(std::move(result));
  TStrataDBDataSet::DoOpen();
}

void TStrataQuery::DoClose() noexcept {
  TStrataDBDataSet::DoClose();
  ReleaseResultCursor(std::move(pending_result_));
  open_ = false;
  ReleaseUnneeded();
}

void TStrataQuery::BindingChanged() noexcept {
  DropStatement();
  ReleaseUnneeded();
}

void TStrataQuery::ReleaseForDatabase() noexcept {
  Close();
  DropStatement();
  ReleaseUnneeded();
}

}  // namespace strata
