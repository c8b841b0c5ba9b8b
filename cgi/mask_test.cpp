#include "cgi/mask.h"

#include <gtest/gtest.h>

#include "cgi/errors.h"
#include "platform/windows1252.h"

namespace cgi {
namespace {

using namespace platform::literals;

bool Matches(const std::string& pattern, const std::string& text) {
  return TMask(pattern).Matches(text);
}

TEST(Mask, StarMatchesAnyRunIncludingNone) {
  EXPECT_TRUE(Matches("/banner*", "/Banner/7"));
  EXPECT_TRUE(Matches("/banner*", "/banner"));
  EXPECT_FALSE(Matches("/banner*", "/x/banner"));
  EXPECT_TRUE(Matches("*", ""));
  EXPECT_TRUE(Matches("*a*b*", "xxaxxbxx"));
  EXPECT_FALSE(Matches("*a*b", "xxaxxbxxc"));
  EXPECT_TRUE(Matches("a**b", "ab"));
}

TEST(Mask, QuestionMarkMatchesOneCharacterButNothingAfterAStar) {
  EXPECT_TRUE(Matches("/?", "/x"));
  EXPECT_FALSE(Matches("/?", "/"));
  EXPECT_FALSE(Matches("/?", "/xy"));
  EXPECT_TRUE(Matches("/*?", "/"));
  EXPECT_TRUE(Matches("a*??b", "ab"));
}

TEST(Mask, SetsRangesAndNegation) {
  EXPECT_TRUE(Matches("/[a-c]x", "/Bx"));
  EXPECT_FALSE(Matches("/[a-c]x", "/dx"));
  EXPECT_TRUE(Matches("/[!a-c]x", "/dx"));
  EXPECT_FALSE(Matches("/[!a-c]x", "/ax"));
  EXPECT_TRUE(Matches("[0-9][0-9]", "42"));
  EXPECT_TRUE(Matches("[xyz-]", "-"));
  EXPECT_TRUE(Matches("[*?]", "?"));
}

TEST(Mask, OtherCharactersMatchThemselvesIgnoringAsciiCase) {
  EXPECT_TRUE(Matches("/Index", "/INDEX"));
  EXPECT_FALSE(Matches("/Index", "/Index/"));
  EXPECT_FALSE(Matches("\xE4", "\xC4"));  // only ASCII letters fold
}

TEST(Mask, EmptyPatternMatchesOnlyTheEmptyPath) {
  EXPECT_TRUE(Matches("", ""));
  EXPECT_FALSE(Matches("", "/"));
}

void ExpectInvalid(const std::string& pattern, int position) {
  try {
    TMask mask(pattern);
    ADD_FAILURE() << "accepted " << pattern;
  } catch (const EMaskException& e) {
    EXPECT_EQ(e.what(), "'" + pattern + "' ist eine ungültige Maske für ("_w1252 +
                            std::to_string(position) + ")");
  }
}

TEST(Mask, InvalidPatternsNameTheirFault) {
  ExpectInvalid("/[abc", 6);  // unclosed
  ExpectInvalid("/[]", 3);    // empty set
  ExpectInvalid("/[!]", 4);
  ExpectInvalid("/[-z]", 3);  // a range without a start
  ExpectInvalid("[a-c-e]", 5);
  std::string stars;
  for (int i = 0; i < 30; ++i) stars += "*a";
  EXPECT_NO_THROW(TMask{stars});
  ExpectInvalid(stars + "*", 61);
}

}  // namespace
}  // namespace cgi
