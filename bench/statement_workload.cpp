#include "bench/statement_workload.h"

namespace bench {

const std::vector<TCaseInfo>& StatementCases() {
  static const std::vector<TCaseInfo> cases = {
      {TStatementCase::kVisitorLookup, "visitor lookup", true},
      {TStatementCase::kVisitorUpdate, "visitor update", true},
      {TStatementCase::kVisitorInsert, "visitor insert", false},
      {TStatementCase::kVisitorReread, "visitor re-read", true},
      {TStatementCase::kPageImpressionLookup, "page-impression lookup", true},
      {TStatementCase::kPageImpressionTouch, "page-impression touch", true},
      {TStatementCase::kPageImpressionInsert, "page-impression insert", false},
      {TStatementCase::kPageLookup, "page lookup", true},
      {TStatementCase::kPageUpdatePair, "page update pair", true},
      {TStatementCase::kBlockingSweep, "blocking sweep", false},
      {TStatementCase::kCandidateQuery, "candidate query", false},
      {TStatementCase::kImpressionCount, "impression count", false},
      {TStatementCase::kCreditDebit, "credit debit", false},
  };
  return cases;
}

namespace {

// A visitor key: the address prefix and a whole (lower-cased) user agent.
std::string Key(int number) {
  return "10." + std::to_string(number % 250) +
         "mozilla/5.0 (x11; linux x86_64) applewebkit/537.36 (khtml, like gecko) "
         "chrome/120.0.0.0 safari/537.36 visit " +
         std::to_string(number);
}

// Spreads run ordinals over 1..count without a pattern the caches favour.
int Spread(int i, int count) { return static_cast<int>((int64_t{i} * 7919 + 13) % count) + 1; }

}  // namespace

std::string TStatementWorkload::VisitorKey(int visitor) const { return Key(visitor); }

std::string TStatementWorkload::VisitorTime(int visitor) const {
  // Between 01:31 and 02:55: inside the last 90 minutes, outside the last 2.
  const int minutes = 91 + visitor % 84;
  char text[32];
  std::snprintf(text, sizeof text, "2026-12-09  %02d:%02d:%02d", minutes / 60, minutes % 60,
                visitor % 60);
  return text;
}

std::string TStatementWorkload::Label(int row) {
  static const char* const kNames[kLabels] = {"top", "side", "foot", "head"};
  return kNames[(row - 1) % kLabels];
}

std::string TStatementWorkload::PageAddress(int page) const {
  return "http://www.example.com/section" + std::to_string((page - 1) / kLabels) + "/page.html";
}

std::string TStatementWorkload::BannerGif(int banner) {
  std::string gif = "GIF89a";
  for (int i = 0; i < 1493; ++i) gif += static_cast<char>((i * 31 + banner) & 0xFF);
  return gif + ";";
}

std::string TStatementWorkload::LinkAddress(int link) {
  return "http://advertiser" + std::to_string(link) + ".example/";
}

int TStatementWorkload::ExistingVisitor(int i) const { return Spread(i, Visitors); }

std::string TStatementWorkload::NewVisitorKey(int i) const { return Key(NewVisitor(i)); }

int TStatementWorkload::ExistingPage(int i) const { return Spread(i, Visitors); }

}  // namespace bench
