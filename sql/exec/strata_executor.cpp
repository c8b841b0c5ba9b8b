#include "sql/exec/strata_executor.h"

#include "sql/expr/sql_error.h"

namespace strata {

// Placeholder until statements can be run.
std::unique_ptr<TStatementExecutor> MakeStatementExecutor(std::shared_ptr<TDataDirectory>,
                                                          TExecutorOptions) {
  RaiseSqlError("statement execution is not supported yet");
}

}  // namespace strata
