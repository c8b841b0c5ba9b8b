// Look-ups by text columns through the executor: the rows with and without
// the tables' indexes, and the records a look-up reads in a large table.
#include <gtest/gtest.h>

#include <algorithm>

#include "sql/exec/test_exec_tables.h"
#include "storage/data/data_file.h"
#include "storage/table/data_table.h"

namespace strata {
namespace {

using testing::TExecFixture;
using Rows = std::vector<std::string>;

std::string VisitorKey(int n) {
  return "10.0." + std::to_string(n % 250) + " Mozilla/5.0 #" + std::to_string(n);
}

void FillBannerTables(TExecFixture& db) {
  for (int n = 1; n <= 40; ++n) {
    const std::string time = "2026-12-08  0" + std::to_string(n % 10) + ":00:00";
    db.Run("insert into \"Visitor.dat\" (request, LastReq, SiteNo, LastKenn) values ('" +
           VisitorKey(n % 30) + "', '" + time + "', " + std::to_string(n) + ", 'side" +
           std::to_string(n % 4) + "')");
    db.Run("insert into \"PageImpress.dat\" (Visitor, Label, Time, BannerID) values (" +
           std::to_string(n % 7) + ", 'label" + std::to_string(n % 5) + "', '" + time + "', " +
           std::to_string(n % 3) + ")");
    db.Run(
        "insert into \"Pages.dat\" (Page, Nr, Time, valid, \"count\") values "
        "('http://host/page" +
        std::to_string(n % 6) + "', 'site" + std::to_string(n % 4) + "', '" + time + "', 1, " +
        std::to_string(n) + ")");
  }
  db.Run("insert into \"Pages.dat\" (Page, Nr) values ('http://host/Page1', 'Site1')");
}

TEST(TextLookupTest, TextConditionsGiveTheSameRowsWithAndWithoutIndexes) {
  TExecFixture indexed(true);
  TExecFixture plain(false);
  FillBannerTables(indexed);
  FillBannerTables(plain);
  const char* queries[] = {
      "Select id, SiteNo from \"Visitor.dat\" where (request = '10.0.7 Mozilla/5.0 #7') and "
      "(LastReq > '2026-12-08  02:33:24')",
      "select id from visitor where request = 'nobody'",
      "select id from visitor where LastReq < '2026-12-08  03:00:00'",
      "select id from visitor where LastReq between '2026-12-08  02:00:00' and "
      "'2026-12-08  05:00:00'",
      "select id from visitor where request in ('10.0.3 Mozilla/5.0 #3', '10.0.9 Mozilla/5.0 #9')",
      "select id from visitor where request like '10.0.1%'",
      "select BannerID from \"PageImpress.dat\" where (Visitor = 3) and (Label = 'label2')",
      "select Visitor from \"PageImpress.dat\" where Label >= 'label3'",
      "select ID, \"count\" from \"Pages.dat\" where (Page = 'http://host/page1') and "
      "(Nr = 'site1')",
      "select ID from \"Pages.dat\" where upper(Page) = 'HTTP://HOST/PAGE1'",
      "select ID from \"Pages.dat\" where lower(Page) = 'http://host/page1'",
      "select ID from \"Pages.dat\" where upper(Page) like 'HTTP://HOST/PAGE%'",
      "select ID from \"Pages.dat\" where Nr > 'site2' and Nr <> 'site3'",
  };
  for (const char* sql : queries) {
    SCOPED_TRACE(sql);
    // Without ORDER BY the order of the rows is the walk's: compare sets.
    Rows expected = plain.Rows(sql);
    Rows found = indexed.Rows(sql);
    std::sort(expected.begin(), expected.end());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, expected);
  }
  EXPECT_EQ(indexed.Rows("select id from visitor where request = '10.0.7 Mozilla/5.0 #7'").size(),
            2u);
}

// Records fetched from the visitor table (from its cache or its file).
uint64_t RecordsFetched(TDataCursor& cursor) {
  const TDataFileStatistics& statistics = cursor.Table().DataFile().Statistics();
  return statistics.Hits + statistics.RecordsRead;
}

TEST(TextLookupTest, AVisitorLookUpInALargeTableReadsOnlyItsRecords) {
  constexpr int kVisitors = 100000;
  TExecFixture db;
  TDataCursor visitors(db.SharedDatabase());
  visitors.Open("Visitor");
  for (int n = 1; n <= kVisitors; ++n) {
    visitors.InitRecord();
    visitors.PutFieldText(2, VisitorKey(n));
    visitors.PutFieldText(3, "2026-12-08  04:00:00");
    visitors.PutFieldText(4, std::to_string(n));
    visitors.InsertRecord();
  }
  ASSERT_EQ(visitors.RecordCount(), static_cast<uint32_t>(kVisitors));
  const uint64_t before = RecordsFetched(visitors);
  EXPECT_EQ(db.Rows("Select id, SiteNo from \"Visitor.dat\" where (request = '" +
                    VisitorKey(77777) + "') and (LastReq > '2026-12-08  02:33:24');"),
            (Rows{"77777|77777"}));
  const uint64_t fetched = RecordsFetched(visitors) - before;
  EXPECT_LE(fetched, 20u) << "a look-up by the key read " << fetched << " records";
  EXPECT_EQ(
      db.Rows("Select id from \"Visitor.dat\" where request like '" + VisitorKey(4321) + "%'"),
      (Rows{"4321"}));
  EXPECT_LE(RecordsFetched(visitors) - before, 40u);
}

}  // namespace
}  // namespace strata
