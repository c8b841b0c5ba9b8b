// The banner program end to end: the built program runs as a CGI process in
// a folder of its own against a fresh copy of the sample database; the tests
// check the bytes of the answer and the tables afterwards.
//
// Sample data: owners 1 (credit 1000), 2 (5), 3 (-100), 4 (1); banners
// 1..6 owned by 1, 2, 3, 1, 4, 3, linked to 1, 2, 3, 4, none, 3.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/random_choice.h"
#include "app/test_banner_site.h"

namespace banner {
namespace {

using testing::TBannerSite;
using testing::TCgiAnswer;
using testing::TCgiCall;
using testing::Trailer;
using Rows = std::vector<std::vector<std::string>>;

constexpr const char* kNoon = "2026-12-08 12:00:00";

TCgiCall SiteCall(const std::string& query, const std::string& at = kNoon) {
  TCgiCall call;
  call.query = query;
  call.clock = at;
  return call;
}

// The row a seeded choice moves to among `n` candidates.
int32_t PickAt(int hour, int minute, int second, int millisecond, int32_t n) {
  platform::DateTime utc{};
  utc.hour = hour;
  utc.minute = minute;
  utc.second = second;
  utc.millisecond = millisecond;
  TRandomSource random = TRandomSource::FromTimeOfDay(utc);
  return ChooseCandidate(random, n);
}

// Expects the answer to be `image` plus the trailer byte, sent as a GIF.
// A mismatch is shown by sizes and the log, not by the bytes.
#define ExpectImage(answer, image) ExpectImageAt(__LINE__, site, answer, image)
// The six sample banners in the choice's order once `shown` has one
// impression and the others none.
std::vector<int> ShownLast(int shown) {
  std::vector<int> order;
  for (int id = 1; id <= 6; ++id) {
    if (id != shown) order.push_back(id);
  }
  order.push_back(shown);
  return order;
}

void ExpectImageAt(int line, TBannerSite& site, const TCgiAnswer& answer,
                   const std::string& image) {
  SCOPED_TRACE("answer checked at line " + std::to_string(line));
  EXPECT_EQ(answer.exit_code, 0);
  EXPECT_EQ(answer.Head(), "Status: 200 OK\r\nContent-Type: image/gif\r\nContent-Length: " +
                               std::to_string(image.size() + 1) + "\r\nContent:\r\n")
      << site.Log();
  EXPECT_TRUE(answer.Body() == image + Trailer())
      << "body of " << answer.Body().size() << " bytes, expected " << image.size() + 1;
}

std::string BannerImpressions(TBannerSite& site) {
  std::string out;
  for (const auto& row : site.Rows("select ID, impress from \"Banner.dat\" order by ID;")) {
    out += row[0] + ":" + row[1] + " ";
  }
  return out;
}

std::string Credits(TBannerSite& site) {
  std::string out;
  for (const auto& row : site.Rows("select ID, Impresskto from \"User.dat\" order by ID;")) {
    out += row[0] + ":" + row[1] + " ";
  }
  return out;
}

// ----- page impressions, visits and page views ------------------------------

TEST(BannerEndToEnd, FirstVisitChoosesRecordsAndCountsTheSeededBanner) {
  TBannerSite site;
  const TCgiAnswer answer = site.Run(SiteCall("Site=Top"));
  // Six candidates (the referer names no link), all unshown: scan order.
  const int banner = PickAt(12, 0, 0, 0, 6) + 1;
  ExpectImage(answer, site.SampleBanner(banner));

  EXPECT_EQ(site.Rows("select request, LastReq, SiteNo, LastKenn from \"Visitor.dat\";"),
            (Rows{{"10.1e2e-agent/1.0", "2026-12-08  12:00:00", "1", "Top"}}));
  const std::string visitor = site.Value("select id from \"Visitor.dat\";");
  EXPECT_EQ(site.Rows("select Visitor, Label, Time, BannerID from PageImpress;"),
            (Rows{{visitor, "Top", "2026-12-08  12:00:00", std::to_string(banner)}}));
  EXPECT_EQ(
      site.Value("select impress from \"Banner.dat\" where ID = " + std::to_string(banner) + ";"),
      "1");
  EXPECT_EQ(site.Rows("select Page, Nr, Time, valid, \"count\" from \"Pages.dat\";"),
            (Rows{{"http://site.example/page.html", "top", "2026-12-08  12:00:00", "1", "1"}}));
  EXPECT_EQ(site.Recording(), "Site=Top\r\n");
  EXPECT_EQ(site.Log(), "");
}

TEST(BannerEndToEnd, RepeatedVisitsShowTheSameBannerAndCountAgain) {
  TBannerSite site;
  const TCgiAnswer first = site.Run(SiteCall("Site=A"));
  const std::string banner = site.Value("select BannerID from PageImpress;");
  const std::string credits = Credits(site);
  // Another address of the same prefix, the user agent in other letter case,
  // five minutes later: the same visit.
  TCgiCall again = SiteCall("Site=A", "2026-12-08 12:05:00");
  again.remote_addr = "10.1.9.9";
  again.user_agent = "e2e-AGENT/1.0";
  const TCgiAnswer second = site.Run(again);
  EXPECT_EQ(second.Body(), first.Body());
  EXPECT_EQ(site.Rows("select SiteNo, LastReq from \"Visitor.dat\";"),
            (Rows{{"2", "2026-12-08  12:05:00"}}));
  EXPECT_EQ(site.Rows("select Time, BannerID from PageImpress;"),
            (Rows{{"2026-12-08  12:05:00", banner}}));
  EXPECT_EQ(site.Value("select impress from \"Banner.dat\" where ID = " + banner + ";"), "2");
  EXPECT_EQ(site.Rows("select valid, \"count\", Time from \"Pages.dat\";"),
            (Rows{{"2", "2", "2026-12-08  12:05:00"}}));
  EXPECT_NE(Credits(site), credits);  // the owner's credit was debited again (or is unlimited)

  // The same visit on label a: a label of its own, the same page row.
  site.Run(SiteCall("Site=a", "2026-12-08 12:06:00"));
  EXPECT_EQ(site.Rows("select Label from PageImpress order by Label;"), (Rows{{"A"}, {"a"}}));
  EXPECT_EQ(site.Rows("select valid, \"count\" from \"Pages.dat\";"), (Rows{{"3", "3"}}));
  // No Site field: LastKenn is emptied.
  site.Run(SiteCall("nocount=1", "2026-12-08 12:07:00"));
  EXPECT_EQ(site.Rows("select SiteNo, LastKenn from \"Visitor.dat\";"), (Rows{{"4", ""}}));
  EXPECT_EQ(site.Log(), "");
}

TEST(BannerEndToEnd, NinetyOneMinutesLaterANewVisitBeginsAndTheOldOneIsPurged) {
  TBannerSite site;
  site.Run(SiteCall("Site=top"));
  const std::string old_visit = site.Value("select id from \"Visitor.dat\";");
  site.Run(SiteCall("Site=top", "2026-12-08 13:31:00"));
  const Rows visits = site.Rows("select id, SiteNo, LastReq from \"Visitor.dat\";");
  ASSERT_EQ(visits.size(), 1u);
  EXPECT_NE(visits[0][0], old_visit);
  EXPECT_EQ(visits[0][1], "1");
  // The page was last counted more than 90 minutes ago: count, not valid.
  EXPECT_EQ(site.Rows("select valid, \"count\" from \"Pages.dat\";"), (Rows{{"1", "2"}}));
  // The old visit's page impression stays; the new visit has its own.
  EXPECT_EQ(site.Rows("select Visitor from PageImpress order by Visitor;").size(), 2u);
}

TEST(BannerEndToEnd, AVisitExactlyNinetyMinutesOldIsNeitherFoundNorPurged) {
  TBannerSite site;
  site.Run(SiteCall("Site=top"));
  TCgiCall other = SiteCall("Site=top", "2026-12-08 13:30:00");
  site.Run(other);
  const Rows visits = site.Rows("select id, SiteNo from \"Visitor.dat\" order by id;");
  ASSERT_EQ(visits.size(), 2u);
  EXPECT_EQ(visits[0][1], "1");
  EXPECT_EQ(visits[1][1], "1");
}

// ----- credit, blocking and the choice ---------------------------------------

TEST(BannerEndToEnd, TheLastCreditIsServedThenTheBannersAreBlocked) {
  TBannerSite site;
  // Only banner 5 (owner 4, credit 1) is a candidate.
  site.Execute("update \"Banner.dat\" set Blocked = true where ID <> 5;");
  ExpectImage(site.Run(SiteCall("Site=top")), site.SampleBanner(5));
  EXPECT_EQ(site.Value("select Impresskto from \"User.dat\" where ID = 4;"), "0");
  EXPECT_EQ(site.Value("select ID from \"Banner.dat\" where Blocked = false;"), "5");

  // Another visitor: the sweep blocks banner 5 first, nothing is left.
  TCgiCall next = SiteCall("Site=top", "2026-12-08 12:01:00");
  next.user_agent = "Other/2.0";
  const TCgiAnswer answer = site.Run(next);
  ExpectImage(answer, site.NotFound());
  EXPECT_EQ(site.Rows("select ID from \"Banner.dat\" where Blocked = false;"), Rows{});
  EXPECT_EQ(site.Value("select Impresskto from \"User.dat\" where ID = 4;"), "0");
  EXPECT_EQ(site.Value("select impress from \"Banner.dat\" where ID = 5;"), "1");
  // The label is marked as served without a banner, and stays so.
  const Rows shown = site.Rows("select Visitor, BannerID from PageImpress order by Visitor;");
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0][1], "5");
  EXPECT_EQ(shown[1][1], "0");
  ExpectImage(site.Run(next), site.NotFound());
  EXPECT_EQ(site.Rows("select \"count\" from \"Pages.dat\";"), (Rows{{"1"}}));
}

