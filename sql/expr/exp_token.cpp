#include "sql/expr/exp_token.h"

namespace strata {

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
