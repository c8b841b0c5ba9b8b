#include "storage/record/date_time.h"

#include <gtest/gtest.h>

namespace strata {
namespace {

int32_t Day(int year, int month, int day) {
  int32_t number = 0;
  EXPECT_TRUE(TryEncodeDate(year, month, day, number)) << year << "-" << month << "-" << day;
  return number;
}

TEST(DayNumber, FixedPoints) {
  EXPECT_EQ(Day(1, 1, 1), 1);
  EXPECT_EQ(Day(1899, 12, 30), 693594);
  EXPECT_EQ(Day(1900, 1, 1), 693596);
  EXPECT_EQ(Day(2000, 3, 1), 730180);
  EXPECT_EQ(Day(9999, 12, 31), kMaxDayNumber);
}

TEST(DayNumber, RejectsImpossibleDates) {
  int32_t number = 0;
  EXPECT_FALSE(TryEncodeDate(2023, 2, 29, number));
  EXPECT_TRUE(TryEncodeDate(2024, 2, 29, number));
  EXPECT_FALSE(TryEncodeDate(1900, 2, 29, number));
  EXPECT_TRUE(TryEncodeDate(2000, 2, 29, number));
  EXPECT_FALSE(TryEncodeDate(0, 1, 1, number));
  EXPECT_FALSE(TryEncodeDate(10000, 1, 1, number));
  EXPECT_FALSE(TryEncodeDate(2020, 13, 1, number));
  EXPECT_FALSE(TryEncodeDate(2020, 4, 31, number));
  TCalendarDate date;
  EXPECT_FALSE(TryDecodeDate(0, date));
  EXPECT_FALSE(TryDecodeDate(kMaxDayNumber + 1, date));
}

TEST(DayNumber, EveryDayOfSomeYearsRoundTrips) {
  for (int year : {1, 4, 100, 400, 1899, 1900, 2000, 2023, 2024, 9999}) {
    int32_t expected = Day(year, 1, 1);
    for (int month = 1; month <= 12; ++month) {
      for (int day = 1; day <= DaysInMonth(year, month); ++day) {
        int32_t number = 0;
        ASSERT_TRUE(TryEncodeDate(year, month, day, number));
        ASSERT_EQ(number, expected++);  // consecutive across month ends
        TCalendarDate date;
        ASSERT_TRUE(TryDecodeDate(number, date));
        ASSERT_EQ(date.year, year);
        ASSERT_EQ(date.month, month);
        ASSERT_EQ(date.day, day);
      }
    }
  }
}

TEST(TimeOfDay, EncodeDecode) {
  int32_t ms = 0;
  ASSERT_TRUE(TryEncodeTime(23, 59, 59, 999, ms));
  EXPECT_EQ(ms, kMsPerDay - 1);
  const TTimeOfDay time = DecodeTime(ms);
  EXPECT_EQ(time.Hour, 23);
  EXPECT_EQ(time.Minute, 59);
  EXPECT_EQ(time.Second, 59);
  EXPECT_EQ(time.Millisecond, 999);
  EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, ms));
  EXPECT_FALSE(TryEncodeTime(1, 60, 0, 0, ms));
  EXPECT_FALSE(TryEncodeTime(1, 0, 0, 1000, ms));
}

TEST(Timestamp, SplitsIntoDayAndTime) {
  const double stamp = MakeTimestamp(693594, 45296789);  // 1899-12-30 12:34:56.789
  EXPECT_EQ(stamp, 693594.0 * 86400000 + 45296789);
  int32_t day = 0;
  int32_t ms = 0;
  SplitTimestamp(stamp, day, ms);
  EXPECT_EQ(day, 693594);
  EXPECT_EQ(ms, 45296789);
  SplitTimestamp(MakeTimestamp(0, 5000), day, ms);
  EXPECT_EQ(day, 0);
  EXPECT_EQ(ms, 5000);
  SplitTimestamp(1e300, day, ms);
  EXPECT_EQ(day, 0);
}

TEST(CurrentDateTime, TodayIsAPlausibleDay) {
  const int32_t today = CurrentDate();
  EXPECT_GT(today, Day(2020, 1, 1));
  EXPECT_LE(today, kMaxDayNumber);
  const int32_t now = CurrentTime();
  EXPECT_GE(now, 0);
  EXPECT_LT(now, kMsPerDay);
}

}  // namespace
}  // namespace strata
