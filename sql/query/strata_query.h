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

#include "sql/query/fields.h"

namespace strata {

class TQueryStatement;
class TStatementExecutor;
class TStrataDatabase;

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

class TStrataQuery /* : public TStrataDBDataSet */ {
 public:
  TStrataQuery();
  ~TStrataQuery();
  TStrataQuery(const TStrataQuery&) = delete;
  TStrataQuery& operator=(const TStrataQuery&) = delete;

  TQueryLines& SQL() { return sql_; }
  const std::string& SessionName() const;
  void SetSessionName(std::string_view name);
  const std::string& DatabaseName() const;
  void SetDatabaseName(std::string_view name);
  int32_t MaxRowCount() const;
  void SetMaxRowCount(int32_t value);
  bool RequestLive() const;
  void SetRequestLive(bool value);
  std::vector<TQueryParam>& Params();

  void Prepare();
  void Unprepare();
  bool Prepared() const;
  void Open();
  void Close();
  bool Active() const;
  void SetActive(bool active);
  void ExecSQL();

  // The open result ("Operation bei geschlossener Datenmenge nicht
  // ausführbar" while closed).
  int32_t RecordCount();
  void First();
  void Last();
  int32_t MoveBy(int32_t distance);
  bool Eof() const;
  bool Bof() const;
  int FieldCount() const;
  // "Der Index der Liste überschreitet das Maximum (%d)" beyond the columns.
  TField& Fields(int index);

  int64_t RowsAffected() const;
  double ExecutionTime() const;  // seconds

 private:
  TQueryLines sql_;
  // ... the implementation's own state
};

}  // namespace strata
