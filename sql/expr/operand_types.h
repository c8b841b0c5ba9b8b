// Resolution and type checking of a parsed expression: column references
// find their source and column, string constants that name a column become
// that column (where the place allows), string constants compared with
// dates, times and timestamps become constants of that type, and every node
// gets its result type by the operand rules. Raises the resolution and type
// mismatch messages.
#pragma once

#include <string_view>

#include "sql/expr/column_resolver.h"
#include "sql/expr/exp_token.h"
#include "sql/expr/sql_error.h"

namespace strata {

struct TResolveOptions {
  std::string_view Context = "SQL statement";  // named in messages
  bool StringsNameColumns = true;              // WHERE, JOIN ON, HAVING, select items, SET values
  bool WhereClause = false;                    // an unknown correlation name gets the WHERE message
  TSqlErrorTarget Target;                      // the error code and table raised with
};

void ResolveExpression(TExpToken& root, const TColumnResolver& resolver,
                       const TResolveOptions& options);

}  // namespace strata