TEST(BannerEndToEnd, CreditsOfMinusSeventyAreUnlimitedAndMinusFiveBlocks) {
  TBannerSite site;
  site.Execute("update \"User.dat\" set Impresskto = -70 where ID = 4;");
  site.Execute("update \"User.dat\" set Impresskto = -5 where ID = 2;");
  site.Execute("update \"Banner.dat\" set Blocked = true where (ID <> 5) and (ID <> 2);");
  site.Run(SiteCall("Site=top"));
  // The sweep blocked banner 2 (credit -5) before the choice: banner 5 alone.
  EXPECT_EQ(site.Rows("select ID from \"Banner.dat\" where Blocked = false;"), (Rows{{"5"}}));
  for (int i = 1; i <= 3; ++i) {
    TCgiCall call = SiteCall("Site=slot" + std::to_string(i));
    ExpectImage(site.Run(call), site.SampleBanner(5));
  }
  EXPECT_EQ(site.Value("select impress from \"Banner.dat\" where ID = 5;"), "4");
  EXPECT_EQ(Credits(site), "1:1000 2:-5 3:-100 4:-70 ");
}

TEST(BannerEndToEnd, TheReferersOwnBannerIsNeverChosen) {
  TBannerSite site;
  site.Execute("update \"Banner.dat\" set Blocked = true where (ID <> 1) and (ID <> 2);");
  for (int second = 0; second < 4; ++second) {
    TCgiCall call =
        SiteCall("Site=s" + std::to_string(second), "2026-12-08 12:00:0" + std::to_string(second));
    call.referer = "HTTP://Travel.Example/";  // link 1, compared lower-cased
    ExpectImage(site.Run(call), site.SampleBanner(2));
  }
  EXPECT_EQ(BannerImpressions(site), "1:0 2:4 3:0 4:0 5:0 6:0 ");
}

