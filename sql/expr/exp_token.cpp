#include "sql/expr/exp_token.h"

namespace strata {

std::string_view NodeKindName(const TExpToken& node) {
  switch (node.Class) {
    case ncColumn:
    case ncAllColumns:
      return "column";
    case ncConstant:
    case ncParameter:
      return "constant";
    case ncFunction:
    case ncAggregate:
      return "function";
    default:
      return "expression";
  }
}

TExpToken* TExpTokenStack::New() {
  if (!free_.empty()) {
    TExpToken* node = free_.back();
    free_.pop_back();
    return node;
  }
  return &nodes_.emplace_back();
}

void TExpTokenStack::Release(TExpToken* node) {
  *node = TExpToken{};
  free_.push_back(node);
}

void TExpTokenStack::Clear() {
  nodes_.clear();
  free_.clear();
}

}  // namespace strata
