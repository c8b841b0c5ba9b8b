// The banner service on SQLite: the peer of the request benchmark. The same
// request handling as the banner program (blocking sweep, visitor step, the
// three actions, page impressions, impression count and credit debit, page
// statistics, purge of idle visits) over the same six tables in one SQLite
// file, with prepared statements and bound parameters, all of a request in
// one BEGIN IMMEDIATE transaction, the database in WAL mode.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

#include "cgi/string_list.h"

namespace bench {

// What one request brings: its fields and the two texts the visitor step
// and the page statistics use.
struct TBannerRequest {
  cgi::TStringList fields;
  std::string visitor_key;  // as VisitorKey gives it
  std::string referer;      // lower-cased
};

// One open connection. Owns it; every request is one transaction.
class TSqliteBanner {
 public:
  // Opens an existing database file (created by CreateDatabase).
  TSqliteBanner(const std::string& path, std::string not_found_path, std::string log_path);
  ~TSqliteBanner();
  TSqliteBanner(const TSqliteBanner&) = delete;
  TSqliteBanner& operator=(const TSqliteBanner&) = delete;

  // Serves a request: `send` gets the body (image bytes and the trailer
  // byte) once the transaction, the purge of idle visits included, has been
  // committed. A web server may end a CGI process as soon as its response
  // is complete, so nothing that must last is left for after the send.
  template <typename Send>
  void Serve(const TBannerRequest& request, Send&& send) {
    std::string body = Begin(request);
    Finish();
    send(body);
  }

 private:
  std::string Begin(const TBannerRequest& request);
  void Finish();
  void VisitorStep(const TBannerRequest& request);
  void VisitorAction(const TBannerRequest& request, std::string& image);
  void SetBanner(const TBannerRequest& request, std::string& image);
  void CountPageView(const TBannerRequest& request);
  void IndexAction(const TBannerRequest& request, std::string& image);
  std::string NotFoundImage() const;
  void Log(const std::string& message) const;

  sqlite3* db_ = nullptr;
  std::string not_found_path_;
  std::string log_path_;
  bool in_transaction_ = false;
  bool purge_ = false;  // the request reached the after-dispatch step
  int32_t visitor_id_ = 0;
  int32_t banner_id_ = 0;
  int32_t owner_id_ = 0;
};

// Creates a fresh database at `path` (replacing one there) with the six
// tables and their indexes, `banners` banners (GIFs drawn like the samples,
// owners with ample credit, each with a link of its own) and `visitors`
// current visits, one of which is the visitor key `returning_key`.
void CreateDatabase(const std::string& path, int banners, int visitors,
                    const std::string& returning_key);

}  // namespace bench
