#include "app/mk_html.h"

#include <gtest/gtest.h>

#include "app/exe_files.h"
#include "cgi/test_support.h"
#include "platform/file.h"

namespace banner {
namespace {

platform::DateTime At(int year, int month, int day, int hour, int minute, int second,
                      int millisecond = 0) {
  platform::DateTime moment;
  moment.year = year;
  moment.month = month;
  moment.day = day;
  moment.hour = hour;
  moment.minute = minute;
  moment.second = second;
  moment.millisecond = millisecond;
  return moment;
}

TEST(FormatDateTimeTest, BothPatternsHaveTwentyCharactersAndDropMilliseconds) {
  const platform::DateTime moment = At(2026, 12, 8, 4, 3, 24, 999);
  EXPECT_EQ(FormatDateTime(kLogStampPattern, moment), "2026.12.08  04:03:24");
  EXPECT_EQ(FormatDateTime(kTimeStringPattern, moment), "2026-12-08  04:03:24");
  // mm is the month except right after an hour.
  EXPECT_EQ(FormatDateTime("mm hh mm dd mm", At(2026, 7, 9, 23, 45, 0)), "07 23 45 09 07");
  EXPECT_EQ(FormatDateTime("hh\"mm\"mm 'yyyy'", At(2026, 7, 9, 23, 45, 0)), "23mm45 yyyy");
}

TEST(FormatDateTimeTest, TimeStringsOrderAsTextInTime) {
  const std::string earlier = FormatDateTime(kTimeStringPattern, At(2026, 9, 30, 23, 59, 59));
  const std::string later = FormatDateTime(kTimeStringPattern, At(2026, 10, 1, 0, 0, 0));
  EXPECT_LT(earlier, later);
  EXPECT_LT(FormatDateTime(kTimeStringPattern, At(999, 1, 1, 0, 0, 0)), later);
  EXPECT_EQ(FormatDateTime(kTimeStringPattern, At(999, 1, 1, 0, 0, 0)).size(), 20u);
}

TEST(PastTimeStringTest, SubtractsMinutesAndRollsTheDateBack) {
  EXPECT_EQ(PastTimeString(90, At(2026, 1, 1, 1, 0, 0)), "2025-12-31  23:30:00");
  EXPECT_EQ(PastTimeString(0, At(2026, 12, 8, 4, 3, 24, 870)), "2026-12-08  04:03:24");
  EXPECT_EQ(PastTimeString(2, At(2026, 3, 1, 0, 1, 5)), "2026-02-28  23:59:05");
  EXPECT_EQ(PastTimeString(2, At(2024, 3, 1, 0, 1, 5)), "2024-02-29  23:59:05");
  EXPECT_EQ(PastTimeString(1439, At(2026, 6, 15, 12, 0, 0)), "2026-06-14  12:01:00");
  EXPECT_THROW(PastTimeString(1440, At(2026, 6, 15, 12, 0, 0)), ETimeConversionError);
  EXPECT_THROW(PastTimeString(-1, At(2026, 6, 15, 12, 0, 0)), ETimeConversionError);
}

TEST(PastTimeStringTest, NowIsTheClockOfThisProcess) {
  const platform::DateTime before = platform::LocalNow();
  const std::string now = PastTimeString(0);
  const platform::DateTime after = platform::LocalNow();
  EXPECT_GE(now, FormatDateTime(kTimeStringPattern, before));
  EXPECT_LE(now, FormatDateTime(kTimeStringPattern, after));
  EXPECT_LT(PastTimeString(90), now);
}

TEST(FirstpartIPTest, KeepsThePartBeforeTheSecondDot) {
  EXPECT_EQ(FirstpartIP("192.168.10.20"), "192.168");
  EXPECT_EQ(FirstpartIP("10.1.2.3"), "10.1");
  EXPECT_EQ(FirstpartIP("127.0.0.1"), "127.0");
  EXPECT_EQ(FirstpartIP("1.2.3"), "1.2");
}

TEST(FirstpartIPTest, LeavesOtherAddressesWhole) {
  EXPECT_EQ(FirstpartIP("::1"), "::1");
  EXPECT_EQ(FirstpartIP("fe80::1"), "fe80::1");
  EXPECT_EQ(FirstpartIP("1.2."), "1.2.");  // the last character is not examined
  EXPECT_EQ(FirstpartIP("1.a.3.4"), "1.a.3.4");
  EXPECT_EQ(FirstpartIP("::ffff:10.1.2.3"), "::ffff:10.1.2.3");
  EXPECT_EQ(FirstpartIP("1.2.3.x"), "1.2");  // the letter comes after the second dot
  EXPECT_EQ(FirstpartIP("12"), "12");
  EXPECT_EQ(FirstpartIP(""), "");
}

TEST(LogErrorTest, CreatesTheLogThenAppendsBelow) {
  cgi::testing::TempDir dir;
  const std::string path = dir / "banner.txt";
  LogError(path, "BeforeDispatch Table not found", At(2026, 12, 8, 4, 3, 24, 500));
  LogError(path, "", At(2026, 12, 8, 4, 3, 25));
  EXPECT_EQ(cgi::testing::ReadFile(path),
            "2026.12.08  04:03:24 - BeforeDispatch Table not found\r\n"
            "2026.12.08  04:03:25 - \r\n");
  EXPECT_THROW(LogError(dir / "missing/banner.txt", "x", At(2026, 1, 1, 0, 0, 0)),
               platform::OsError);
}

TEST(LogErrorTest, TheLogLiesBesideTheExecutable) {
  EXPECT_EQ(LogPath(), ExecutableWithExtension(".txt"));
  EXPECT_EQ(LogPath().substr(0, ExecutableFolder().size()), ExecutableFolder());
  EXPECT_EQ(LogPath().substr(LogPath().size() - 4), ".txt");
}

TEST(ExeFilesTest, ChangeFileExtReplacesOnlyTheLastPartsExtension) {
  EXPECT_EQ(ChangeFileExt("/srv/cgi-bin/banner", ".txt"), "/srv/cgi-bin/banner.txt");
  EXPECT_EQ(ChangeFileExt("/srv/cgi-bin/banner.cgi", ".req"), "/srv/cgi-bin/banner.req");
  EXPECT_EQ(ChangeFileExt("/srv/a.b/banner", ".txt"), "/srv/a.b/banner.txt");
  EXPECT_EQ(ChangeFileExt("/srv/banner.x.exe", ".txt"), "/srv/banner.x.txt");
  EXPECT_EQ(ChangeFileExt("banner", ".txt"), "banner.txt");
  EXPECT_EQ(BesideExecutable("Notfound.gif"), ExecutableFolder() + "Notfound.gif");
  EXPECT_EQ(ExecutableFolder().back(), '/');
}

}  // namespace
}  // namespace banner
