#include "bench/statement_sqlite.h"

#include <filesystem>

namespace bench {
namespace {

constexpr const char* kSchema = R"SQL(
PRAGMA journal_mode = WAL;
PRAGMA synchronous = NORMAL;
CREATE TABLE Banner(ID INTEGER PRIMARY KEY, Banner BLOB, Link INTEGER, "User" INTEGER,
                    Blocked BOOLEAN NOT NULL DEFAULT 0, impress INTEGER NOT NULL DEFAULT 0);
CREATE INDEX BannerUser ON Banner("User");
CREATE INDEX BannerBlocked ON Banner(Blocked);
CREATE INDEX BannerLink ON Banner(Link);
CREATE TABLE "User"(ID INTEGER PRIMARY KEY, Name TEXT, Impresskto INTEGER NOT NULL DEFAULT 0);
CREATE INDEX UserCredit ON "User"(Impresskto);
CREATE TABLE Visitor(id INTEGER PRIMARY KEY AUTOINCREMENT, request TEXT, LastReq TEXT,
                     SiteNo INTEGER, LastKenn TEXT);
CREATE INDEX VisitorRequest ON Visitor(request);
CREATE INDEX VisitorLastReq ON Visitor(LastReq);
CREATE TABLE PageImpress(Visitor INTEGER, Label TEXT, Time TEXT, BannerID INTEGER);
CREATE INDEX PageImpressVisitor ON PageImpress(Visitor);
CREATE TABLE Links(id INTEGER PRIMARY KEY, Link TEXT);
CREATE TABLE Pages(ID INTEGER PRIMARY KEY AUTOINCREMENT, Page TEXT, Nr TEXT, Time TEXT,
                   valid INTEGER, "count" INTEGER);
CREATE INDEX PagesNr ON Pages(Nr);
)SQL";

// clang-format off
const std::map<TStatementCase, const char*> kTexts = {
    {TStatementCase::kVisitorLookup, "Select id from Visitor where (request = ?1) and (LastReq > ?2)"},
    {TStatementCase::kVisitorUpdate, "update Visitor Set LastReq = ?1, SiteNo = SiteNo + 1, LastKenn = ?2 where id = ?3"},
    {TStatementCase::kVisitorInsert, "insert into Visitor (LastReq, SiteNo, request, LastKenn) values (?1, 1, ?2, ?3)"},
    {TStatementCase::kVisitorReread, "Select id from Visitor where (request = lower(?1)) and (LastReq > ?2)"},
    {TStatementCase::kPageImpressionLookup, "Select BannerID from PageImpress where (Label = ?1) and (Visitor = ?2)"},
    {TStatementCase::kPageImpressionTouch, "update PageImpress set Time = ?1 where (Label = ?2) and (Visitor = ?3)"},
    {TStatementCase::kPageImpressionInsert, "insert into PageImpress (Visitor, Label, Time, BannerID) values (?1, ?2, ?3, ?4)"},
    {TStatementCase::kPageLookup, "Select ID from Pages where (lower(Page) = ?1) and (Nr = ?2)"},
    // The pair's two statements run in one call of Run, as one text of ours.
    {TStatementCase::kPageUpdatePair, "Update Pages Set valid = valid + 1 where (ID = ?1) and (Time > ?2)"},
    {TStatementCase::kBlockingSweep, "Update Banner AS B Set Blocked = 1 from \"User\" U where (U.ID = B.\"User\") and ((U.Impresskto < 1) and (U.Impresskto > -70))"},
    {TStatementCase::kCandidateQuery, "select * from Banner where (Blocked = 0) and (Link <> ?1) order by impress"},
    {TStatementCase::kImpressionCount, "Update Banner Set impress = impress + 1 where ID = ?1"},
    {TStatementCase::kCreditDebit, "Update \"User\" Set Impresskto = Impresskto - 1 where (ID = ?1) and (Impresskto > 0)"},
};
constexpr const char* kPageUpdateLine2 = "Update Pages Set Time = ?1, \"count\" = \"count\" + 1 where ID = ?2";
// clang-format on

const std::string kNowText(kNow);
const std::string kPast90Text(kPast90);
const std::string kPast2Text(kPast2);

}  // namespace

TSqliteStatements::TSqliteStatements(const std::string& path, const TStatementWorkload& work)
    : work_(work) {
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
  const int rc = sqlite3_open(path.c_str(), &db_);
  if (rc != SQLITE_OK) throw ESqliteError(db_, rc, "open " + path);
  ExecSql(db_, kSchema);
  Fill();
  for (const auto& [statement, text] : kTexts)
    prepared_[statement] = std::make_unique<TSqliteStatement>(db_, text);
  line2_ = std::make_unique<TSqliteStatement>(db_, kPageUpdateLine2);
}

TSqliteStatements::~TSqliteStatements() {
  prepared_.clear();
  line2_.reset();
  sqlite3_close(db_);
}

