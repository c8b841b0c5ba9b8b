// Splitting SQL texts into statements, as `strata sql` runs them.
#include "tools/sql_shell.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "storage/engine_error.h"

namespace strata_tool {
namespace {

std::vector<std::string> Split(const std::string& text) {
  TStatementTexts statements(text);
  std::vector<std::string> out;
  while (auto statement = statements.Next()) out.push_back(*statement);
  return out;
}

TEST(StatementTexts, EachStatementRunsUpToAndWithItsSemicolon) {
  EXPECT_EQ(Split("update t set a = 1;\r\nupdate t set b = ';' where c = 2;"),
            (std::vector<std::string>{"update t set a = 1;", "update t set b = ';' where c = 2;"}));
  // The last statement may end with the text; comments and blanks between
  // statements belong to none.
  EXPECT_EQ(Split("/* first */ select a from t; /* then */\n  delete from t  "),
            (std::vector<std::string>{"select a from t;", "delete from t"}));
  EXPECT_TRUE(Split("  /* nothing */ \n").empty());
}

TEST(StatementTexts, ALaterSyntaxErrorComesOnlyWhenThatStatementIsReached) {
  TStatementTexts statements("select a from t; select a from t x y; select b from t;");
  EXPECT_EQ(statements.Next(), "select a from t;");
  try {
    statements.Next();
    FAIL() << "the second statement is not SQL";
  } catch (const strata::EStrataEngineError& e) {
    EXPECT_EQ(e.Code, strata::STRATA_SQLPARSE);
    EXPECT_STREQ(e.what(),
                 "Strata Engine Error # 11949 SQL error - End of SELECT statement expected, "
                 "instead found 'y'");
  }
}

TEST(StatementTexts, AConsoleLineEndsAStatementOnlyWithASemicolonOutsideQuotes) {
  EXPECT_TRUE(EndsWithStatement("select * from t;"));
  EXPECT_TRUE(EndsWithStatement("select *\nfrom t ;  \n"));
  EXPECT_FALSE(EndsWithStatement("select * from t"));
  EXPECT_FALSE(EndsWithStatement("select * from t where a = 'x;"));
  EXPECT_FALSE(EndsWithStatement("select * from t /* ; */"));
  EXPECT_FALSE(EndsWithStatement("select * from t; /* open"));
  EXPECT_FALSE(EndsWithStatement(""));
}

// The texts scripts/load-sample feeds to strata sql: every statement parses,
// table by table and index by index.
TEST(StatementTexts, TheBannerSchemaAndSampleParse) {
  auto read = [](const char* name) {
    std::ifstream in(std::string(BANNER_SOURCE_DIR) + "/app/" + name);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  std::vector<std::string> schema = Split(read("schema.sql"));
  int tables = 0;
  int indexes = 0;
  for (const std::string& statement : schema) {
    tables += statement.starts_with("CREATE TABLE IF NOT EXISTS");
    indexes += statement.starts_with("CREATE INDEX IF NOT EXISTS") ||
               statement.starts_with("CREATE NOCASE INDEX IF NOT EXISTS");
  }
  EXPECT_EQ(tables, 6);
  EXPECT_EQ(indexes + tables, static_cast<int>(schema.size()));
  EXPECT_EQ(Split(read("sample.sql")).size(), 8u);
}

}  // namespace
}  // namespace strata_tool
