#include "platform/windows1252.h"

#include <gtest/gtest.h>

#include <string>

namespace platform {
namespace {

// Converted while compiling: a wrong byte fails the build, not only the test.
static_assert(std::string_view("gültiger"_w1252) == "g\xFCltiger");

TEST(Windows1252Literal, EachCharacterBecomesItsOneByte) {
  EXPECT_EQ(std::string("Ungültiges Maß für später"_w1252),
            "Ung\xFCltiges Ma\xDF f\xFCr sp\xE4ter");
  // Characters of the block 0x80..0x9F and the ends of the upper half.
  EXPECT_EQ(std::string("€ Š Ÿ — ÿ À"_w1252), "\x80 \x8A \x9F \x97 \xFF \xC0");
  EXPECT_EQ(std::string("plain ASCII"_w1252), "plain ASCII");
  EXPECT_EQ(std::string(""_w1252), "");
}

}  // namespace
}  // namespace platform
