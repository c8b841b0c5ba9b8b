// TStrataQuery: the query component. Holds an SQL text (one line per entry
// of SQL()), hands it to the SQL engine inside the database named by
// SessionName and DatabaseName, and presents a SELECT's result as a dataset
// (TStrataDBDataSet -> TStrataDataSet -> TDataSet): a current row over the
// result cursor and one field object per result column.
//
// States: closed and unprepared -> (Prepare) prepared -> (Open, or ExecSQL of
// a SELECT) open on a result -> (Close) closed, still prepared when prepared
// explicitly -> (any change of SQL()) closed and unprepared.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sql/exec/statement_executor.h"
#include "sql/query/strata_db_dataset.h"

namespace strata {

class TDataCursor;
class TQueryStatement;

// The statement text: lines, each change reported to the owner.
class TQueryLines {
 public:
  void Clear();
  void Add(std::string line);
  size_t Count() const { return lines_.size(); }
  const std::string& operator[](size_t i) const { return lines_[i]; }
  // The lines joined, each followed by CR LF.
  std::string Text() const;

 private:
  friend class TStrataQuery;
  std::vector<std::string> lines_;
  std::function<void()> on_change_;
};

struct TQueryParam {
  std::string Name;
  std::optional<std::string> Value;  // nullopt: no value bound
};

// Owns the statement (and the executor it runs on) while any reason to keep
// it holds: prepared explicitly, open on a result, executing. Attached to
// its database exactly while it holds the statement or is open.
class TStrataQuery : public TStrataDBDataSet {
 public:
  TStrataQuery();
  ~TStrataQuery() override;
  TStrataQuery(const TStrataQuery&) = delete;
  TStrataQuery& operator=(const TStrataQuery&) = delete;

  // Every change of the lines closes and unprepares the query and scans the
  // text for parameters again.
  TQueryLines& SQL() { return sql_; }
  // The lines joined (CR LF after each) after the parameter scan.
  const std::string& ProcessedText() const { return processed_text_; }
  int32_t MaxRowCount() const { return max_row_count_; }
  void SetMaxRowCount(int32_t value);
  bool RequestLive() const { return request_live_; }
  void SetRequestLive(bool value);
  bool ParamCheck() const { return param_check_; }
  void SetParamCheck(bool value) { param_check_ = value; }
  std::vector<TQueryParam>& Params() { return params_; }

  // "Operation bei geöffneter Datenmenge nicht ausführbar" while open; "No
  // SQL statement available" for a text shorter than 2 characters.
  void Prepare();
  void Unprepare();
  bool Prepared() const { return static_cast<bool>(statement_); }
  // Runs the text; a SELECT first leaves the query open on its result.
  void ExecSQL();

  int64_t RowsAffected() const { return rows_affected_; }
  double ExecutionTime() const { return execution_time_; }  // seconds

 protected:
  void DoOpen() override;
  void DoClose() noexcept override;
  void ReleaseForDatabase() noexcept override;
  void BindingChanged() noexcept override;

 private:
  void TextChanged();
  void PrepareStatement();
  // Runs the text: the first statement's result cursor, or nullptr.
  std::unique_ptr<TDataCursor> Execute();
  // Drops the statement when no reason keeps it, and detaches when nothing
  // needs the database any more.
  void ReleaseUnneeded() noexcept;
  void DropStatement() noexcept;

  TQueryLines sql_;
  std::string processed_text_;
  std::vector<TQueryParam> params_;
  int32_t max_row_count_ = -1;
  bool request_live_ = false;
  bool param_check_ = true;

  // Reasons to keep the statement.
  bool prepared_explicitly_ = false;
  bool open_ = false;
  bool executing_ = false;

  std::unique_ptr<TStatementExecutor> executor_;
  std::unique_ptr<TQueryStatement> statement_;   // runs on *executor_
  std::unique_ptr<TDataCursor> pending_result_;  // ExecSQL's SELECT result, for DoOpen
  int64_t rows_affected_ = 0;
  double execution_time_ = 0;
};

}  // namespace strata
