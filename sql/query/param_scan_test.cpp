#include "sql/query/param_scan.h"

#include <gtest/gtest.h>

namespace strata {
namespace {

std::vector<std::string> Names(const TParamScan& scan) {
  std::vector<std::string> names;
  for (const TQueryParam& param : scan.Params) names.push_back(param.Name);
  return names;
}

TEST(ParamScan, ColonsInsideQuotesAndDoubledColonsAreNoParameters) {
  const TParamScan scan = ScanParameters(
      "SELECT * FROM t WHERE at < '2024-01-01  10:20:30' AND r = \"http://x\" AND c = 1::2", {});
  EXPECT_EQ(scan.Text,
            "SELECT * FROM t WHERE at < '2024-01-01  10:20:30' AND r = \"http://x\" AND c = 1:2");
  EXPECT_TRUE(scan.Params.empty());
}

TEST(ParamScan, NamesEndAtTheSeparatorsAndBecomeQuestionMarks) {
  const TParamScan scan = ScanParameters(
      "INSERT INTO t VALUES (:a,:b);\r\nUPDATE t SET x=:c\r\n"
      "WHERE y = :d AND z=(:e)",
      {});
  EXPECT_EQ(scan.Text, "INSERT INTO t VALUES (?,?);\r\nUPDATE t SET x=?\r\nWHERE y = ? AND z=(?)");
  EXPECT_EQ(Names(scan), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
}

// The text is copied in runs between parameters: runs at either end and
// parameters next to each other keep every letter in its place.
TEST(ParamScan, TextAtBothEndsAndBetweenAdjacentParametersIsKept) {
  EXPECT_EQ(ScanParameters("", {}).Text, "");
  EXPECT_EQ(ScanParameters("::", {}).Text, ":");
  const TParamScan scan = ScanParameters(":a,:b::c:d", {});
  EXPECT_EQ(scan.Text, "?,?");
  EXPECT_EQ(Names(scan), (std::vector<std::string>{"a", "b::c:d"}));
  const TParamScan tail = ScanParameters(":a :b x::", {});
  EXPECT_EQ(tail.Text, "? ? x:");
  EXPECT_EQ(Names(tail), (std::vector<std::string>{"a", "b"}));
}

TEST(ParamScan, AnyQuoteSwitchesTheStateAndQuotedNamesLoseTheirQuotes) {
  // The double quote ends the state the single quote began.
  EXPECT_EQ(ScanParameters("x = 'a\" :p", {}).Text, "x = 'a\" ?");
  const TParamScan quoted = ScanParameters("x = :\"my name\" AND y = 1", {});
  EXPECT_EQ(quoted.Text, "x = ? AND y = 1");
  EXPECT_EQ(Names(quoted), (std::vector<std::string>{"my name"}));
}

TEST(ParamScan, ValuesCarryOverByNameIgnoringCase) {
  const std::vector<TQueryParam> previous = {{"Id", "5"}, {"gone", "x"}, {"unset", std::nullopt}};
  const TParamScan scan = ScanParameters("WHERE id = :ID AND n = :new AND u = :unset", previous);
  ASSERT_EQ(scan.Params.size(), 3u);
  EXPECT_EQ(scan.Params[0].Value, "5");
  EXPECT_EQ(scan.Params[1].Value, std::nullopt);
  EXPECT_EQ(scan.Params[2].Value, std::nullopt);
}

}  // namespace
}  // namespace strata