TEST(BannerEndToEnd, SeededChoicesFavourTheLeastShown) {
  // At midnight the first draw is even: any of the candidates; after one
  // banner has been shown it goes last in the order.
  TBannerSite site;
  const int first = PickAt(0, 0, 0, 0, 6) + 1;
  ExpectImage(site.Run(SiteCall("Site=a", "2026-12-08 00:00:00")), site.SampleBanner(first));
  const int second = ShownLast(first)[PickAt(12, 34, 56, 0, 6)];
  ExpectImage(site.Run(SiteCall("Site=b", "2026-12-08 12:34:56")), site.SampleBanner(second));
}

TEST(BannerEndToEnd, NoCandidateAndTinyImagesServeNotFound) {
  TBannerSite site;
  site.Execute("update \"Banner.dat\" set Blocked = true;");
  site.InsertBanner(7, "GIF89a", 1, "");  // 6 bytes: taken as missing
  ExpectImage(site.Run(SiteCall("Site=top")), site.NotFound());
  EXPECT_EQ(site.Rows("select BannerID from PageImpress;"), (Rows{{"0"}}));
  EXPECT_EQ(site.Value("select impress from \"Banner.dat\" where ID = 7;"), "0");
  EXPECT_EQ(site.Rows("select ID from \"Pages.dat\";"), Rows{});
  EXPECT_EQ(Credits(site), "1:1000 2:5 3:-100 4:1 ");
}

// ----- banner by index ---------------------------------------------------------

