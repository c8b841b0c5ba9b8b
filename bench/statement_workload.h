// The statement benchmark's workload: the banner service's statements, in
// the order one request issues them, over tables of a given number of
// visitors (and as many page impressions and page rows), and the interface
// both engines implement. Every value a statement takes is derived from the
// run's ordinal, so both engines see the same statements on the same rows.
//
// Table shapes at size N (fixed parts as on a small banner site):
//   Visitor      N visits, keys of a 120-character user agent, all active
//                within the last 90 minutes
//   PageImpress  N rows, one per visit, on one of four site labels
//   Pages        N rows, page addresses over the four labels
//   Banner       kBanners banners of 1,500-byte GIFs, each its own link
//   User         kUsers advertisers with ample credit (the sweep blocks none)
//   Links        kBanners links
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

enum class TStatementCase {
  kVisitorLookup,
  kVisitorUpdate,
  kVisitorInsert,
  kVisitorReread,
  kPageImpressionLookup,
  kPageImpressionTouch,
  kPageImpressionInsert,
  kPageLookup,
  kPageUpdatePair,
  kBlockingSweep,
  kCandidateQuery,
  kImpressionCount,
  kCreditDebit,
};

struct TCaseInfo {
  TStatementCase Case;
  const char* Name;
  bool IndexedLookup;  // must cost the same at every size
};

// Every case, in the order they run.
const std::vector<TCaseInfo>& StatementCases();

inline constexpr int kBanners = 40;
inline constexpr int kUsers = 8;
inline constexpr int kLabels = 4;

// The times of a run: now and the two points the statements compare with.
inline constexpr std::string_view kNow = "2026-12-09  03:00:00";
inline constexpr std::string_view kPast90 = "2026-12-09  01:30:00";
inline constexpr std::string_view kPast2 = "2026-12-09  02:58:00";

struct TStatementWorkload {
  int Visitors = 0;

  // Rows of the tables, numbered from 1.
  std::string VisitorKey(int visitor) const;  // as stored: lower case
  std::string VisitorTime(int visitor) const;
  static std::string Label(int row);
  std::string PageAddress(int page) const;
  static std::string BannerGif(int banner);
  static int BannerLink(int banner) { return banner; }
  static int BannerOwner(int banner) { return (banner - 1) % kUsers + 1; }
  static std::string LinkAddress(int link);

  // What run `i` (from 0) of a case works on.
  int ExistingVisitor(int i) const;                         // spread over the table
  int NewVisitor(int i) const { return Visitors + 1 + i; }  // ids the inserts give
  std::string NewVisitorKey(int i) const;
  int ExistingPage(int i) const;
  static int Banner(int i) { return i % kBanners + 1; }
};

// One engine over its own copy of the tables.
class TStatementEngine {
 public:
  virtual ~TStatementEngine() = default;
  virtual std::string Name() const = 0;
  // Runs one statement as the service does and returns what it gave: the
  // rows it found or changed (both engines must agree).
  virtual int64_t Run(TStatementCase statement, int i) = 0;
};

}  // namespace bench
