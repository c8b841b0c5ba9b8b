#include "platform/calendar.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(Calendar, LeapYearsAndMonthLengths) {
  EXPECT_TRUE(IsLeapYear(2024));
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_FALSE(IsLeapYear(2023));
  EXPECT_EQ(DaysInMonth(2024, 2), 29);
  EXPECT_EQ(DaysInMonth(1900, 2), 28);
  EXPECT_EQ(DaysInMonth(2023, 4), 30);
  EXPECT_EQ(DaysInMonth(2023, 12), 31);
  EXPECT_TRUE(IsValidDate(1, 1, 1));
  EXPECT_TRUE(IsValidDate(9999, 12, 31));
  EXPECT_FALSE(IsValidDate(0, 12, 31));
  EXPECT_FALSE(IsValidDate(10000, 1, 1));
  EXPECT_FALSE(IsValidDate(2023, 2, 29));
  EXPECT_FALSE(IsValidDate(2023, 13, 1));
  EXPECT_FALSE(IsValidDate(2023, 1, 0));
}

TEST(Calendar, DayNumbersAndWeekdaysOfKnownDates) {
  EXPECT_EQ(DayNumber(1, 1, 1), 1);
  EXPECT_EQ(DayNumber(1899, 12, 30), kDayNumber18991230);
  EXPECT_EQ(DayNumber(9999, 12, 31), kDayNumber99991231);
  EXPECT_EQ(DayNumber(2000, 3, 1) - DayNumber(2000, 2, 28), 2);
  EXPECT_EQ(DayOfWeek(DayNumber(1, 1, 1)), 1);       // Monday
  EXPECT_EQ(DayOfWeek(DayNumber(1970, 1, 1)), 4);    // Thursday
  EXPECT_EQ(DayOfWeek(DayNumber(2024, 12, 5)), 4);   // Thursday
  EXPECT_EQ(DayOfWeek(DayNumber(1899, 12, 30)), 6);  // Saturday
  EXPECT_EQ(DayOfWeek(0), 0);                        // 0000-12-31, a Sunday
  EXPECT_EQ(DayOfWeek(-6), 1);
}

TEST(Calendar, EveryDayNumberRoundTripsAlsoBeyondTheValidYears) {
  // From the day before year 1 (the gateway's scale reaches it when rounding)
  // to a day past 9999.
  int64_t expected = DayNumber(0, 12, 31);
  EXPECT_EQ(expected, 0);
  for (int64_t n = expected; n <= kDayNumber99991231 + 1; ++n) {
    const CalendarDate date = DateOfDayNumber(n);
    ASSERT_EQ(DayNumber(date.year, date.month, date.day), n);
    ASSERT_GE(date.day, 1);
    ASSERT_LE(date.day, DaysInMonth(date.year, date.month));
  }
  const CalendarDate last = DateOfDayNumber(kDayNumber99991231 + 1);
  EXPECT_EQ(last.year, 10000);
  EXPECT_EQ(last.month, 1);
  EXPECT_EQ(last.day, 1);
}

}  // namespace
}  // namespace platform