TEST(BannerEndToEnd, BannerByIndexWithAndWithoutNocount) {
  TBannerSite site;
  ExpectImage(site.Run(SiteCall("Index=3")), site.SampleBanner(3));
  site.Execute("update \"Banner.dat\" set Blocked = true where ID = 3;");
  ExpectImage(site.Run(SiteCall("Index=3")), site.NotFound());
  ExpectImage(site.Run(SiteCall("Index=3&nocount=1")), site.SampleBanner(3));
  ExpectImage(site.Run(SiteCall("index=3&NOCOUNT=")), site.SampleBanner(3));
  ExpectImage(site.Run(SiteCall("Index=99")), site.NotFound());
  // Index comes before Site; nothing is counted.
  ExpectImage(site.Run(SiteCall("Site=top&Index=1")), site.SampleBanner(1));
  EXPECT_EQ(BannerImpressions(site), "1:0 2:0 3:0 4:0 5:0 6:0 ");
  EXPECT_EQ(site.Rows("select * from PageImpress;"), Rows{});
  EXPECT_EQ(site.Rows("select SiteNo from \"Visitor.dat\";"), (Rows{{"6"}}));
  // A tiny image is served as it is by number.
  site.InsertBanner(8, "GIF", 1, "");
  ExpectImage(site.Run(SiteCall("Index=8")), "GIF");
  EXPECT_EQ(site.Log(), "");
}

TEST(BannerEndToEnd, AnIndexThatIsNoNumberIsRefusedBeforeAnyStatement) {
  TBannerSite site;
  for (const char* index : {"1)%20or%20(1=1", "", "abc", "99999999999"}) {
    const TCgiAnswer answer = site.Run(SiteCall(std::string("Index=") + index));
    ExpectImage(answer, "");
  }
  const std::string log = site.Log();
  EXPECT_NE(log.find(" - Itemindex  '1) or (1=1' ist kein g"), std::string::npos) << log;
  EXPECT_NE(log.find(" - Itemindex  '' ist kein g"), std::string::npos) << log;
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 4);
}

// ----- the other ways in ---------------------------------------------------------

TEST(BannerEndToEnd, SessionIDAnswersTheTrailerAloneAndEmptyQueriesNotFound) {
  TBannerSite site;
  ExpectImage(site.Run(SiteCall("SessionID=7&Index=1")), "");
  // No known field: the not-found image at once; the visitor is recorded but
  // no purge runs, so an idle visit of another key survives.
  TCgiCall idle = SiteCall("Site=top", "2026-12-08 09:00:00");
  idle.user_agent = "Idle/1.0";
  site.Run(idle);
  const TCgiAnswer answer = site.Run(SiteCall(""));
  ExpectImage(answer, site.NotFound());
  EXPECT_EQ(site.Rows("select request from \"Visitor.dat\" order by request;"),
            (Rows{{"10.1e2e-agent/1.0"}, {"10.1idle/1.0"}}));
  // A request with a path after the program's address runs the default.
  TCgiCall with_path = SiteCall("Index=1");
  with_path.path_info = "/x";
  // The idle visit's banner has been shown once: it goes last in the order.
  const int shown = PickAt(9, 0, 0, 0, 6) + 1;
  ExpectImage(site.Run(with_path), site.SampleBanner(ShownLast(shown)[PickAt(12, 0, 0, 0, 6)]));
  EXPECT_EQ(site.Rows("select request from \"Visitor.dat\";").size(), 1u);  // purged
}

TEST(BannerEndToEnd, InjectModeReplaysTheRecordedFields) {
  TBannerSite site;
  // Nothing recorded yet: the replay cannot read its fields.
  TCgiCall early = SiteCall("Site=top");
  early.argument = "INJECTMODE";
  EXPECT_EQ(site.Run(early).output.substr(0, 11), "Status: 500");
  site.Run(SiteCall("Index=2"));
  EXPECT_EQ(site.Recording(), "Index=2\r\n");
  TCgiCall replay = SiteCall("Site=top");
  replay.argument = "injectMode";
  ExpectImage(site.Run(replay), site.SampleBanner(2));
  EXPECT_EQ(site.Recording(), "Index=2\r\n");
  EXPECT_EQ(site.Rows("select * from PageImpress;"), Rows{});
}

TEST(BannerEndToEnd, PostedFormsAndLineBreaksInValues) {
  TBannerSite site;
  TCgiCall post = SiteCall("Site=top");
  post.method = "POST";
  post.content_type = "application/x-www-form-urlencoded";
  post.body = "Index=4";
  ExpectImage(site.Run(post), site.SampleBanner(4));
  EXPECT_EQ(site.Recording(), "Index=4\r\n");
  // A multipart body without its boundary: the query's fields serve.
  TCgiCall broken = SiteCall("Index=5");
  broken.method = "POST";
  broken.content_type = "multipart/form-data";
  broken.body = "--x\r\nContent-Disposition: form-data; name=\"Index\"\r\n\r\n1\r\n--x--\r\n";
  ExpectImage(site.Run(broken), site.SampleBanner(5));
  // A decoded line break splits the value into two fields.
  ExpectImage(site.Run(SiteCall("Site=a%0D%0AIndex=6")), site.SampleBanner(6));
  EXPECT_EQ(site.Recording(), "Site=a\r\nIndex=6\r\n");
}

