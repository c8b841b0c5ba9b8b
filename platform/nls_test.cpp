#include "platform/nls.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

namespace platform::nls {
namespace {

using namespace std::string_literals;

int Sign(int value) { return (value > 0) - (value < 0); }

// Whether ICU's libraries are mapped; a program with ICU linked in has none
// to map, and IcuLoaded alone tells.
bool MapsMentionIcu([[maybe_unused]] bool expected) {
#ifdef BANNER_ICU_LINKED_IN
  return expected;
#else
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.find("libicu") != std::string::npos) return true;
  }
  return false;
#endif
}

// Runs in a freshly started copy of the test program (threadsafe death test
// style), so no other test has loaded ICU before.
TEST(NlsStartupTest, AsciiUnderUsEnglishNeverLoadsIcu) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        bool ok = !IcuLoaded() && !MapsMentionIcu(false);
        ok = ok && IsLocaleInstalled(0) && IsLocaleInstalled(kUsEnglish);
        ok = ok && CompareText(0, "abc", "ABC") < 0 && CompareText(kUsEnglish, "a-b", "ab") < 0;
        ok = ok && CompareTextIgnoreCase(kUsEnglish, "Banner", "BANNER") == 0;
        ok = ok && ToUpper(0, "site=top") == "SITE=TOP" && ToLower(kUsEnglish, "ABC") == "abc";
        ok = ok && !IcuLoaded() && !MapsMentionIcu(false);
        // A byte above 127 needs ICU.
        ok = ok && CompareText(kUsEnglish, "r\xE9sum\xE9", "resume") == 0;
        ok = ok && IcuLoaded() && MapsMentionIcu(true);
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(Windows1252Test, EveryByteRoundTrips) {
  for (int b = 0; b < 256; ++b) {
    const char16_t u = Windows1252ToUnicode(static_cast<uint8_t>(b));
    uint8_t back = 0;
    ASSERT_TRUE(UnicodeToWindows1252(u, &back)) << b;
    EXPECT_EQ(back, b);
  }
  EXPECT_EQ(Windows1252ToUnicode(0x41), u'A');
  EXPECT_EQ(Windows1252ToUnicode(0x80), u'\u20AC');  // euro sign
  EXPECT_EQ(Windows1252ToUnicode(0x8A), u'\u0160');  // S caron
  EXPECT_EQ(Windows1252ToUnicode(0x9F), u'\u0178');  // Y diaeresis
  EXPECT_EQ(Windows1252ToUnicode(0x81), u'\u0081');  // undefined
  EXPECT_EQ(Windows1252ToUnicode(0xE9), u'\u00E9');
  uint8_t byte = 0;
  EXPECT_FALSE(UnicodeToWindows1252(u'\u0130', &byte));  // dotted capital I
  EXPECT_FALSE(UnicodeToWindows1252(u'\u0080', &byte));  // 0x80 is the euro sign
  EXPECT_FALSE(UnicodeToWindows1252(u'\u039C', &byte));  // Greek capital mu
}

// Pure ASCII text under US English takes the built-in tables; each result
// must have the sign ICU gives for the same texts.
TEST(NlsFastPathTest, EveryPairOfAsciiCharactersOrdersAsIcu) {
  for (int a = 0; a < 128; ++a) {
    for (int b = 0; b < 128; ++b) {
      const std::string x(1, static_cast<char>(a)), y(1, static_cast<char>(b));
      ASSERT_EQ(Sign(CompareText(kUsEnglish, x, y)), CompareTextWithIcu(kUsEnglish, x, y, false))
          << a << " vs " << b;
      ASSERT_EQ(Sign(CompareTextIgnoreCase(0, x, y)), CompareTextWithIcu(0, x, y, true))
          << a << " vs " << b;
    }
  }
}

std::string RandomAscii(std::mt19937& rng) {
  static const std::string kCommon =
      "aAbBcCeEsSzZ019 -_.,;:!?'\"()[]{}@*/\\&#%`^+<=>|~$\t\r\n\x01\x1f\x7f";
  const int length = std::uniform_int_distribution<int>(0, 10)(rng);
  std::string text;
  for (int i = 0; i < length; ++i) {
    if (std::uniform_int_distribution<int>(0, 3)(rng) == 0) {
      text += static_cast<char>(std::uniform_int_distribution<int>(0, 127)(rng));
    } else {
      text += kCommon[std::uniform_int_distribution<size_t>(0, kCommon.size() - 1)(rng)];
    }
  }
  return text;
}

