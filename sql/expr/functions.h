// The function table's type checks and evaluation: LOWER, UPPER, LENGTH,
// SUBSTRING, REPLACE, POS, OCCURS, CAST, TRIM, EXTRACT, ABS, ROUND, IF,
// IFNULL, COALESCE, TEXTSEARCH, TEXTOCCURS and LASTAUTOINC / IDENT_CURRENT.
// (TRUE, FALSE, NULL and CURRENT_DATE/TIME/TIMESTAMP are constants from the
// grammar; aggregates are accumulated by SELECT execution.)
#pragma once

#include <initializer_list>
#include <string_view>

#include "sql/expr/exp_eval.h"
#include "sql/expr/exp_token.h"
#include "sql/expr/sql_error.h"

namespace strata {

// Where type errors are raised and the context they name.
struct TTypeScope {
  std::string_view Context;
  const TSqlErrorTarget* Target = nullptr;

  [[noreturn]] void Raise(std::string_view pattern,
                          std::initializer_list<std::string_view> values) const;
};

// Checks a function node whose arguments are typed; sets its result type.
void CheckFunctionTypes(TExpToken& node, const TTypeScope& scope);
// Evaluates a function node into node.Value.
void EvaluateFunction(TExpToken& node, TEvalContext& context);

}  // namespace strata
