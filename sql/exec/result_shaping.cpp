#include "sql/exec/result_shaping.h"

#include "sql/expr/sql_error.h"

namespace strata {

// Placeholder until result tables can be sorted.
void ShapeResult(TDataCursor&, const TResultShape& shape) {
  if (shape.Distinct || shape.Grouped || !shape.OrderBy.empty() || shape.RemoveDuplicates)
    RaiseSqlError("result shaping is not supported yet");
}

}  // namespace strata