TEST(BannerEndToEnd, QuotesInValuesAreStoredAsReceived) {
  TBannerSite site;
  TCgiCall call = SiteCall("Site=it%27s");
  call.user_agent = "Agent 'quoted'/1.0";
  call.referer = "http://site.example/o'neil.html";
  const TCgiAnswer answer = site.Run(call);
  EXPECT_EQ(answer.Body().size() > 10, true);
  EXPECT_EQ(site.Log(), "");
  EXPECT_EQ(site.Rows("select request, LastKenn from \"Visitor.dat\";"),
            (Rows{{"10.1agent 'quoted'/1.0", "it's"}}));
  EXPECT_EQ(site.Rows("select Label from PageImpress;"), (Rows{{"it's"}}));
  EXPECT_EQ(site.Rows("select Page, Nr from \"Pages.dat\";"),
            (Rows{{"http://site.example/o'neil.html", "it's"}}));
  site.Run(call);
  EXPECT_EQ(site.Rows("select SiteNo from \"Visitor.dat\";"), (Rows{{"2"}}));
  EXPECT_EQ(site.Rows("select \"count\" from \"Pages.dat\";"), (Rows{{"2"}}));
}

// Texts beyond ASCII are cased and compared by the locale's rules (ICU,
// reached inside the program on first need): the second visit finds its
// page row (looked up through Lower) and its label again.
TEST(BannerEndToEnd, LabelsBeyondAsciiAreMatchedInTheLocalesOrder) {
  TBannerSite site;
  TCgiCall call = SiteCall("Site=%C4rger");
  call.referer = "http://site.example/m\xFCnchen.html";
  const TCgiAnswer first = site.Run(call);
  call.clock = "2026-12-08 12:01:00";
  EXPECT_EQ(site.Run(call).Body(), first.Body());
  EXPECT_EQ(site.Log(), "");
  EXPECT_EQ(site.Rows("select Label, Time from PageImpress;"),
            (Rows{{"\xC4rger", "2026-12-08  12:01:00"}}));
  EXPECT_EQ(site.Rows("select Page, Nr, \"count\" from \"Pages.dat\";"),
            (Rows{{"http://site.example/m\xFCnchen.html", "\xC4rger", "2"}}));
  EXPECT_EQ(site.Rows("select SiteNo, LastKenn from \"Visitor.dat\";"), (Rows{{"2", "\xC4rger"}}));
}

TEST(BannerEndToEnd, ASiteValueNamingAColumnIsReadAsThatColumnWhereTheEngineDoesSo) {
  TBannerSite site;
  site.Run(SiteCall("Site=request"));
  // Inserted as text; in the update's SET list the engine reads the column.
  EXPECT_EQ(site.Rows("select LastKenn from \"Visitor.dat\";"), (Rows{{"request"}}));
  site.Run(SiteCall("Site=request", "2026-12-08 12:01:00"));
  EXPECT_EQ(site.Rows("select LastKenn from \"Visitor.dat\";"), (Rows{{"10.1e2e-agent/1.0"}}));
  EXPECT_EQ(site.Rows("select Label from PageImpress;"), (Rows{{"request"}}));
}

TEST(BannerEndToEnd, AMissingDatabaseIsLoggedThreeTimesAndAnswersTheTrailer) {
  TBannerSite site(/*with_database=*/false);
  const TCgiAnswer answer = site.Run(SiteCall("Site=top"));
  ExpectImage(answer, "");
  const std::string log = site.Log();
  const size_t before = log.find(" - BeforeDispatch ");
  const size_t visitor = log.find(" - VisitorAction ");
  const size_t after = log.find(" - AfterDispatch ");
  EXPECT_NE(before, std::string::npos) << log;
  EXPECT_LT(before, visitor) << log;
  EXPECT_LT(visitor, after) << log;
  EXPECT_NE(after, std::string::npos) << log;
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3);
  EXPECT_EQ(log.substr(0, 23), "2026.12.08  12:00:00 - ");
}

}  // namespace
}  // namespace banner
