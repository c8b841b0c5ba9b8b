#include "sql/exec/statement_check.h"

#include <gtest/gtest.h>

#include "sql/exec/test_banner_schema.h"
#include "sql/expr/expression_parser.h"
#include "sql/parse/statement_parser.h"
#include "storage/engine_error.h"

namespace strata {
namespace {

class StatementCheck : public ::testing::Test {
 protected:
  // Parses and checks the one statement of `text`; "" or the SQL message.
  std::string Check(const std::string& text) {
    tokens_.SetText(text);
    statement_.Clear();
    try {
      tokens_.NextToken();
      ParseStatement(tokens_, statement_);
      CheckStatement(statement_, testing::FieldsFrom(schema_));
    } catch (const EStrataEngineError& error) {
      return error.ContextDetail;
    }
    return "";
  }
  const TExpToken& Value(size_t i) const {
    return *statement_.Master().UpdateValues[i].Expression.Root;
  }

  std::vector<testing::TSchemaTable> schema_ = testing::BannerSchema();
  TExpressionParser tokens_;
  TParsedStatement statement_;
};

TEST_F(StatementCheck, TheBannerTextsCheckAgainstTheirTables) {
  for (const char* text : {
           "Select id from \"Visitor.dat\" where (request = 'k') and (LastReq > '2026-12-09  "
           "00:15:00');",
           "update \"visitor.dat\" Set LastReq = 'x', SiteNo = SiteNo + 1, LastKenn = 'top' where "
           "id = 17;",
           "insert into \"visitor.dat\" (LastReq, SiteNo, request, LastKenn) values ('x', 1, 'k', "
           "'top');",
           "Delete from visitor where LastReq < 'x';",
           "Update \"Banner.dat\" B Set B.Blocked = true   from \"Banner.dat\" B,  \"User.dat\" U "
           "where  "
           "(u.ID = B.User) and ((U.Impresskto <1) and (U.Impresskto > -70));",
           "select id from \"Links.dat\" where lower(Link) = 'http://x/';",
           "select * from \"Banner.dat\" where (blocked = False) and (Link <> 3) order by impress;",
           "Update \"User.dat\" Set impresskto = impresskto - 1 where (ID = 2) and (impresskto > "
           "0);",
           "Select BannerID from PageImpress  where (Label = 'top') and ( Visitor = 17);",
           "Select Banner, id, user  from \"Banner.dat\" where ID = 4;",
           "insert into \"Pages.dat\" (time, valid, \"count\", nr, page) values "
           "(\"x\",1,1,'top','p');",
           "Update \"Pages.dat\" Set Time = 'x', \"count\" = \"count\" + 1 where ID = 12;",
           "Select Banner, ID from \"Banner.dat\" where (ID = 4) and (Blocked = false);",
       }) {
    EXPECT_EQ(Check(text), "") << text;
  }
}

TEST_F(StatementCheck, TargetColumnsMustExistInTheirTable) {
  EXPECT_EQ(Check("insert into visitor (Nope) values (1)"),
            "Invalid column name 'Nope' or table correlation name '' specified in table columns");
  EXPECT_EQ(Check("update \"Banner.dat\" B set X.Blocked = true"),
            "Invalid column name 'Blocked' or table correlation name 'X' specified in table "
            "columns");
  EXPECT_EQ(Check("update visitor set \"siteno\" = 2"), "");
}

TEST_F(StatementCheck, ASiteValueNamingAColumnIsThatColumnInSetButTextInValues) {
  EXPECT_EQ(Check("update visitor set LastKenn = 'request' where id = 1"), "");
  EXPECT_EQ(Value(0).Class, ncColumn);
  EXPECT_EQ(Check("insert into visitor (LastKenn) values ('request')"), "");
  EXPECT_EQ(Value(0).Class, ncConstant);
}

TEST_F(StatementCheck, ResolutionMessagesNameThePlace) {
  EXPECT_EQ(Check("select nope from visitor"),
            "Invalid column name 'nope' or table correlation name '' specified in source column "
            "expression");
  EXPECT_EQ(Check("select id from visitor where x.id = 1"),
            "Table correlation name 'x' referenced in WHERE clause is not defined in the FROM "
            "clause");
}

}  // namespace
}  // namespace strata
