// Preparing a SELECT once its sources are open and its expressions are
// resolved: the result columns, the checks of aggregates, WHERE, HAVING,
// GROUP BY, ORDER BY and DISTINCT with their messages, the shape the result
// gets after the row loop, and the result table itself.
//
// The result table is the INTO table (in its directory or the in-memory
// database) or a new table in the session's private directory named by the
// temporary-name rule and opened as temporary, so that it is deleted when
// its cursor closes.
#pragma once

#include <memory>
#include <string_view>

#include "sql/exec/prepared_query.h"

namespace strata {

class TDataDirectory;
class TDataQuery;

// Raises "WHERE or JOIN clause must be a boolean expression" for a WHERE of
// another type.
void CheckWhereIsBoolean(const TDataQuery& query);

// Everything above except creating the result table.
TPreparedQuery PrepareSelectColumns(TDataQuery& query);

// Creates and opens the result table. `database` is the statement's
// database (INTO names a table in it unless a path or MEMORY is written).
void CreateResultTable(TPreparedQuery& prepared, TDataDirectory& database);

}  // namespace strata
