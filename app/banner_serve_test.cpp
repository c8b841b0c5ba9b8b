// The banner program under a real lighttpd on 127.0.0.1, set up by
// scripts/serve and scripts/load-sample: concurrent clients from many visitor
// keys, then the tables must account for every answer exactly, and every
// table must pass the engine's own check.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "app/test_banner_site.h"

namespace banner {
namespace {

using testing::TTables;
namespace fs = std::filesystem;

// Runs a shell command; its standard output, and whether it exited with 0.
std::pair<std::string, bool> Shell(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return {"", false};
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  return {output, ::pclose(pipe) == 0};
}

// The served folder, below the build folder so that the server's own user
// can reach it; stopped and removed at the end.
class TServedSite {
 public:
  TServedSite() : run_(BANNER_BUILD_DIR "/app/serve-test-" + std::to_string(::getpid())) {
    fs::remove_all(run_);
    started_ =
        Shell(Env() + BANNER_SOURCE_DIR "/scripts/serve start '" BANNER_PROGRAM "'").second &&
        Shell(Env() + BANNER_SOURCE_DIR "/scripts/load-sample > /dev/null").second;
  }
  ~TServedSite() {
    Shell(Env() + BANNER_SOURCE_DIR "/scripts/serve stop > /dev/null");
    std::error_code ignored;
    fs::remove_all(run_, ignored);
  }

  bool started() const { return started_; }
  std::string data() const { return run_ + "/cgi-bin/Bannerdata"; }
  int port() const { return std::stoi(cgi::testing::ReadFile(run_ + "/port")); }
  std::string Env() const {
    return "BANNER_RUN='" + run_ + "' BANNER_BUILD='" BANNER_BUILD_DIR "' ";
  }

 private:
  std::string run_;
  bool started_ = false;
};

TEST(BannerServed, EightClientsTwoThousandRequestsAllAccountedFor) {
  TServedSite site;
  ASSERT_TRUE(site.started());
  cgi::testing::TempDir private_dir;
  TTables tables(site.data(), private_dir.path());
  std::map<std::string, int> credit_before;
  for (const auto& row : tables.Rows("select ID, Impresskto from \"User.dat\";")) {
    credit_before[row[0]] = std::stoi(row[1]);
  }

  const auto [report, all_banners] =
      Shell(BANNER_BUILD_DIR "/bench/banner_load " + std::to_string(site.port()) +
            " --clients 8 --requests 2000 --keys 300");
  EXPECT_TRUE(all_banners) << report;
  EXPECT_NE(report.find("2000 banners, 0 failed"), std::string::npos) << report;
  std::printf("%s", report.c_str());

  // Owners 1 and 3 (credit 1000 and unlimited) always have a candidate, so
  // every answer was a counted banner.
  std::map<std::string, int> shown_by_owner;
  int impressions = 0;
  for (const auto& row : tables.Rows("select User, impress from \"Banner.dat\";")) {
    shown_by_owner[row[0]] += std::stoi(row[1]);
    impressions += std::stoi(row[1]);
  }
  EXPECT_EQ(impressions, 2000);
  for (const auto& row : tables.Rows("select ID, Impresskto from \"User.dat\";")) {
    const int before = credit_before[row[0]];
    const int expected = before > 0 ? std::max(0, before - shown_by_owner[row[0]]) : before;
    EXPECT_EQ(std::stoi(row[1]), expected) << "owner " << row[0];
  }
  // One page and label; two first views at the same moment may each open a
  // row of their own, but every view is counted once.
  int views = 0, valid = 0;
  for (const auto& row : tables.Rows("select Page, Nr, \"count\", valid from \"Pages.dat\";")) {
    EXPECT_EQ(row[0], "http://127.0.0.1/load.html");
    EXPECT_EQ(row[1], "top");
    views += std::stoi(row[2]);
    valid += std::stoi(row[3]);
  }
  EXPECT_EQ(views, 2000);
  EXPECT_EQ(valid, 2000);
  // Each request either opened a visit (1) or counted one more (+1).
  int requests = 0;
  for (const auto& row : tables.Rows("select SiteNo from \"Visitor.dat\";")) {
    requests += std::stoi(row[0]);
  }
  EXPECT_EQ(requests, 2000);

  for (const char* table : {"Banner", "User", "Visitor", "PageImpress", "Links", "Pages"}) {
    const auto [output, ok] =
        Shell(std::string("'" STRATA_PROGRAM "' verify '") + site.data() + "/" + table + "' 2>&1");
    EXPECT_TRUE(ok) << table << ": " << output;
  }
}

}  // namespace
}  // namespace banner
