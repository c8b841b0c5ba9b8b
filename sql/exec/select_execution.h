// Running a prepared SELECT into its result table: the row loop appends one
// record per qualifying combination (plain columns copied, computed items
// evaluated, aggregate columns holding what shaping expects), stopping at
// MaxRowCount rows, or at TOP rows when nothing reorders or collapses the
// result; then the result is shaped (DISTINCT, GROUP BY, HAVING, ORDER BY,
// TOP) and handed over positioned before its first record.
#pragma once

#include <cstdint>

#include "sql/exec/prepared_query.h"
#include "sql/exec/strata_executor.h"

namespace strata {

// Appends the query's rows to `result` (its own result table, or a UNION
// master's); returns how many were appended.
int64_t AppendRows(TPreparedQuery& prepared, TDataCursor& result, const TExecutorOptions& options);

// Runs the SELECT and gives its result cursor away.
TStatementOutcome ExecuteSelect(TPreparedQuery& prepared, const TExecutorOptions& options);

}  // namespace strata
