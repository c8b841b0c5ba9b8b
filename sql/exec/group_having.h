// The HAVING test of a grouped result: it reads a collapsed group's record.
// Each aggregate of the HAVING tree, and each column outside an aggregate,
// must be a select item ("Expression in HAVING clause not found in source
// columns"); evaluation takes their values from the group record's columns.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "sql/exec/prepared_query.h"

namespace strata {

class TDataCursor;

// Checks the query's HAVING against its result columns (at prepare).
void CheckHaving(const TPreparedQuery& prepared);

// The test over a group record of `result` (empty when there is no HAVING).
std::function<bool(std::span<const uint8_t>)> MakeHavingTest(const TPreparedQuery& prepared,
                                                             TDataCursor& result);

}  // namespace strata
