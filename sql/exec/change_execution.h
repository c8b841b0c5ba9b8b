// Carrying out INSERT, UPDATE and DELETE on their target (the first source)
// inside the automatic transaction (auto_transaction.h).
//
// INSERT ... VALUES builds one new record: auto-increment assignment off
// with NOAUTOINC, defaults applied, each value evaluated and stored in list
// order. UPDATE visits every qualifying combination of the join chain and,
// for each, edits the target's current record: the SET values are evaluated
// in order against the record being edited (so a value sees the assignments
// before it) and the record is posted. DELETE deletes the target's record of
// each qualifying combination and goes on from the record that followed it.
// A row that fails has its edit cancelled; the error propagates after the
// automatic transaction is rolled back.
//
// Prepare-time checks of the values (CheckChangeValues): a string constant
// for a date, time or timestamp column is converted once; a constant whose
// type cannot be compared with its column's raises the type mismatch.
#pragma once

#include <cstdint>

#include "sql/exec/prepared_query.h"
#include "sql/exec/strata_executor.h"

namespace strata {

class TDataQuery;
class TStatementReadScope;

// Resolves the target fields (INSERT without a column list: every field in
// table order), checks the value count and the constants.
TPreparedQuery PrepareChange(TDataQuery& query);

// `source`: the filled result of INSERT ... SELECT (nullptr for VALUES);
// one record per source row, its columns taken in order.
int64_t ExecuteInsert(TPreparedQuery& prepared, TDataCursor* source,
                      const TExecutorOptions& options);
// `reading` (the statement's read locks, held while the sources' filters are
// installed) is given back before the first row is changed.
int64_t ExecuteUpdate(TPreparedQuery& prepared, const TExecutorOptions& options,
                      TStatementReadScope& reading);
int64_t ExecuteDelete(TPreparedQuery& prepared, const TExecutorOptions& options,
                      TStatementReadScope& reading);

}  // namespace strata
