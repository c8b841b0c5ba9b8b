#include "storage/cursor/cursor_filter.h"

#include <gtest/gtest.h>

namespace strata {
namespace {

TEST(RecordsBitmapTest, CountsEachRecordOnce) {
  TRecordsBitmap bitmap;
  EXPECT_FALSE(bitmap.Contains(1));
  EXPECT_FALSE(bitmap.Contains(100000));  // beyond what was ever added
  bitmap.Add(63);
  bitmap.Add(64);
  bitmap.Add(64);
  bitmap.Add(200000);
  EXPECT_EQ(bitmap.Count(), 3u);
  EXPECT_TRUE(bitmap.Contains(63) && bitmap.Contains(64) && bitmap.Contains(200000));
  EXPECT_FALSE(bitmap.Contains(65));
  bitmap.Remove(64);
  bitmap.Remove(64);
  bitmap.Remove(5000000);
  EXPECT_EQ(bitmap.Count(), 2u);
  bitmap.Clear();
  EXPECT_EQ(bitmap.Count(), 0u);
  EXPECT_FALSE(bitmap.Contains(63));
}

}  // namespace
}  // namespace strata
