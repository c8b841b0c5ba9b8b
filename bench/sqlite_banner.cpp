#include "bench/sqlite_banner.h"

#include <unistd.h>

#include <exception>
#include <vector>

#include "platform/letter_case.h"
#include "app/image_response.h"
#include "app/mk_html.h"
#include "app/random_choice.h"
#include "app/request_fields.h"
#include "app/statement_texts.h"
#include "bench/sqlite_statement.h"
#include "platform/file.h"
#include "tools/banner_art.h"

namespace bench {
namespace {

// clang-format off
constexpr const char* kSchema = R"SQL(
PRAGMA journal_mode = WAL;
CREATE TABLE Banner(ID INTEGER PRIMARY KEY, Banner BLOB, Link INTEGER, "User" INTEGER,
                    Blocked INTEGER NOT NULL DEFAULT 0, impress INTEGER NOT NULL DEFAULT 0);
CREATE INDEX BannerUser ON Banner("User");
CREATE INDEX BannerChoice ON Banner(Blocked, impress);
CREATE TABLE "User"(ID INTEGER PRIMARY KEY, Name TEXT, Impresskto INTEGER NOT NULL DEFAULT 0);
CREATE INDEX UserCredit ON "User"(Impresskto);
CREATE TABLE Visitor(id INTEGER PRIMARY KEY AUTOINCREMENT, request TEXT, LastReq TEXT,
                     SiteNo INTEGER, LastKenn TEXT);
CREATE INDEX VisitorRequest ON Visitor(request, LastReq);
CREATE INDEX VisitorLastReq ON Visitor(LastReq);
CREATE TABLE PageImpress(Visitor INTEGER, Label TEXT, Time TEXT, BannerID INTEGER);
CREATE INDEX PageImpressVisit ON PageImpress(Visitor, Label);
CREATE TABLE Links(id INTEGER PRIMARY KEY, Link TEXT);
CREATE INDEX LinksLink ON Links(lower(Link));
CREATE TABLE Pages(ID INTEGER PRIMARY KEY AUTOINCREMENT, Page TEXT, Nr TEXT, Time TEXT,
                   valid INTEGER, "count" INTEGER);
CREATE INDEX PagesPage ON Pages(lower(Page), Nr);
)SQL";
// clang-format on

// Runs `work`, logging a failure behind `prefix` as the banner program's
// handlers do; the request goes on after it.
template <typename Work>
void Guarded(const std::string& log_path, const char* prefix, Work&& work) {
  try {
    work();
  } catch (const std::exception& error) {
    banner::LogError(log_path, prefix + std::string(error.what()), platform::LocalNow());
  }
}

}  // namespace

TSqliteBanner::TSqliteBanner(const std::string& path, std::string not_found_path,
                             std::string log_path)
    : not_found_path_(std::move(not_found_path)), log_path_(std::move(log_path)) {
  const int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr);
  if (rc != SQLITE_OK) {
    ESqliteError error(db_, rc, "open " + path);
    sqlite3_close(db_);
    db_ = nullptr;
    throw error;
  }
  sqlite3_busy_timeout(db_, 10000);
  ExecSql(db_, "PRAGMA synchronous = NORMAL;");
}

TSqliteBanner::~TSqliteBanner() {
  if (in_transaction_) sqlite3_exec(db_, "ROLLBACK;", nullptr, nullptr, nullptr);
  sqlite3_close(db_);
}

void TSqliteBanner::Log(const std::string& message) const {
  banner::LogError(log_path_, message, platform::LocalNow());
}

std::string TSqliteBanner::NotFoundImage() const {
  cgi::TMemoryStream stream;
  banner::LoadImageFile(stream, not_found_path_);
  return stream.Bytes();
}

