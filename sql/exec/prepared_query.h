// TPreparedQuery: what preparing one query of a statement settled for its
// execution: the result table and its columns (a SELECT), the target's
// fields (INSERT, UPDATE), and how the result is shaped.
//
// Always: Result, when set, is the only cursor on a result table opened for
// exclusive use; a result table in the private directory is temporary, so it
// goes with this cursor (handed to the caller, or dropped with the state).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sql/exec/result_columns.h"
#include "sql/exec/result_shaping.h"

namespace strata {

class TDataCursor;
class TDataQuery;

struct TPreparedQuery {
  TPreparedQuery();
  ~TPreparedQuery();
  TPreparedQuery(TPreparedQuery&&) noexcept;
  TPreparedQuery& operator=(TPreparedQuery&&) noexcept;

  TDataQuery* Query = nullptr;
  // SELECT.
  std::vector<TResultColumn> Columns;
  TResultShape Shape;  // without its HAVING test, which execution binds
  std::unique_ptr<TDataCursor> Result;
  // The cursor on the source table itself is the result (nothing copied).
  bool Live = false;
  int LiveIndex = 0;  // the live cursor's index
  // A sub-select's result, once filled, serves every row of the statement.
  bool Filled = false;
  // INSERT and UPDATE: the target's field for each value, in value order.
  std::vector<uint16_t> TargetFields;
};

}  // namespace strata
