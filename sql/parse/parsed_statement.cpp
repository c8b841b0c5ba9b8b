#include "sql/parse/parsed_statement.h"

namespace strata {

void TSubSelect::ForEachValue(TEvalContext& context,
                              const std::function<bool(const TExpValue&)>& visit) {
  if (runner_) runner_(query_, context, visit);
}

TDataQuery& TParsedStatement::NewQuery() {
  queries_.push_back(std::make_unique<TDataQuery>());
  return *queries_.back();
}

void TParsedStatement::Clear() {
  sub_selects_.clear();
  parameters_.clear();
  nodes_.Clear();
  queries_.clear();
}

}  // namespace strata
