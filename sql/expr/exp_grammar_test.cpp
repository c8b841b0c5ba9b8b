#include "sql/expr/exp_grammar.h"

#include <gtest/gtest.h>

#include "sql/expr/exp_eval.h"
#include "sql/expr/operand_types.h"
#include "storage/engine_error.h"

namespace strata {
namespace {

class TNoSources : public TColumnResolver {
 public:
  int SourceCount() const override { return 0; }
  std::string_view CorrelationName(int) const override { return {}; }
  std::optional<TColumnInfo> FindColumn(int, std::string_view) const override { return {}; }
};

// The value of a constant expression, or "! message".
std::string Value(const std::string& text) {
  try {
    TExpressionParser tokens(text);
    tokens.NextToken();
    TExpTokenStack pool;
    TExpToken* root = ParseExpression(tokens, pool, kSelectItemPermissions);
    ResolveExpression(*root, TNoSources{}, TResolveOptions{});
    TEvalContext context;
    return std::to_string(Evaluate(*root, context).Int);
  } catch (const EStrataEngineError& error) {
    return "! " + error.ContextDetail;
  }
}

TEST(ExpressionGrammar, DeepOrLongExpressionsAreRefusedNotOverflowed) {
  const std::string too_complex =
      "! Expression is too complex or nested too deeply in SQL statement";
  EXPECT_EQ(Value(std::string(100, '(') + "1" + std::string(100, ')')), "1");
  EXPECT_EQ(Value(std::string(100000, '(') + "1" + std::string(100000, ')')), too_complex);
  std::string calls;
  for (int i = 0; i < 100000; ++i) calls += "ABS(";
  EXPECT_EQ(Value(calls + "1"), too_complex);
  std::string chain = "1";
  for (int i = 0; i < 4000; ++i) chain += "+1";
  EXPECT_EQ(Value(chain), "4001");
  for (int i = 0; i < 100000; ++i) chain += "+1";
  EXPECT_EQ(Value(chain), too_complex);
}

TEST(ExpressionGrammar, StopsAtTheFirstTokenThatCannotContinue) {
  TExpressionParser tokens("a = 1 AND b <> 2 ORDER BY a");
  tokens.NextToken();
  TExpTokenStack pool;
  TExpToken* root = ParseExpression(tokens, pool, kWherePermissions);
  EXPECT_TRUE(tokens.TokenIsKeyword("ORDER"));
  EXPECT_EQ(root->Code, opAnd);
  EXPECT_EQ(root->Text, "a = 1 AND b <> 2");
  EXPECT_EQ(root->Right->Code, opNotEqual);
  EXPECT_EQ(tokens.ExpressionText(), "a = 1 AND b <> 2");
  EXPECT_TRUE(IsFunctionKeyword("lower"));
  EXPECT_FALSE(IsFunctionKeyword("lowest"));
}

// A sub-select is the statement layer's: the grammar hands it the tokens
// after "IN (" and expects ")" after it.
class TOneValue : public TSubQuery {
 public:
  int ColumnCount() const override { return columns; }
  void ForEachValue(TEvalContext&, const std::function<bool(const TExpValue&)>& visit) override {
    TExpValue value;
    value.SetInt(fldINT32, 5);
    visit(value);
  }
  int columns = 1;
};

class THooks : public TExpressionHooks {
 public:
  std::unique_ptr<TSubQuery> ParseSubSelect(TExpressionParser& tokens) override {
    while (!tokens.IsToken(')') && !tokens.AtEnd()) tokens.NextToken();
    auto query = std::make_unique<TOneValue>();
    query->columns = columns;
    return query;
  }
  void AddParameter(TExpToken& node) override { parameters.push_back(&node); }
  int columns = 1;
  std::vector<TExpToken*> parameters;
};

TEST(ExpressionGrammar, SubSelectsAndParametersGoThroughTheHooks) {
  THooks hooks;
  TExpressionParser tokens(
      "5 IN (SELECT x FROM t) AND ? = 1 AND 6 NOT IN (SELECT y FROM u) AND ? = 2");
  tokens.NextToken();
  TExpTokenStack pool;
  TExpToken* root = ParseExpression(tokens, pool, kWherePermissions, &hooks);
  ASSERT_TRUE(tokens.AtEnd());
  ASSERT_EQ(hooks.parameters.size(), 2u);
  hooks.parameters[0]->Value.SetInt(fldINT32, 1);
  hooks.parameters[1]->Value.SetInt(fldINT32, 2);
  ResolveExpression(*root, TNoSources{}, TResolveOptions{});
  TEvalContext context;
  EXPECT_TRUE(Evaluate(*root, context).IsTrue());
  hooks.parameters[1]->Value.SetInt(fldINT32, 3);
  EXPECT_FALSE(Evaluate(*root, context).IsTrue());

  hooks.columns = 2;
  TExpressionParser two("5 IN (SELECT a, b FROM t)");
  two.NextToken();
  TExpToken* wide = ParseExpression(two, pool, kWherePermissions, &hooks);
  try {
    TResolveOptions options;
    options.Context = "WHERE or JOIN clause";
    ResolveExpression(*wide, TNoSources{}, options);
    FAIL();
  } catch (const EStrataEngineError& error) {
    EXPECT_EQ(error.ContextDetail,
              "More than 1 column for sub-select  specified in WHERE or JOIN clause");
  }
}

}  // namespace
}  // namespace strata