void TSqliteStatements::Fill() {
  const TStatementWorkload& w = work_;
  ExecSql(db_, "BEGIN");
  {
    TSqliteStatement user(db_,
                          "insert into \"User\" (ID, Name, Impresskto) values (?1, ?2, 100000000)");
    for (int row = 1; row <= kUsers; ++row)
      user.Reset().Bind(1, row).Bind(2, "Advertiser " + std::to_string(row)).Run();
    TSqliteStatement link(db_, "insert into Links (id, Link) values (?1, ?2)");
    TSqliteStatement banner(db_,
                            "insert into Banner (ID, Banner, Link, \"User\", Blocked, impress) "
                            "values (?1, ?2, ?3, ?4, 0, 0)");
    for (int row = 1; row <= kBanners; ++row) {
      link.Reset().Bind(1, row).Bind(2, TStatementWorkload::LinkAddress(row)).Run();
      banner.Reset()
          .Bind(1, row)
          .BindBlob(2, TStatementWorkload::BannerGif(row))
          .Bind(3, TStatementWorkload::BannerLink(row))
          .Bind(4, TStatementWorkload::BannerOwner(row))
          .Run();
    }
    TSqliteStatement visitor(
        db_, "insert into Visitor (request, LastReq, SiteNo, LastKenn) values (?1, ?2, 1, ?3)");
    TSqliteStatement impression(
        db_, "insert into PageImpress (Visitor, Label, Time, BannerID) values (?1, ?2, ?3, ?4)");
    TSqliteStatement page(
        db_, "insert into Pages (Page, Nr, Time, valid, \"count\") values (?1, ?2, ?3, 1, 1)");
    for (int row = 1; row <= w.Visitors; ++row) {
      const std::string label = TStatementWorkload::Label(row);
      visitor.Reset().Bind(1, w.VisitorKey(row)).Bind(2, w.VisitorTime(row)).Bind(3, label).Run();
      impression.Reset()
          .Bind(1, row)
          .Bind(2, label)
          .Bind(3, w.VisitorTime(row))
          .Bind(4, TStatementWorkload::Banner(row))
          .Run();
      page.Reset().Bind(1, w.PageAddress(row)).Bind(2, label).Bind(3, w.VisitorTime(row)).Run();
    }
  }
  ExecSql(db_, "COMMIT");
  ExecSql(db_, "ANALYZE");
}

int64_t TSqliteStatements::Rows(TSqliteStatement& statement, bool keep_last) {
  int64_t rows = 0;
  while (statement.Step()) {
    if (rows == 0 || keep_last) last_value_ = statement.Integer(0);
    ++rows;
  }
  return rows;
}

int64_t TSqliteStatements::Changes(TSqliteStatement& statement) {
  statement.Run();
  return sqlite3_changes(db_);
}

int64_t TSqliteStatements::Run(TStatementCase which, int i) {
  const TStatementWorkload& w = work_;
  const int visitor = w.ExistingVisitor(i);
  const int page = w.ExistingPage(i);
  TSqliteStatement& s = Statement(which).Reset();
  switch (which) {
    case TStatementCase::kVisitorLookup:
      return Rows(s.Bind(1, w.VisitorKey(visitor)).Bind(2, kPast90Text));
    case TStatementCase::kVisitorUpdate:
      return Changes(s.Bind(1, kNowText).Bind(2, std::string("top")).Bind(3, visitor));
    case TStatementCase::kVisitorInsert:
      return Changes(s.Bind(1, kNowText).Bind(2, w.NewVisitorKey(i)).Bind(3, std::string("top")));
    case TStatementCase::kVisitorReread:
      return Rows(s.Bind(1, w.NewVisitorKey(i)).Bind(2, kPast2Text), /*keep_last=*/true);
    case TStatementCase::kPageImpressionLookup:
      return Rows(s.Bind(1, TStatementWorkload::Label(visitor)).Bind(2, visitor));
    case TStatementCase::kPageImpressionTouch:
      return Changes(
          s.Bind(1, kNowText).Bind(2, TStatementWorkload::Label(visitor)).Bind(3, visitor));
    case TStatementCase::kPageImpressionInsert:
      return Changes(s.Bind(1, w.NewVisitor(i))
                         .Bind(2, std::string("top"))
                         .Bind(3, kNowText)
                         .Bind(4, TStatementWorkload::Banner(i)));
    case TStatementCase::kPageLookup:
      return Rows(s.Bind(1, w.PageAddress(page)).Bind(2, TStatementWorkload::Label(page)));
    case TStatementCase::kPageUpdatePair: {
      const int64_t first = Changes(s.Bind(1, page).Bind(2, kPast90Text));
      return first + Changes(line2_->Reset().Bind(1, kNowText).Bind(2, page));
    }
    case TStatementCase::kBlockingSweep:
      return Changes(s);
    case TStatementCase::kCandidateQuery: {
      s.Bind(1, TStatementWorkload::BannerLink(i % kBanners + 1));
      // Every row is read (SQLite counts only by stepping); one row's GIF
      // is copied, as the banner choice takes one.
      int64_t rows = 0;
      std::string gif;
      while (s.Step()) {
        if (rows++ == i % (kBanners - 1)) gif = s.Blob(1);
      }
      if (gif.empty()) throw std::runtime_error("candidate without its GIF");
      return rows;
    }
    case TStatementCase::kImpressionCount:
      return Changes(s.Bind(1, TStatementWorkload::Banner(i)));
    case TStatementCase::kCreditDebit:
      return Changes(s.Bind(1, TStatementWorkload::BannerOwner(TStatementWorkload::Banner(i))));
  }
  return 0;
}

}  // namespace bench