std::string TSqliteBanner::Begin(const TBannerRequest& request) {
  std::string image;
  visitor_id_ = banner_id_ = owner_id_ = 0;
  banner::TRequestKind kind = banner::TRequestKind::kVisitor;  // the default action
  Guarded(log_path_, "BeforeDispatch ", [&] {
    ExecSql(db_, "BEGIN IMMEDIATE;");
    in_transaction_ = true;
    TSqliteStatement(db_,
                     "UPDATE Banner SET Blocked = 1 WHERE Blocked = 0 AND \"User\" IN "
                     "(SELECT ID FROM \"User\" WHERE Impresskto < 1 AND Impresskto > -70);")
        .Run();
    VisitorStep(request);
    kind = banner::KindOfRequest(request.fields);
  });
  if (kind == banner::TRequestKind::kNotFound) {
    // Answered at once, without the purge.
    Guarded(log_path_, "BeforeDispatch ", [&] { image = NotFoundImage(); });
    image += '\0';
    if (in_transaction_) {
      ExecSql(db_, "COMMIT;");
      in_transaction_ = false;
    }
    purge_ = false;
    return image;
  }
  if (kind == banner::TRequestKind::kIndex) {
    Guarded(log_path_, "Itemindex  ", [&] { IndexAction(request, image); });
  } else if (kind == banner::TRequestKind::kVisitor) {
    Guarded(log_path_, "VisitorAction ", [&] { VisitorAction(request, image); });
  }
  purge_ = true;
  image += '\0';
  return image;
}

void TSqliteBanner::Finish() {
  Guarded(log_path_, "AfterDispatch ", [&] {
    if (purge_) {
      TSqliteStatement purge(db_, "DELETE FROM Visitor WHERE LastReq < ?1;");
      purge.Bind(1, banner::PastTimeString(90)).Run();
    }
    if (in_transaction_) {
      ExecSql(db_, "COMMIT;");
      in_transaction_ = false;
    }
  });
}

void TSqliteBanner::VisitorStep(const TBannerRequest& request) {
  const std::string site = request.fields.Values("Site");
  TSqliteStatement lookup(db_, "SELECT id FROM Visitor WHERE request = ?1 AND LastReq > ?2;");
  lookup.Bind(1, request.visitor_key).Bind(2, banner::PastTimeString(90));
  if (lookup.Step()) {
    visitor_id_ = static_cast<int32_t>(lookup.Integer(0));
    TSqliteStatement(db_,
                     "UPDATE Visitor SET LastReq = ?1, SiteNo = SiteNo + 1, LastKenn = ?2 "
                     "WHERE id = ?3;")
        .Bind(1, banner::PastTimeString(0))
        .Bind(2, site)
        .Bind(3, visitor_id_)
        .Run();
    return;
  }
  TSqliteStatement(db_,
                   "INSERT INTO Visitor (LastReq, SiteNo, request, LastKenn) "
                   "VALUES (?1, 1, ?2, ?3);")
      .Bind(1, banner::PastTimeString(0))
      .Bind(2, request.visitor_key)
      .Bind(3, site)
      .Run();
  // The last of the key's rows of the last two minutes.
  TSqliteStatement reread(db_, "SELECT id FROM Visitor WHERE request = ?1 AND LastReq > ?2;");
  reread.Bind(1, platform::AsciiLowerCase(request.visitor_key)).Bind(2, banner::PastTimeString(2));
  while (reread.Step()) visitor_id_ = static_cast<int32_t>(reread.Integer(0));
}

