#include "storage/scramble.h"

#include <gtest/gtest.h>

#include <vector>

namespace strata {
namespace {

TEST(ScrambleTest, XorsWithRunningLowAndHighBytes) {
  // Low byte starts at 0xFF and wraps to 0x00; high byte counts down 0x02, 0x01, 0x00, 0xFF.
  std::vector<uint8_t> bytes = {0x00, 0x00, 0x00, 0x00, 0xAA};
  Scramble(bytes.data(), bytes.size(), TScrambleSeed{0xFF, 0x02});
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0xFF ^ 0x02, 0x00 ^ 0x01, 0x01 ^ 0x00, 0x02 ^ 0xFF,
                                         0xAA ^ 0x03 ^ 0xFE}));
}

TEST(ScrambleTest, IsItsOwnInverseForEveryLength) {
  for (size_t length : {1u, 1000u, 65536u}) {
    std::vector<uint8_t> original(length);
    for (size_t i = 0; i < length; ++i) original[i] = static_cast<uint8_t>(i * 7);
    std::vector<uint8_t> bytes = original;
    Scramble(bytes.data(), bytes.size(), kRecordSeed);
    EXPECT_NE(bytes, original) << length;
    Scramble(bytes.data(), bytes.size(), kRecordSeed);
    EXPECT_EQ(bytes, original) << length;
  }
}

}  // namespace
}  // namespace strata