// A near neighbour: one letter's case flipped, one character replaced, added
// or removed, so that later levels (case) and punctuation get to decide.
std::string Mutate(std::string text, std::mt19937& rng) {
  const std::string other = RandomAscii(rng) + "x";
  const size_t pos =
      text.empty() ? 0 : std::uniform_int_distribution<size_t>(0, text.size() - 1)(rng);
  switch (std::uniform_int_distribution<int>(0, 4)(rng)) {
    case 0:
      for (size_t i = pos; i < text.size(); ++i) {
        if (std::isalpha(static_cast<unsigned char>(text[i]))) {
          text[i] = static_cast<char>(text[i] ^ 0x20);
          break;
        }
      }
      break;
    case 1:
      if (!text.empty()) text[pos] = other[0];
      break;
    case 2:
      text.insert(pos, 1, other[0]);
      break;
    case 3:
      if (!text.empty()) text.erase(pos, 1);
      break;
    default:
      return other;
  }
  return text;
}

TEST(NlsFastPathTest, RandomAsciiStringsOrderAsIcu) {
  std::mt19937 rng(20240601);
  for (int round = 0; round < 5000; ++round) {
    const std::string a = RandomAscii(rng);
    const std::string b = Mutate(a, rng);
    ASSERT_EQ(Sign(CompareText(0, a, b)), CompareTextWithIcu(0, a, b, false))
        << '"' << a << "\" vs \"" << b << '"';
    ASSERT_EQ(Sign(CompareTextIgnoreCase(kUsEnglish, a, b)),
              CompareTextWithIcu(kUsEnglish, a, b, true))
        << '"' << a << "\" vs \"" << b << '"';
  }
}

TEST(NlsCompareTest, UsEnglishStringSort) {
  // Case counts, lower case first, but only after all letters are equal.
  EXPECT_NE(CompareText(0, "abc", "ABC"), 0);
  EXPECT_LT(CompareText(0, "abc", "ABC"), 0);
  EXPECT_LT(CompareText(0, "Aa", "ab"), 0);
  EXPECT_EQ(CompareTextIgnoreCase(0, "abc", "ABC"), 0);
  EXPECT_LT(CompareTextIgnoreCase(0, "abc", "ABD"), 0);
  // Punctuation is a symbol, before digits and letters; never ignored.
  EXPECT_LT(CompareText(0, "co-op", "coop"), 0);
  EXPECT_LT(CompareText(0, "a b", "ab"), 0);
  EXPECT_LT(CompareText(0, "9", "a"), 0);
  EXPECT_LT(CompareText(0, "_", "-"), 0);
  // A prefix first; trailing blanks count; ignorable controls do not.
  EXPECT_LT(CompareText(0, "ab", "abc"), 0);
  EXPECT_GT(CompareText(0, "abc ", "abc"), 0);
  EXPECT_EQ(CompareText(0, "a\0b"s, "ab"), 0);
  EXPECT_EQ(CompareText(0, "", ""), 0);
}

TEST(NlsCompareTest, AccentsAreIgnored) {
  // "resume" and "résumé" are the same word in every locale served here.
  for (uint32_t id : {0u, kUsEnglish, 1031u, 1036u, 3082u}) {
    EXPECT_EQ(CompareText(id, "resume", "r\xE9sum\xE9"), 0) << id;
    EXPECT_EQ(CompareTextWithIcu(id, "resume", "r\xE9sum\xE9", false), 0) << id;
    // Case still counts on an accented letter...
    EXPECT_LT(CompareText(id, "r\xE9sum\xE9", "R\xC9SUM\xC9"), 0) << id;
    EXPECT_EQ(CompareTextIgnoreCase(id, "r\xE9sum\xE9", "R\xC9SUM\xC9"), 0) << id;
    // ... and an accent never outweighs a later letter.
    EXPECT_LT(CompareText(id, "r\xE9sum\xE9", "resumf"), 0) << id;
  }
  // Long texts as well (beyond any buffer kept on the stack).
  const std::string long_text(300, 'e');
  EXPECT_EQ(CompareText(1031, long_text + "\xE9", long_text + "e"), 0);
  EXPECT_LT(CompareText(1031, long_text + "\xE9", long_text + "f"), 0);
  EXPECT_GT(CompareText(1031, long_text + "\xC9", long_text + "e"), 0);
  EXPECT_EQ(CompareText(0, "na\xEFve", "naive"), 0);  // ï
  EXPECT_EQ(CompareText(0, "\x8A", "S"), 0);          // Š
}

