// TStrataExecutor: the SQL engine's statement executor. It runs parsed
// statements against the tables of one database directory: opens the
// sources, places the conditions on their cursors, joins them, fills result
// tables in the session's private directory, changes rows under the
// automatic transaction, and carries out DDL and transaction statements.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "sql/exec/statement_executor.h"

namespace strata {

class TDataDirectory;

struct TExecutorOptions {
  // Called during a row loop with the percentage done; returning false asks
  // the loop to stop (rows made so far stay).
  std::function<bool(int percent)> Progress;
  // Smallest growth of the percentage between two reports.
  uint16_t ProgressSteps = 10;
  // The database's name in transaction messages (empty: its directory).
  std::string DatabaseName;
};

// An executor for the tables of `database` (the directory statements name
// their tables in, unless they give a path of their own).
std::unique_ptr<TStatementExecutor> MakeStatementExecutor(std::shared_ptr<TDataDirectory> database,
                                                          TExecutorOptions options = {});

}  // namespace strata
