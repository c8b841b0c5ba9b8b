#include "bench/sqlite_banner.h"

#include <gtest/gtest.h>

#include <memory>

#include "bench/sqlite_statement.h"
#include "cgi/test_support.h"
#include "tools/banner_art.h"

namespace bench {
namespace {

class SqliteBannerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_path_ = dir_ / "banner.sqlite";
    CreateDatabase(db_path_, 3, 10, "127.0returning");
    notfound_ = gif::Encode(gif::DrawBanner(gif::NotFoundBanner()));
    cgi::testing::WriteFile(dir_ / "Notfound.gif", notfound_);
    if (sqlite3_open(db_path_.c_str(), &db_) != SQLITE_OK) FAIL();
  }
  void TearDown() override { sqlite3_close(db_); }

  // One request: its body.
  std::string Request(std::initializer_list<const char*> fields, const std::string& key = "127.0a",
                      const std::string& referer = "http://site.example/page.html") {
    TBannerRequest request;
    for (const char* field : fields) request.fields.Add(field);
    request.visitor_key = key;
    request.referer = referer;
    TSqliteBanner service(db_path_, dir_ / "Notfound.gif", dir_ / "banner.txt");
    std::string body;
    service.Serve(request, [&](const std::string& sent) { body = sent; });
    return body;
  }
  int64_t Number(const char* sql) {
    TSqliteStatement statement(db_, sql);
    return statement.Step() ? statement.Integer(0) : -1;
  }
  std::string BannerGif(int id) {
    TSqliteStatement statement(db_, "SELECT Banner FROM Banner WHERE ID = ?1;");
    statement.Bind(1, id);
    return statement.Step() ? statement.Blob(0) : std::string();
  }
  std::string Log() { return cgi::testing::ReadFile(dir_ / "banner.txt"); }

  cgi::testing::TempDir dir_;
  std::string db_path_;
  std::string notfound_;
  sqlite3* db_ = nullptr;
};

TEST_F(SqliteBannerTest, FirstAndRepeatedVisitsCountEveryImpression) {
  const std::string first = Request({"Site=top"});
  ASSERT_EQ(first.back(), '\0');
  const int64_t shown = Number("SELECT BannerID FROM PageImpress WHERE Label = 'top';");
  EXPECT_EQ(first, BannerGif(static_cast<int>(shown)) + std::string(1, '\0'));
  EXPECT_EQ(Number("SELECT SiteNo FROM Visitor WHERE request = '127.0a';"), 1);
  EXPECT_EQ(Number("SELECT sum(impress) FROM Banner;"), 1);
  EXPECT_EQ(Number("SELECT sum(1000000000 - Impresskto) FROM \"User\";"), 1);

  EXPECT_EQ(Request({"Site=top"}), first);  // the same banner for the visit and label
  EXPECT_EQ(Number("SELECT SiteNo FROM Visitor WHERE request = '127.0a';"), 2);
  EXPECT_EQ(Number("SELECT impress FROM Banner WHERE impress > 0;"), 2);
  EXPECT_EQ(Number("SELECT \"count\" FROM Pages WHERE Nr = 'top';"), 2);
  EXPECT_EQ(Number("SELECT valid FROM Pages WHERE Nr = 'top';"), 2);
  // Another label of the same page counts in a row of its own.
  Request({"Site=Side"});
  EXPECT_EQ(Number("SELECT count(*) FROM Pages;"), 2);
  EXPECT_EQ(Number("SELECT count(*) FROM PageImpress WHERE Label = 'Side';"), 1);
}

