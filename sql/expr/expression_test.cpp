// Runs the expression scripts of testdata/: each line "expression => result"
// is parsed at the current place ("@place where" and so on), resolved
// against the one-row Items table and evaluated; the result is printed as
// "type value", "NULL" or "! message" and must match exactly.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "sql/expr/test_expression_table.h"

namespace strata::testing {
namespace {

std::string Trim(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.pop_back();
  size_t start = 0;
  while (start < text.size() && text[start] == ' ') ++start;
  return text.substr(start);
}

void RunScript(const std::string& name) {
  const std::string path = std::string(BANNER_SQL_EXPR_TESTDATA) + "/" + name;
  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  TExpressionTable table;
  TPlace place = PlaceNamed("where");
  std::string line;
  int number = 0;
  int cases = 0;
  while (std::getline(in, line)) {
    ++number;
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    if (line.rfind("@place ", 0) == 0) {
      place = PlaceNamed(Trim(line.substr(7)));
      continue;
    }
    const size_t arrow = line.rfind(" => ");
    ASSERT_NE(arrow, std::string::npos) << name << ":" << number << ": no ' => '";
    const std::string text = Trim(line.substr(0, arrow));
    const std::string expected = Trim(line.substr(arrow + 4));
    EXPECT_EQ(table.Run(text, place), expected)
        << name << ":" << number << " [" << place.Name << "] " << text;
    ++cases;
  }
  EXPECT_GT(cases, 0);
}

TEST(ExpressionScripts, Operators) { RunScript("operators.test"); }
TEST(ExpressionScripts, NullRules) { RunScript("null_rules.test"); }
TEST(ExpressionScripts, Types) { RunScript("types.test"); }
TEST(ExpressionScripts, Functions) { RunScript("functions.test"); }
TEST(ExpressionScripts, ParseErrors) { RunScript("parse_errors.test"); }
TEST(ExpressionScripts, Columns) { RunScript("columns.test"); }

}  // namespace
}  // namespace strata::testing
