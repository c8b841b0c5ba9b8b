#include "app/random_choice.h"

#include <gtest/gtest.h>

#include <vector>

namespace banner {
namespace {

platform::DateTime Utc(int hour, int minute, int second, int millisecond) {
  platform::DateTime moment;
  moment.year = 2026;
  moment.month = 12;
  moment.day = 8;
  moment.hour = hour;
  moment.minute = minute;
  moment.second = second;
  moment.millisecond = millisecond;
  return moment;
}

TEST(RandomSourceTest, SeedIsTheTimeOfDayInMilliseconds) {
  EXPECT_EQ(TRandomSource::FromTimeOfDay(Utc(0, 0, 0, 0)).state(), 0u);
  EXPECT_EQ(TRandomSource::FromTimeOfDay(Utc(12, 0, 0, 0)).state(), 43200000u);
  EXPECT_EQ(TRandomSource::FromTimeOfDay(Utc(12, 34, 56, 789)).state(), 45296789u);
  EXPECT_EQ(TRandomSource::FromTimeOfDay(Utc(23, 59, 59, 999)).state(), 86399999u);
}

TEST(RandomSourceTest, DrawsScaleTheAdvancedState) {
  TRandomSource random(0);
  EXPECT_EQ(random.Below(67), 0);
  EXPECT_EQ(random.state(), 1u);
  EXPECT_EQ(random.Below(10), 0);
  EXPECT_EQ(random.state(), 134775814u);
  EXPECT_EQ(random.Below(0), 0);  // advances all the same
  EXPECT_EQ(random.state(), 134775814u * 134775813u + 1u);

  // Every draw stays in range, and all values of a small range come up.
  TRandomSource many(45296789);
  std::vector<int> seen(7, 0);
  for (int i = 0; i < 7000; ++i) {
    const int32_t value = many.Below(7);
    ASSERT_GE(value, 0);
    ASSERT_LT(value, 7);
    ++seen[value];
  }
  for (int count : seen) EXPECT_GT(count, 800);
}

TEST(ChooseCandidateTest, SeededExamples) {
  // Midnight: the first draw below 67 is 0 (even), k below 10 is 0.
  TRandomSource midnight = TRandomSource::FromTimeOfDay(Utc(0, 0, 0, 0));
  EXPECT_EQ(ChooseCandidate(midnight, 10), 0);
  // Noon: 25 (odd), so k is drawn below (10 / 3) * 2 = 6, and is 2.
  TRandomSource noon = TRandomSource::FromTimeOfDay(Utc(12, 0, 0, 0));
  EXPECT_EQ(noon.Below(67), 25);
  noon = TRandomSource::FromTimeOfDay(Utc(12, 0, 0, 0));
  EXPECT_EQ(ChooseCandidate(noon, 10), 2);
  // 12:34:56.789: 32 (even), k below 9 is 2.
  TRandomSource later = TRandomSource::FromTimeOfDay(Utc(12, 34, 56, 789));
  EXPECT_EQ(later.Below(67), 32);
  later = TRandomSource::FromTimeOfDay(Utc(12, 34, 56, 789));
  EXPECT_EQ(ChooseCandidate(later, 9), 2);
}

TEST(ChooseCandidateTest, StaysAmongTheCandidatesAndFavoursTheLeastShown) {
  // Odd first draw with one or two candidates: the first one.
  TRandomSource noon = TRandomSource::FromTimeOfDay(Utc(12, 0, 0, 0));
  EXPECT_EQ(ChooseCandidate(noon, 1), 0);
  noon = TRandomSource::FromTimeOfDay(Utc(12, 0, 0, 0));
  EXPECT_EQ(ChooseCandidate(noon, 2), 0);
  TRandomSource none(12345);
  EXPECT_EQ(ChooseCandidate(none, 0), 0);

  // Over the seeds of a whole second, each with 9 candidates: always in
  // range, and the last third (only reachable by even draws) is chosen
  // about 34/67 * 3/9 of the time.
  int last_third = 0;
  for (int ms = 0; ms < 1000; ++ms) {
    TRandomSource random = TRandomSource::FromTimeOfDay(Utc(8, 15, 30, ms));
    const int32_t k = ChooseCandidate(random, 9);
    ASSERT_GE(k, 0);
    ASSERT_LT(k, 9);
    if (k >= 6) ++last_third;
  }
  EXPECT_GT(last_third, 110);
  EXPECT_LT(last_third, 230);
}

}  // namespace
}  // namespace banner