TEST(NlsCompareTest, LocalesOrderDifferently) {
  // Swedish sorts ä after z; German sorts it as a.
  EXPECT_GT(CompareText(1053, "\xE4", "z"), 0);
  EXPECT_LT(CompareText(1031, "\xE4", "z"), 0);
  EXPECT_EQ(CompareText(1031, "\xC4pfel", "Apfel"), 0);
  // ß is ss at the letter level.
  EXPECT_EQ(CompareTextIgnoreCase(1031, "STRASSE",
                                  "stra\xDF"
                                  "e"),
            0);
  // Turkish capital I is the capital of dotless ı, a letter before i.
  EXPECT_GT(CompareText(1055, "i", "I"), 0);
  EXPECT_NE(CompareTextIgnoreCase(1055, "i", "I"), 0);
  EXPECT_EQ(CompareTextIgnoreCase(kUsEnglish, "i", "I"), 0);
}

TEST(NlsLocaleTest, InstalledLocales) {
  EXPECT_TRUE(IsLocaleInstalled(0));
  EXPECT_TRUE(IsLocaleInstalled(kUsEnglish));
  EXPECT_TRUE(IsLocaleInstalled(1031));                   // German
  EXPECT_TRUE(IsLocaleInstalled(1055));                   // Turkish
  EXPECT_TRUE(IsLocaleInstalled(3082));                   // Spanish (modern)
  EXPECT_TRUE(IsLocaleInstalled(MakeLocaleId(1031, 1)));  // German phone book
  EXPECT_EQ(MakeLocaleId(1031, 1), 0x10407u);

  EXPECT_FALSE(IsLocaleInstalled(0x7FFF));
  EXPECT_FALSE(IsLocaleInstalled(0x7FFF));  // cached answer
  EXPECT_THROW(CompareText(0x7FFF, "a", "b"), std::runtime_error);
  EXPECT_THROW(CompareTextIgnoreCase(0x7FFF, "a", "b"), std::runtime_error);
  EXPECT_THROW(ToUpper(0x7FFF, "a"), std::runtime_error);
}

TEST(NlsCaseTest, Windows1252Letters) {
  for (uint32_t id : {0u, 1031u, 1036u}) {
    EXPECT_EQ(ToUpper(id, "r\xE9sum\xE9"), "R\xC9SUM\xC9") << id;  // é -> É
    EXPECT_EQ(ToLower(id, "\xC4pfel"), "\xE4pfel") << id;          // Ä -> ä
    EXPECT_EQ(ToUpper(id, "\xE4"), "\xC4") << id;
    EXPECT_EQ(ToUpper(id,
                      "stra\xDF"
                      "e"),
              "STRA\xDF"
              "E")
        << id;                                     // ß stays one byte
    EXPECT_EQ(ToUpper(id, "\xFF"), "\x9F") << id;  // ÿ -> Ÿ
    EXPECT_EQ(ToLower(id, "\x9F"), "\xFF") << id;
    EXPECT_EQ(ToUpper(id, "\x9A\x9C\x9E"), "\x8A\x8C\x8E") << id;  // š œ ž
    EXPECT_EQ(ToLower(id, "\x8A\x8C\x8E"), "\x9A\x9C\x9E") << id;
    EXPECT_EQ(ToUpper(id, "\xB5"), "\xB5") << id;  // µ: its capital is Greek
    EXPECT_EQ(ToUpper(id, "\x80\x81 1-2"), "\x80\x81 1-2") << id;
    EXPECT_EQ(ToUpper(id, "a\0b"s), "A\0B"s) << id;
  }
  // Turkish dotted and dotless i have no Windows-1252 form: kept as they are.
  EXPECT_EQ(ToUpper(1055, "i"), "i");
  EXPECT_EQ(ToLower(1055, "I"), "I");
  EXPECT_EQ(ToUpper(1055, "\xE7"), "\xC7");  // ç -> Ç
}

TEST(NlsCaseTest, AsciiFastPathMapsAsIcu) {
  // A text with one byte above 127 goes through the locale's ICU tables.
  for (int c = 0; c < 128; ++c) {
    const std::string ascii(1, static_cast<char>(c));
    EXPECT_EQ(ToUpper(kUsEnglish, ascii) + "\xC9", ToUpper(kUsEnglish, ascii + "\xE9")) << c;
    EXPECT_EQ(ToLower(0, ascii) + "\xE9", ToLower(0, ascii + "\xC9")) << c;
  }
}

}  // namespace
}  // namespace platform::nls
