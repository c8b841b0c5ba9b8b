#include "app/statement_texts.h"

#include "platform/letter_case.h"

namespace banner {
namespace {

// A single-quoted literal of `value`.
std::string Quoted(const std::string& value) { return "'" + QuoteDoubled(value) + "'"; }

std::string Number(int32_t value) { return std::to_string(value); }

}  // namespace

std::string QuoteDoubled(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

bool IsIndexValue(const std::string& value) {
  const size_t start = !value.empty() && value[0] == '-' ? 1 : 0;
  const size_t digits = value.size() - start;
  if (digits == 0 || digits > 10) return false;
  int64_t magnitude = 0;
  for (size_t i = start; i < value.size(); ++i) {
    if (value[i] < '0' || value[i] > '9') return false;
    magnitude = magnitude * 10 + (value[i] - '0');
  }
  return magnitude <= (start == 1 ? 2147483648LL : 2147483647LL);
}

// clang-format off
std::string BlockingSweepText() {
  return "Update \"Banner.dat\" B Set B.Blocked = true   from \"Banner.dat\" B,  \"User.dat\" U "
         "where  (u.ID = B.User) and ((U.Impresskto <1) and (U.Impresskto > -70));";
}

std::string VisitorLookupText(const std::string& visitor_key, const std::string& past_90) {
  return "Select id from \"Visitor.dat\" where (request = " + Quoted(visitor_key) +
         ") and (LastReq > " + Quoted(past_90) + ");";
}

std::string VisitorUpdateText(const std::string& now, const std::string& site, int32_t visitor_id) {
  return "update \"visitor.dat\" Set LastReq = " + Quoted(now) + ", SiteNo = SiteNo + 1, LastKenn = " +
         Quoted(site) + " where id = " + Number(visitor_id) + ";";
}

std::string VisitorInsertText(const std::string& now, const std::string& visitor_key,
                              const std::string& site) {
  return "insert into \"visitor.dat\" (LastReq, SiteNo, request, LastKenn) values (" + Quoted(now) +
         ", 1, " + Quoted(visitor_key) + ", " + Quoted(site) + ");";
}

std::string VisitorRereadText(const std::string& visitor_key, const std::string& past_2) {
  return "Select id from \"Visitor.dat\" where (request = " + Quoted(platform::AsciiLowerCase(visitor_key)) +
         ") and (LastReq > " + Quoted(past_2) + ");";
}

std::string VisitorPurgeText(const std::string& past_90) {
  return "Delete from visitor where LastReq < " + Quoted(past_90) + ";";
}

std::string LinkLookupText(const std::string& referer) {
  return "select id from \"Links.dat\" where lower(Link) = " + Quoted(platform::AsciiLowerCase(referer)) + ";";
}

std::string CandidateQueryText(int32_t link_id) {
  return "select * from \"Banner.dat\" where (blocked = False) and (Link <> " + Number(link_id) +
         ") order by impress;";
}

std::string ImpressionCountText(int32_t banner_id) {
  return "Update \"Banner.dat\" Set impress = impress + 1 where ID = " + Number(banner_id) + ";";
}

std::string CreditDebitText(int32_t owner_id) {
  return "Update \"User.dat\" Set impresskto = impresskto - 1 where (ID = " + Number(owner_id) +
         ") and (impresskto > 0);";
}

std::string PageImpressionLookupText(const std::string& site, int32_t visitor_id) {
  return "Select BannerID from PageImpress  where (Label = " + Quoted(site) + ") and ( Visitor = " +
         Number(visitor_id) + ");";
}

std::string BannerFetchText(int32_t banner_id) {
  return "Select Banner, id, user  from \"Banner.dat\" where ID = " + Number(banner_id) + ";";
}

std::string PageImpressionTouchText(const std::string& now, const std::string& site,
                                    int32_t visitor_id) {
  return "update PAgeImpress set Time = " + Quoted(now) + " where (Label = " + Quoted(site) +
         ") and ( Visitor = " + Number(visitor_id) + ");";
}

std::string PageImpressionInsertText(int32_t visitor_id, const std::string& site,
                                     const std::string& now, int32_t banner_id) {
  return "insert into \"PageImpress.dat\" (Visitor, Label, Time, BannerID) values (" +
         Number(visitor_id) + "," + Quoted(site) + "," + Quoted(now) + ", " + Number(banner_id) + ");";
}

std::string PageImpressionResetText(const std::string& site, int32_t visitor_id) {
  return "update PAgeImpress set BannerID = 0 where (Label = " + Quoted(site) + ") and ( Visitor = " +
         Number(visitor_id) + ");";
}

std::string PageLookupText(const std::string& referer, const std::string& site_key) {
  return "Select ID from \"Pages.dat\"  where (Lower(Page) = " + Quoted(referer) + ") and (Nr = " +
         Quoted(site_key) + ") ;";
}

std::string PageInsertText(const std::string& now, const std::string& site_key,
                           const std::string& referer) {
  // The time string stands in double quotes: a string constant in VALUES.
  return "insert into \"Pages.dat\" (time, valid, \"count\", nr, page) values (\"" + now + "\",1,1," +
         Quoted(site_key) + "," + Quoted(referer) + ");";
}

std::string PageUpdateLine1(const std::string& page_id, const std::string& past_90) {
  return "Update \"Pages.dat\" Set valid = valid + 1 where (ID = " + page_id + ") and (Time > " +
         Quoted(past_90) + ");";
}

std::string PageUpdateLine2(const std::string& now, const std::string& page_id) {
  return "Update \"Pages.dat\" Set Time = " + Quoted(now) + ", \"count\" = \"count\" + 1 where ID = " +
         page_id + ";";
}

std::string BannerByIndexText(const std::string& index) {
  return "Select Banner, ID from \"Banner.dat\" where (ID = " + index + ") and (Blocked = false);";
}

std::string BannerByIndexAnyStateText(const std::string& index) {
  return "Select Banner, ID from \"Banner.dat\" where (ID = " + index + ");";
}
// clang-format on

}  // namespace banner
