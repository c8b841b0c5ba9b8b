// Parse-and-check of the banner service's statement texts beside SQLite's
// sqlite3_prepare_v2 of the same statements, in one run. Ours: tokenize,
// parse, resolve and type every expression against the six banner tables
// (the tokenizer and the parsed statement are reused from statement to
// statement, as one query component reuses them within a request). SQLite:
// prepare (parse, resolve against its schema, compile) and finalize, on an
// in-memory database holding the same tables. Prints microseconds per
// statement for each text and overall, and the ratio ours / SQLite.
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "sql/exec/statement_check.h"
#include "sql/exec/test_banner_schema.h"
#include "sql/expr/expression_parser.h"
#include "sql/parse/statement_parser.h"

namespace {

struct TText {
  const char* Name;
  const char* Ours;    // exactly as the banner service builds it
  const char* Sqlite;  // the same statement in SQLite's dialect
};

// clang-format off
const TText kTexts[] = {
    {"visitor lookup",
     "Select id from \"Visitor.dat\" where (request = '192.168mozilla/5.0 (x11; linux x86_64)') and (LastReq > '2026-12-09  00:15:00');",
     "Select id from Visitor where (request = '192.168mozilla/5.0 (x11; linux x86_64)') and (LastReq > '2026-12-09  00:15:00');"},
    {"visitor update",
     "update \"visitor.dat\" Set LastReq = '2026-12-09  01:45:00', SiteNo = SiteNo + 1, LastKenn = 'top' where id = 17;",
     "update Visitor Set LastReq = '2026-12-09  01:45:00', SiteNo = SiteNo + 1, LastKenn = 'top' where id = 17;"},
    {"visitor insert",
     "insert into \"visitor.dat\" (LastReq, SiteNo, request, LastKenn) values ('2026-12-09  01:45:00', 1, '192.168mozilla/5.0', 'top');",
     "insert into Visitor (LastReq, SiteNo, request, LastKenn) values ('2026-12-09  01:45:00', 1, '192.168mozilla/5.0', 'top');"},
    {"visitor purge",
     "Delete from visitor where LastReq < '2026-12-09  00:15:00';",
     "Delete from Visitor where LastReq < '2026-12-09  00:15:00';"},
    {"blocking sweep",
     "Update \"Banner.dat\" B Set B.Blocked = true   from \"Banner.dat\" B,  \"User.dat\" U where  (u.ID = B.User) and ((U.Impresskto <1) and (U.Impresskto > -70));",
     "Update Banner AS B Set Blocked = true from User U where (U.ID = B.User) and ((U.Impresskto <1) and (U.Impresskto > -70));"},
    {"link lookup",
     "select id from \"Links.dat\" where lower(Link) = 'http://www.example.com/page.html';",
     "select id from Links where lower(Link) = 'http://www.example.com/page.html';"},
    {"candidate query",
     "select * from \"Banner.dat\" where (blocked = False) and (Link <> 3) order by impress;",
     "select * from Banner where (blocked = False) and (Link <> 3) order by impress;"},
    {"impression count",
     "Update \"Banner.dat\" Set impress = impress + 1 where ID = 4;",
     "Update Banner Set impress = impress + 1 where ID = 4;"},
    {"credit debit",
     "Update \"User.dat\" Set impresskto = impresskto - 1 where (ID = 2) and (impresskto > 0);",
     "Update User Set impresskto = impresskto - 1 where (ID = 2) and (impresskto > 0);"},
    {"page-impression lookup",
     "Select BannerID from PageImpress  where (Label = 'top') and ( Visitor = 17);",
     "Select BannerID from PageImpress  where (Label = 'top') and ( Visitor = 17);"},
    {"banner fetch",
     "Select Banner, id, user  from \"Banner.dat\" where ID = 4;",
     "Select Banner, id, user  from Banner where ID = 4;"},
    {"page-impression touch",
     "update PAgeImpress set Time = '2026-12-09  01:45:00' where (Label = 'top') and ( Visitor = 17);",
     "update PAgeImpress set Time = '2026-12-09  01:45:00' where (Label = 'top') and ( Visitor = 17);"},
    {"page-impression insert",
     "insert into \"PageImpress.dat\" (Visitor, Label, Time, BannerID) values (17,'top','2026-12-09  01:45:00', 4);",
     "insert into PageImpress (Visitor, Label, Time, BannerID) values (17,'top','2026-12-09  01:45:00', 4);"},
    {"page lookup",
     "Select ID from \"Pages.dat\"  where (Lower(Page) = 'http://www.example.com/page.html') and (Nr = 'top') ;",
     "Select ID from Pages  where (Lower(Page) = 'http://www.example.com/page.html') and (Nr = 'top') ;"},
    {"page insert",
     "insert into \"Pages.dat\" (time, valid, \"count\", nr, page) values (\"2026-12-09  01:45:00\",1,1,'top','http://www.example.com/page.html');",
     "insert into Pages (time, valid, \"count\", nr, page) values ('2026-12-09  01:45:00',1,1,'top','http://www.example.com/page.html');"},
    {"page update, line 2",
     "Update \"Pages.dat\" Set Time = '2026-12-09  01:45:00', \"count\" = \"count\" + 1 where ID = 12;",
     "Update Pages Set Time = '2026-12-09  01:45:00', \"count\" = \"count\" + 1 where ID = 12;"},
    {"banner by index",
     "Select Banner, ID from \"Banner.dat\" where (ID = 4) and (Blocked = false);",
     "Select Banner, ID from Banner where (ID = 4) and (Blocked = false);"},
};
// clang-format on

const char kSqliteSchema[] =
    "CREATE TABLE Banner (ID INTEGER, Banner BLOB, Link INTEGER, User INTEGER, Blocked BOOLEAN, "
    "impress INTEGER);"
    "CREATE TABLE User (ID INTEGER, Impresskto INTEGER);"
    "CREATE TABLE Visitor (id INTEGER PRIMARY KEY, request TEXT, LastReq TEXT, SiteNo INTEGER, "
    "LastKenn TEXT);"
    "CREATE TABLE PageImpress (Visitor INTEGER, Label TEXT, Time TEXT, BannerID INTEGER);"
    "CREATE TABLE Links (id INTEGER, Link TEXT);"
    "CREATE TABLE Pages (ID INTEGER PRIMARY KEY, Page TEXT, Nr TEXT, Time TEXT, valid INTEGER, "
    "\"count\" INTEGER);";

using Clock = std::chrono::steady_clock;

template <typename F>
double MicrosPerRun(int runs, F&& run) {
  const auto start = Clock::now();
  for (int i = 0; i < runs; ++i) run();
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / runs;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 20000;
  using namespace strata;
  const std::vector<testing::TSchemaTable> schema = testing::BannerSchema();
  const TFieldsOfSource fields_of = testing::FieldsFrom(schema);
  TExpressionParser tokens;
  TParsedStatement statement;

  sqlite3* db = nullptr;
  if (sqlite3_open(":memory:", &db) != SQLITE_OK ||
      sqlite3_exec(db, kSqliteSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "SQLite schema: %s\n", sqlite3_errmsg(db));
    return 1;
  }

  std::printf("parse-and-check per statement, %d runs each (microseconds)\n", runs);
  std::printf("%-24s %10s %10s %7s\n", "statement", "ours", "SQLite", "ratio");
  double ours_total = 0;
  double peer_total = 0;
  for (const TText& text : kTexts) {
    const std::string ours_text = text.Ours;
    const double ours = MicrosPerRun(runs, [&] {
      tokens.SetText(ours_text);
      tokens.NextToken();
      statement.Clear();
      ParseStatement(tokens, statement);
      CheckStatement(statement, fields_of);
    });
    const double peer = MicrosPerRun(runs, [&] {
      sqlite3_stmt* prepared = nullptr;
      if (sqlite3_prepare_v2(db, text.Sqlite, -1, &prepared, nullptr) != SQLITE_OK) {
        throw std::runtime_error(std::string(text.Name) + ": " + sqlite3_errmsg(db));
      }
      sqlite3_finalize(prepared);
    });
    ours_total += ours;
    peer_total += peer;
    std::printf("%-24s %10.2f %10.2f %7.2f\n", text.Name, ours, peer, ours / peer);
  }
  const double count = static_cast<double>(std::size(kTexts));
  std::printf("%-24s %10.2f %10.2f %7.2f\n", "mean", ours_total / count, peer_total / count,
              ours_total / peer_total);
  sqlite3_close(db);
  return 0;
}