void TSqliteBanner::VisitorAction(const TBannerRequest& request, std::string& image) {
  const std::string site = request.fields.Values("Site");
  TSqliteStatement lookup(db_,
                          "SELECT BannerID FROM PageImpress WHERE Label = ?1 AND Visitor = ?2;");
  lookup.Bind(1, site).Bind(2, visitor_id_);
  const bool found = lookup.Step();
  if (found) {
    banner_id_ = static_cast<int32_t>(lookup.Integer(0));
    TSqliteStatement fetch(db_, "SELECT Banner, ID, \"User\" FROM Banner WHERE ID = ?1;");
    fetch.Bind(1, banner_id_);
    owner_id_ = 0;
    if (fetch.Step()) {
      image += fetch.Blob(0);
      owner_id_ = static_cast<int32_t>(fetch.Integer(2));
    }
    TSqliteStatement(db_, "UPDATE PageImpress SET Time = ?1 WHERE Label = ?2 AND Visitor = ?3;")
        .Bind(1, banner::PastTimeString(0))
        .Bind(2, site)
        .Bind(3, visitor_id_)
        .Run();
  } else {
    Guarded(log_path_, "SetBanner ", [&] { SetBanner(request, image); });
    TSqliteStatement(db_,
                     "INSERT INTO PageImpress (Visitor, Label, Time, BannerID) "
                     "VALUES (?1, ?2, ?3, ?4);")
        .Bind(1, visitor_id_)
        .Bind(2, site)
        .Bind(3, banner::PastTimeString(0))
        .Bind(4, banner_id_)
        .Run();
  }
  if (image.size() > 9) {
    TSqliteStatement(db_, "UPDATE Banner SET impress = impress + 1 WHERE ID = ?1;")
        .Bind(1, banner_id_)
        .Run();
    TSqliteStatement(db_,
                     "UPDATE \"User\" SET Impresskto = Impresskto - 1 "
                     "WHERE ID = ?1 AND Impresskto > 0;")
        .Bind(1, owner_id_)
        .Run();
    CountPageView(request);
  } else {
    image = NotFoundImage();
    TSqliteStatement(db_, "UPDATE PageImpress SET BannerID = 0 WHERE Label = ?1 AND Visitor = ?2;")
        .Bind(1, site)
        .Bind(2, visitor_id_)
        .Run();
  }
}

void TSqliteBanner::SetBanner(const TBannerRequest& request, std::string& image) {
  TSqliteStatement link(db_, "SELECT id FROM Links WHERE lower(Link) = ?1;");
  link.Bind(1, platform::AsciiLowerCase(request.referer));
  const int64_t link_id = link.Step() ? link.Integer(0) : 0;

  // Candidates fewest impressions first; equal counts in table order. A
  // banner without a link is always a candidate.
  TSqliteStatement candidates(
      db_,
      "SELECT ID, \"User\" FROM Banner WHERE Blocked = 0 AND Link IS NOT ?1 "
      "ORDER BY impress, rowid;");
  candidates.Bind(1, link_id);
  std::vector<std::pair<int32_t, int32_t>> rows;
  while (candidates.Step()) {
    rows.emplace_back(static_cast<int32_t>(candidates.Integer(0)),
                      static_cast<int32_t>(candidates.Integer(1)));
  }
  banner::TRandomSource random = banner::TRandomSource::FromTimeOfDay(platform::UtcNow());
  const int32_t k = banner::ChooseCandidate(random, static_cast<int32_t>(rows.size()));
  if (rows.empty()) {
    banner_id_ = owner_id_ = 0;
    return;
  }
  banner_id_ = rows[k].first;
  owner_id_ = rows[k].second;
  TSqliteStatement fetch(db_, "SELECT Banner FROM Banner WHERE ID = ?1;");
  fetch.Bind(1, banner_id_);
  if (fetch.Step()) image += fetch.Blob(0);
}

