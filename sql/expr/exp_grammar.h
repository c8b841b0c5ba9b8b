// The expression grammar: reads an expression from the statement's
// tokenizer into a tree of TExpToken nodes.
//
// Precedence, lowest first: OR; AND; a single prefix NOT; one comparison or
// extended predicate (LIKE, BETWEEN, IN, IS [NOT] NULL); + - ||; * /; a
// single prefix + or -; primaries (functions, columns, constants,
// parenthesised expressions, "*", "?").
//
// The place an expression stands in decides what it may hold: the
// permissions below, checked while parsing (each forbidden item raises its
// message naming the tokenizer's ParseContext).
#pragma once

#include <memory>

#include "sql/expr/exp_token.h"
#include "sql/expr/expression_parser.h"

namespace strata {

// Permission flags.
constexpr unsigned pmAggregates = 1u << 0;
constexpr unsigned pmAllColumns = 1u << 1;
constexpr unsigned pmPredicates = 1u << 2;  // LIKE, BETWEEN, IN, IS [NOT] NULL
constexpr unsigned pmParameters = 1u << 3;
constexpr unsigned pmSubSelects = 1u << 4;

// The permissions of each place.
constexpr unsigned kSelectItemPermissions = pmAggregates | pmAllColumns | pmPredicates;
constexpr unsigned kWherePermissions = pmPredicates | pmParameters | pmSubSelects;
constexpr unsigned kJoinOnPermissions = pmPredicates | pmParameters;
constexpr unsigned kHavingPermissions = pmAggregates;
constexpr unsigned kValuePermissions = pmParameters;  // INSERT VALUES, UPDATE SET value
constexpr unsigned kColumnPermissions = 0;            // INSERT column, SET target
// Table filters: conditions over one table's fields.
constexpr unsigned kFilterPermissions = pmPredicates;

// What the statement layer supplies to the grammar.
class TExpressionHooks {
 public:
  virtual ~TExpressionHooks() = default;
  // The tokenizer stands on SELECT just after "IN (": parse the sub-select
  // and stop on the token after it (the grammar then expects ")").
  virtual std::unique_ptr<TSubQuery> ParseSubSelect(TExpressionParser& tokens) = 0;
  // A "?" was parsed into `node` (parameters are numbered in this order).
  virtual void AddParameter(TExpToken& /*node*/) {}
};

// Parses one expression starting at the current token; on return the
// tokenizer stands on the first token that cannot continue it. The caller
// checks for an empty expression first (its own message). Sub-selects need
// `hooks`; without them IN (SELECT ...) raises the sub-select message.
// The tokenizer's expression start is marked at the expression's first token.
TExpToken* ParseExpression(TExpressionParser& tokens, TExpTokenStack& pool, unsigned permissions,
                           TExpressionHooks* hooks = nullptr);

// Parses one primary only (a column, alias.column or constant): an INSERT
// column or an UPDATE SET target.
TExpToken* ParsePrimary(TExpressionParser& tokens, TExpTokenStack& pool, unsigned permissions,
                        TExpressionHooks* hooks = nullptr);

// Whether the word is a function, aggregate or constant keyword of the
// function table (letter case ignored).
bool IsFunctionKeyword(std::string_view word);

}  // namespace strata
