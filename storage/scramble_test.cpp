#include "storage/scramble.h"

#include <gtest/gtest.h>

#include <vector>

namespace strata {
namespace {

TEST(ScrambleTest, XorsWithRunningLowAndHighBytes) {
  // Seed 0x02FF: low starts at 0xFF and wraps to 0x00, high counts down 0x02, 0x01, 0x00, 0xFF.
  std::vector<uint8_t> bytes = {0x00, 0x00, 0x00, 0x00, 0xAA};
  Scramble(bytes.data(), bytes.size(), 0x02FF);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0xFF ^ 0x02, 0x00 ^ 0x01, 0x01 ^ 0x00, 0x02 ^ 0xFF,
                                         0xAA ^ 0x03 ^ 0xFE}));
}

TEST(ScrambleTest, IsItsOwnInverse) {
  std::vector<uint8_t> original(1000);
  for (size_t i = 0; i < original.size(); ++i) original[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint8_t> bytes = original;
  Scramble(bytes.data(), bytes.size(), kRecordScrambleSeed);
  EXPECT_NE(bytes, original);
  Scramble(bytes.data(), bytes.size(), kRecordScrambleSeed);
  EXPECT_EQ(bytes, original);
}

TEST(ScrambleTest, LeavesAreasOfWhole64KiBMultiplesUnchanged) {
  std::vector<uint8_t> bytes(65536, 0x11);
  Scramble(bytes.data(), bytes.size(), kRecordScrambleSeed);
  EXPECT_EQ(bytes, std::vector<uint8_t>(65536, 0x11));
  std::vector<uint8_t> longer(65537, 0x11);
  Scramble(longer.data(), longer.size(), kRecordScrambleSeed);
  EXPECT_NE(longer, std::vector<uint8_t>(65537, 0x11));
}

}  // namespace
}  // namespace strata
