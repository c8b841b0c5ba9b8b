// Running a prepared SELECT into its result table: the row loop appends one
// record per qualifying combination (plain columns copied, computed items
// evaluated, aggregate columns holding what shaping expects), stopping at
// MaxRowCount rows, or at TOP rows when nothing reorders or collapses the
// result; then the result is shaped (DISTINCT, GROUP BY, HAVING, ORDER BY,
// TOP) and handed over positioned before its first record.
#pragma once

#include <cstdint>
#include <functional>

#include "sql/exec/prepared_query.h"
#include "sql/exec/strata_executor.h"

namespace strata {

class TStatementReadScope;

// The prepared state of another query of the statement (a UNION member).
using TPreparedOf = std::function<TPreparedQuery&(const TDataQuery&)>;

// Appends the query's rows to `result`; returns how many were appended.
int64_t AppendRows(TPreparedQuery& prepared, TDataCursor& result, const TExecutorOptions& options);

// Empties the query's result table and fills and shapes it; the members of
// a UNION chain are appended to it (each filled and shaped in its own table
// first), then duplicates removed (without ALL), ordered and cut to TOP.
// The cursor stays with `prepared`.
void FillResult(TPreparedQuery& prepared, const TPreparedOf& members,
                const TExecutorOptions& options);

// Runs the SELECT and gives its result cursor away. `reading` (the
// statement's read locks) is given back once the result is filled.
TStatementOutcome ExecuteSelect(TPreparedQuery& prepared, const TPreparedOf& members,
                                const TExecutorOptions& options, TStatementReadScope& reading);

}  // namespace strata