void TSqliteBanner::CountPageView(const TBannerRequest& request) {
  const std::string site_key = platform::AsciiLowerCase(request.fields.Values("site"));
  TSqliteStatement lookup(db_, "SELECT ID FROM Pages WHERE lower(Page) = ?1 AND Nr = ?2;");
  lookup.Bind(1, request.referer).Bind(2, site_key);
  if (!lookup.Step()) {
    TSqliteStatement(db_,
                     "INSERT INTO Pages (Time, valid, \"count\", Nr, Page) "
                     "VALUES (?1, 1, 1, ?2, ?3);")
        .Bind(1, banner::PastTimeString(0))
        .Bind(2, site_key)
        .Bind(3, request.referer)
        .Run();
    return;
  }
  const int64_t page_id = lookup.Integer(0);
  TSqliteStatement(db_, "UPDATE Pages SET valid = valid + 1 WHERE ID = ?1 AND Time > ?2;")
      .Bind(1, page_id)
      .Bind(2, banner::PastTimeString(90))
      .Run();
  TSqliteStatement(db_, "UPDATE Pages SET Time = ?1, \"count\" = \"count\" + 1 WHERE ID = ?2;")
      .Bind(1, banner::PastTimeString(0))
      .Bind(2, page_id)
      .Run();
}

void TSqliteBanner::IndexAction(const TBannerRequest& request, std::string& image) {
  const std::string index = request.fields.Values("Index");
  if (!banner::IsIndexValue(index)) throw std::runtime_error("Index is no number: '" + index + "'");
  const bool any_state = banner::FieldPresent(request.fields, "nocount");
  TSqliteStatement fetch(db_, any_state
                                  ? "SELECT Banner, ID FROM Banner WHERE ID = ?1;"
                                  : "SELECT Banner, ID FROM Banner WHERE ID = ?1 AND Blocked = 0;");
  fetch.Bind(1, std::stoll(index));
  if (fetch.Step()) {
    image += fetch.Blob(0);
    banner_id_ = static_cast<int32_t>(fetch.Integer(1));
  } else {
    image = NotFoundImage();
    banner_id_ = 0;
  }
}

void CreateDatabase(const std::string& path, int banners, int visitors,
                    const std::string& returning_key) {
  for (const char* suffix : {"", "-wal", "-shm"}) unlink((path + suffix).c_str());
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
    ESqliteError error(db, SQLITE_CANTOPEN, "create " + path);
    sqlite3_close(db);
    throw error;
  }
  struct Closer {
    sqlite3* db;
    ~Closer() { sqlite3_close(db); }
  } closer{db};
  ExecSql(db, kSchema);
  ExecSql(db, "BEGIN;");
  const std::vector<gif::BannerSpec>& art = gif::SampleBanners();
  TSqliteStatement user(db, "INSERT INTO \"User\" (ID, Name, Impresskto) VALUES (?1, ?2, ?3);");
  TSqliteStatement link(db, "INSERT INTO Links (id, Link) VALUES (?1, ?2);");
  TSqliteStatement banner(db,
                          "INSERT INTO Banner (ID, Banner, Link, \"User\", Blocked, impress) "
                          "VALUES (?1, ?2, ?3, ?4, 0, 0);");
  for (int i = 1; i <= banners; ++i) {
    user.Reset().Bind(1, i).Bind(2, "Advertiser " + std::to_string(i)).Bind(3, 1000000000).Run();
    link.Reset().Bind(1, i).Bind(2, "http://advertiser" + std::to_string(i) + ".example/").Run();
    const std::string gif = gif::Encode(gif::DrawBanner(art[(i - 1) % art.size()]));
    banner.Reset().Bind(1, i).BindBlob(2, gif).Bind(3, i).Bind(4, i).Run();
  }
  TSqliteStatement visitor(db,
                           "INSERT INTO Visitor (request, LastReq, SiteNo, LastKenn) "
                           "VALUES (?1, ?2, 1, 'top');");
  const std::string recent = banner::PastTimeString(1);
  for (int i = 1; i < visitors; ++i) {
    visitor.Reset()
        .Bind(1, "10." + std::to_string(i % 250) + "loaded-agent/" + std::to_string(i))
        .Bind(2, recent)
        .Run();
  }
  if (visitors > 0) visitor.Reset().Bind(1, returning_key).Bind(2, recent).Run();
  ExecSql(db, "COMMIT;");
}

}  // namespace bench