TEST_F(SqliteBannerTest, ExhaustedCreditBlocksAtTheNextRequest) {
  ExecSql(db_, "DELETE FROM Banner WHERE ID > 1; UPDATE \"User\" SET Impresskto = 1 WHERE ID = 1;");
  const std::string banner = BannerGif(1) + std::string(1, '\0');
  EXPECT_EQ(Request({"Site=top"}), banner);  // the last paid impression is served
  EXPECT_EQ(Number("SELECT Impresskto FROM \"User\" WHERE ID = 1;"), 0);
  EXPECT_EQ(Number("SELECT Blocked FROM Banner WHERE ID = 1;"), 0);
  // The next request's sweep blocks it; the visit keeps its banner on "top".
  EXPECT_EQ(Request({"Site=other"}, "127.0b"), notfound_ + std::string(1, '\0'));
  EXPECT_EQ(Number("SELECT Blocked FROM Banner WHERE ID = 1;"), 1);
  EXPECT_EQ(Number("SELECT BannerID FROM PageImpress WHERE Label = 'other';"), 0);
  EXPECT_EQ(Request({"Site=other"}, "127.0b"), notfound_ + std::string(1, '\0'));
  EXPECT_EQ(Request({"Site=top"}), banner);
  EXPECT_EQ(Number("SELECT Impresskto FROM \"User\" WHERE ID = 1;"), 0);  // never below 0

  // -70 and below: never blocked, never debited. -5 from outside: blocked.
  ExecSql(db_, "UPDATE Banner SET Blocked = 0; UPDATE \"User\" SET Impresskto = -70 WHERE ID = 1;");
  EXPECT_EQ(Request({"Site=x"}, "127.0c"), banner);
  EXPECT_EQ(Request({"Site=y"}, "127.0c"), banner);
  EXPECT_EQ(Number("SELECT Impresskto FROM \"User\" WHERE ID = 1;"), -70);
  ExecSql(db_, "UPDATE \"User\" SET Impresskto = -5 WHERE ID = 1;");
  EXPECT_EQ(Request({"Site=z"}, "127.0c"), notfound_ + std::string(1, '\0'));
  EXPECT_EQ(Number("SELECT Blocked FROM Banner WHERE ID = 1;"), 1);
}

TEST_F(SqliteBannerTest, TheReferersOwnBannerIsNeverChosen) {
  ExecSql(db_, "DELETE FROM Banner WHERE ID > 1;");
  EXPECT_EQ(Request({"Site=top"}, "127.0a", "http://advertiser1.example/"),
            notfound_ + std::string(1, '\0'));
  EXPECT_EQ(Request({"Site=top"}, "127.0b", "http://elsewhere.example/"),
            BannerGif(1) + std::string(1, '\0'));
}

TEST_F(SqliteBannerTest, BannerByIndex) {
  ExecSql(db_, "UPDATE Banner SET Blocked = 1 WHERE ID = 2;");
  EXPECT_EQ(Request({"Index=1"}), BannerGif(1) + std::string(1, '\0'));
  EXPECT_EQ(Request({"Index=2"}), notfound_ + std::string(1, '\0'));
  EXPECT_EQ(Request({"Index=2", "nocount="}), BannerGif(2) + std::string(1, '\0'));
  EXPECT_EQ(Request({"Index=99"}), notfound_ + std::string(1, '\0'));
  EXPECT_EQ(Number("SELECT sum(impress) FROM Banner;"), 0);  // nothing counted
  EXPECT_EQ(Request({"Index=1 or 1=1"}), std::string(1, '\0'));
  EXPECT_NE(Log().find(" - Itemindex  "), std::string::npos);
  EXPECT_EQ(Request({"SessionID=5", "Index=1"}), std::string(1, '\0'));
}

TEST_F(SqliteBannerTest, IdleVisitsArePurgedButNotByNotFoundAnswers) {
  ExecSql(db_, "UPDATE Visitor SET LastReq = '2000-01-01  00:00:00' WHERE id = 1;");
  EXPECT_EQ(Request({}), notfound_ + std::string(1, '\0'));
  EXPECT_EQ(Number("SELECT count(*) FROM Visitor WHERE id = 1;"), 1);
  Request({"Site=top"});
  EXPECT_EQ(Number("SELECT count(*) FROM Visitor WHERE id = 1;"), 0);
  EXPECT_EQ(Number("SELECT count(*) FROM Visitor;"), 10);  // 8 loaded, returning, 127.0a
}

TEST_F(SqliteBannerTest, QuotesAreValuesNotStatements) {
  Request({"Site=x') or (1=1"}, "127.0o'brien");
  EXPECT_EQ(Number("SELECT count(*) FROM PageImpress WHERE Label = 'x'') or (1=1';"), 1);
  EXPECT_EQ(Number("SELECT count(*) FROM Visitor WHERE request = '127.0o''brien';"), 1);
}

}  // namespace
}  // namespace bench
