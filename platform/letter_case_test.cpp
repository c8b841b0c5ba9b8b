#include "platform/letter_case.h"

#include <gtest/gtest.h>

#include "platform/hex_digit.h"

namespace platform {
namespace {

TEST(LetterCase, AsciiFoldingLeavesEveryOtherByte) {
  EXPECT_EQ(AsciiUpperCase("Banner.dat_09 {z}"), "BANNER.DAT_09 {Z}");
  EXPECT_EQ(AsciiLowerCase("Banner.DAT @[Z]"), "banner.dat @[z]");
  EXPECT_EQ(AsciiUpperCase("\xE4\xFF"), "\xE4\xFF");  // ä and ÿ stay
  for (int c = 0; c < 256; ++c) {
    const char ch = static_cast<char>(c);
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!letter) {
      EXPECT_EQ(AsciiUpper(ch), ch) << c;
      EXPECT_EQ(AsciiLower(ch), ch) << c;
    }
  }
  // '@' and '`' border the letters and are not folded onto them.
  EXPECT_FALSE(SameAsciiIgnoringCase("@", "`"));
  EXPECT_FALSE(SameAsciiIgnoringCase("[", "{"));
  EXPECT_TRUE(SameAsciiIgnoringCase("Pages.Dat", "PAGES.dAT"));
  EXPECT_FALSE(SameAsciiIgnoringCase("\xC4rger", "\xE4rger"));  // Ärger, ärger
  EXPECT_FALSE(SameAsciiIgnoringCase("ab", "abc"));
}

TEST(LetterCase, Windows1252FoldingPairsTheLettersOfTheUpperHalf) {
  EXPECT_TRUE(SameTextIgnoringCase("\xC4rger", "\xE4RGER"));                  // Ärger
  EXPECT_TRUE(SameTextIgnoringCase("\x8A\x8C\x8E\x9F", "\x9A\x9C\x9E\xFF"));  // Š Œ Ž Ÿ
  EXPECT_FALSE(SameTextIgnoringCase("\xD7", "\xF7"));  // × and ÷ are no letters
  EXPECT_FALSE(SameTextIgnoringCase("\xDF", "SS"));    // ß keeps its one byte
  EXPECT_FALSE(SameTextIgnoringCase("\xDF", "\xFF"));  // ß is not ÿ's capital
  // Every pair the folding makes is a lower-case letter and its capital.
  for (int c = 0; c < 256; ++c) {
    const unsigned char upper = Windows1252Upper(static_cast<unsigned char>(c));
    if (upper != c) {
      EXPECT_TRUE((c >= 'a' && c <= 'z') || (c >= 0xE0 && c != 0xF7) || c == 0x9A || c == 0x9C ||
                  c == 0x9E)
          << c;
    }
    // Both foldings agree on ASCII.
    if (c < 0x80) {
      EXPECT_EQ(upper, static_cast<unsigned char>(AsciiUpper(static_cast<char>(c))));
    }
  }
}

TEST(HexDigit, DigitsInEitherCaseAndNothingElse) {
  EXPECT_EQ(HexDigit('0'), 0);
  EXPECT_EQ(HexDigit('9'), 9);
  EXPECT_EQ(HexDigit('a'), 10);
  EXPECT_EQ(HexDigit('F'), 15);
  for (char c : {'g', 'G', '/', ':', '@', '`', ' ', '\0', '\xFF'}) EXPECT_EQ(HexDigit(c), -1) << c;
}

}  // namespace
}  // namespace platform
