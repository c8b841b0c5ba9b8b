// TParsedStatement: everything one parsed statement consists of -- its
// queries (the master first, then each UNION member, sub-select and the
// SELECT of an INSERT as met), the expression nodes of all of them, the "?"
// parameter markers in order of appearance, and the sub-selects met inside
// expressions. Clear() makes room for the next statement of a text.
#pragma once

#include <memory>
#include <vector>

#include "sql/expr/exp_token.h"
#include "sql/parse/data_query.h"

namespace strata {

// An IN (SELECT ...) as the expression tree sees it. The values come from
// the statement's executor, which attaches a runner once it has prepared the
// query; until then the sub-select yields no values.
class TSubSelect : public TSubQuery {
 public:
  using TRunner =
      std::function<void(TDataQuery&, TEvalContext&, const std::function<bool(const TExpValue&)>&)>;

  explicit TSubSelect(TDataQuery& query) : query_(query) {}
  TDataQuery& Query() const { return query_; }
  void SetRunner(TRunner runner) { runner_ = std::move(runner); }

  int ColumnCount() const override { return static_cast<int>(query_.ResultFields.size()); }
  void ForEachValue(TEvalContext& context,
                    const std::function<bool(const TExpValue&)>& visit) override;

 private:
  TDataQuery& query_;
  TRunner runner_;
};

class TParsedStatement {
 public:
  TParsedStatement() = default;
  TParsedStatement(const TParsedStatement&) = delete;
  TParsedStatement& operator=(const TParsedStatement&) = delete;

  // The master query; it exists once a statement has begun to parse.
  TDataQuery& Master() const { return *queries_.front(); }
  bool Empty() const { return queries_.empty(); }
  // A new query owned by this statement (the first one is the master).
  TDataQuery& NewQuery();
  const std::vector<std::unique_ptr<TDataQuery>>& Queries() const { return queries_; }

  TExpTokenStack& Nodes() { return nodes_; }
  std::vector<TExpToken*>& Parameters() { return parameters_; }
  const std::vector<TExpToken*>& Parameters() const { return parameters_; }
  std::vector<TSubSelect*>& SubSelects() { return sub_selects_; }
  const std::vector<TSubSelect*>& SubSelects() const { return sub_selects_; }

  // Drops queries, nodes, parameters and sub-selects.
  void Clear();

 private:
  // Nodes own the sub-selects (TExpToken::SubQuery), which point at queries:
  // the queries are declared first, so they are destroyed after the nodes.
  std::vector<std::unique_ptr<TDataQuery>> queries_;
  TExpTokenStack nodes_;
  std::vector<TExpToken*> parameters_;
  std::vector<TSubSelect*> sub_selects_;
};

}  // namespace strata
