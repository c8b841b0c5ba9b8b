#include "platform/clock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <thread>

namespace platform {
namespace {

void ExpectValid(const DateTime& t) {
  EXPECT_GE(t.year, 2000);
  EXPECT_GE(t.month, 1);
  EXPECT_LE(t.month, 12);
  EXPECT_GE(t.day, 1);
  EXPECT_LE(t.day, 31);
  EXPECT_GE(t.hour, 0);
  EXPECT_LE(t.hour, 23);
  EXPECT_GE(t.minute, 0);
  EXPECT_LE(t.minute, 59);
  EXPECT_GE(t.second, 0);
  EXPECT_LE(t.second, 59);
  EXPECT_GE(t.millisecond, 0);
  EXPECT_LE(t.millisecond, 999);
  EXPECT_GE(t.day_of_week, 0);
  EXPECT_LE(t.day_of_week, 6);
}

int MinutesOfDay(const DateTime& t) { return t.hour * 60 + t.minute; }

TEST(ClockTest, LocalAndUtcFollowTheTimeZone) {
  const char* saved = std::getenv("TZ");
  const std::string saved_value = saved ? saved : "";

  setenv("TZ", "UTC0", 1);
  tzset();
  DateTime local = LocalNow();
  DateTime utc = UtcNow();
  ExpectValid(local);
  ExpectValid(utc);
  // Taken moments apart: equal unless a minute boundary fell in between.
  EXPECT_LE((MinutesOfDay(local) - MinutesOfDay(utc) + 1440) % 1440, 1);

  // Three hours east of Greenwich, no daylight saving time.
  setenv("TZ", "XYZ-3", 1);
  tzset();
  local = LocalNow();
  utc = UtcNow();
  ExpectValid(local);
  const int difference = (MinutesOfDay(local) - MinutesOfDay(utc) + 1440) % 1440;
  EXPECT_GE(difference, 180);
  EXPECT_LE(difference, 181);
  // Weekday and date move together.
  if (local.day == utc.day) {
    EXPECT_EQ(local.day_of_week, utc.day_of_week);
  }

  if (saved) {
    setenv("TZ", saved_value.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

// The clock is read from the environment once per process: each case runs
// in a freshly started copy of the test program.
TEST(ClockTest, ASetClockStandsStillAtItsMomentInLocalTime) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("TZ", "XYZ-3", 1);
        tzset();
        setenv("BANNER_CLOCK", "2026-12-08 12:00:00.250", 1);
        const DateTime local = LocalNow();
        const DateTime utc = UtcNow();
        bool ok = local.year == 2026 && local.month == 12 && local.day == 8 && local.hour == 12 &&
                  local.minute == 0 && local.second == 0 && local.millisecond == 250 &&
                  local.day_of_week == 2;
        ok = ok && utc.day == 8 && utc.hour == 9 && utc.millisecond == 250;
        SleepMs(5);
        const DateTime later = LocalNow();
        ok = ok && later.second == 0 && later.millisecond == 250;
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(ClockTest, ATextThatIsNoMomentLeavesTheSystemClock) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const char* text :
       {"2026-13-01 00:00:00", "2026-02-29 12:00:00", "2026-12-08 12:00", "2026-12-08 12:00:00.5",
        "2026-12-08 12:00:00 ", "1999-12-31T23:59:59", ""}) {
    EXPECT_EXIT(
        {
          setenv("BANNER_CLOCK", text, 1);
          const time_t before = time(nullptr);
          const DateTime local = LocalNow();
          std::tm tm{};
          localtime_r(&before, &tm);
          std::exit(local.year == tm.tm_year + 1900 && local.day == tm.tm_mday ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "")
        << text;
  }
}

TEST(ClockTest, TickIsMonotonicAndSleepWaits) {
  const uint64_t start = TickCountMs();
  SleepMs(20);
  const uint64_t end = TickCountMs();
  EXPECT_GE(end - start, 20u);
  SleepMs(0);
  EXPECT_GE(TickCountMs(), end);
}

TEST(ClockTest, ThreadIdsAreDistinctPerThreadAndProcess) {
  const uint64_t main_id = CurrentThreadId();
  EXPECT_NE(main_id, 0u);
  EXPECT_EQ(CurrentThreadId(), main_id);
  EXPECT_EQ(main_id, static_cast<uint64_t>(getpid())) << "the main thread's id is the pid";
  uint64_t other_id = 0;
  std::thread([&] { other_id = CurrentThreadId(); }).join();
  EXPECT_NE(other_id, 0u);
  EXPECT_NE(other_id, main_id);

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(CurrentThreadId() == static_cast<uint64_t>(getpid()) ? 0 : 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace platform
