// The link between a statement's parts and the expression trees of sql/expr:
// a tree (its nodes live in the statement's TExpTokenStack) and the place of
// its text in the statement.
#pragma once

#include <cstdint>

namespace strata {

struct TExpToken;

// Where a clause's text stands in the statement: [Begin, End).
struct TTextSpan {
  uint32_t Begin = 0;
  uint32_t End = 0;
};

// One parsed expression (Root nullptr: none written).
struct TExpressionRef {
  TExpToken* Root = nullptr;
  TTextSpan Text;
  explicit operator bool() const { return Root != nullptr; }
};

}  // namespace strata
