#include "app/statement_texts.h"

#include <gtest/gtest.h>

namespace banner {
namespace {

const std::string kNow = "2026-12-08  04:03:24";
const std::string kPast2 = "2026-12-08  04:01:24";
const std::string kPast90 = "2026-12-08  02:33:24";

TEST(StatementTextsTest, VisitorTracking) {
  EXPECT_EQ(VisitorLookupText("127.0mozilla/5.0", kPast90),
            "Select id from \"Visitor.dat\" where (request = '127.0mozilla/5.0') and "
            "(LastReq > '2026-12-08  02:33:24');");
  EXPECT_EQ(VisitorUpdateText(kNow, "top", 17),
            "update \"visitor.dat\" Set LastReq = '2026-12-08  04:03:24', SiteNo = SiteNo + 1, "
            "LastKenn = 'top' where id = 17;");
  EXPECT_EQ(VisitorInsertText(kNow, "127.0curl/8.0", ""),
            "insert into \"visitor.dat\" (LastReq, SiteNo, request, LastKenn) values "
            "('2026-12-08  04:03:24', 1, '127.0curl/8.0', '');");
  EXPECT_EQ(VisitorRereadText("127.0curl/8.0", kPast2),
            "Select id from \"Visitor.dat\" where (request = '127.0curl/8.0') and "
            "(LastReq > '2026-12-08  04:01:24');");
  EXPECT_EQ(VisitorPurgeText(kPast90),
            "Delete from visitor where LastReq < '2026-12-08  02:33:24';");
}

TEST(StatementTextsTest, BannerChoiceAndAccounting) {
  EXPECT_EQ(BlockingSweepText(),
            "Update \"Banner.dat\" B Set B.Blocked = true   from \"Banner.dat\" B,  \"User.dat\" U "
            "where  (u.ID = B.User) and ((U.Impresskto <1) and (U.Impresskto > -70));");
  EXPECT_EQ(LinkLookupText("http://example.org/"),
            "select id from \"Links.dat\" where lower(Link) = 'http://example.org/';");
  EXPECT_EQ(
      CandidateQueryText(0),
      "select * from \"Banner.dat\" where (blocked = False) and (Link <> 0) order by impress;");
  EXPECT_EQ(
      CandidateQueryText(-3),
      "select * from \"Banner.dat\" where (blocked = False) and (Link <> -3) order by impress;");
  EXPECT_EQ(ImpressionCountText(4),
            "Update \"Banner.dat\" Set impress = impress + 1 where ID = 4;");
  EXPECT_EQ(
      CreditDebitText(2),
      "Update \"User.dat\" Set impresskto = impresskto - 1 where (ID = 2) and (impresskto > 0);");
}

TEST(StatementTextsTest, PageImpressionsAndStatistics) {
  EXPECT_EQ(PageImpressionLookupText("Top", 5),
            "Select BannerID from PageImpress  where (Label = 'Top') and ( Visitor = 5);");
  EXPECT_EQ(BannerFetchText(3), "Select Banner, id, user  from \"Banner.dat\" where ID = 3;");
  EXPECT_EQ(PageImpressionTouchText(kNow, "Top", 5),
            "update PAgeImpress set Time = '2026-12-08  04:03:24' where (Label = 'Top') and "
            "( Visitor = 5);");
  EXPECT_EQ(PageImpressionInsertText(5, "Top", kNow, 0),
            "insert into \"PageImpress.dat\" (Visitor, Label, Time, BannerID) values "
            "(5,'Top','2026-12-08  04:03:24', 0);");
  EXPECT_EQ(PageImpressionResetText("Top", 5),
            "update PAgeImpress set BannerID = 0 where (Label = 'Top') and ( Visitor = 5);");
  EXPECT_EQ(PageLookupText("http://a.example/", "top"),
            "Select ID from \"Pages.dat\"  where (Lower(Page) = 'http://a.example/') and "
            "(Nr = 'top') ;");
  EXPECT_EQ(PageInsertText(kNow, "top", "http://a.example/"),
            "insert into \"Pages.dat\" (time, valid, \"count\", nr, page) values "
            "(\"2026-12-08  04:03:24\",1,1,'top','http://a.example/');");
  EXPECT_EQ(PageUpdateLine1("12", kPast90),
            "Update \"Pages.dat\" Set valid = valid + 1 where (ID = 12) and "
            "(Time > '2026-12-08  02:33:24');");
  EXPECT_EQ(PageUpdateLine2(kNow, "12"),
            "Update \"Pages.dat\" Set Time = '2026-12-08  04:03:24', \"count\" = \"count\" + 1 "
            "where ID = 12;");
}

TEST(StatementTextsTest, BannerByIndex) {
  EXPECT_EQ(BannerByIndexText("7"),
            "Select Banner, ID from \"Banner.dat\" where (ID = 7) and (Blocked = false);");
  EXPECT_EQ(BannerByIndexAnyStateText("7"),
            "Select Banner, ID from \"Banner.dat\" where (ID = 7);");
}

TEST(StatementTextsTest, QuotesInValuesStayInsideTheirLiteral) {
  EXPECT_EQ(QuoteDoubled("it's"), "it''s");
  EXPECT_EQ(QuoteDoubled("''"), "''''");
  EXPECT_EQ(QuoteDoubled("a\"b"), "a\"b");
  // A site value that tries to close its literal and add a condition.
  EXPECT_EQ(PageImpressionLookupText("x') or (1=1", 5),
            "Select BannerID from PageImpress  where (Label = 'x'') or (1=1') and ( Visitor = 5);");
  EXPECT_EQ(VisitorInsertText(kNow, "10.1o'brien", "a'); delete from visitor; --"),
            "insert into \"visitor.dat\" (LastReq, SiteNo, request, LastKenn) values "
            "('2026-12-08  04:03:24', 1, '10.1o''brien', 'a''); delete from visitor; --');");
  EXPECT_EQ(LinkLookupText("http://x/'"),
            "select id from \"Links.dat\" where lower(Link) = 'http://x/''';");
  EXPECT_EQ(PageInsertText(kNow, "'", "'"),
            "insert into \"Pages.dat\" (time, valid, \"count\", nr, page) values "
            "(\"2026-12-08  04:03:24\",1,1,'''','''');");
}

TEST(StatementTextsTest, IndexValuesAreDecimalIntegersOnly) {
  for (const char* good : {"0", "7", "007", "-1", "2147483647", "-2147483648"}) {
    EXPECT_TRUE(IsIndexValue(good)) << good;
  }
  for (const char* bad : {"", "-", "+5", " 5", "5 ", "1e3", "0x10", "5;", "1 or 1=1", "5)",
                          "2147483648", "-2147483649", "99999999999", "１"}) {
    EXPECT_FALSE(IsIndexValue(bad)) << bad;
  }
}

}  // namespace
}  // namespace banner
