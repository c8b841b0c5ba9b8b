#include "platform/utf8_text.h"

#include <gtest/gtest.h>

#include <string>

namespace platform {
namespace {

TEST(Utf8Text, EveryWindows1252ByteGoesToUtf8AndBack) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  const std::string utf8 = Windows1252ToUtf8(all);
  EXPECT_EQ(Utf8ToWindows1252(utf8), all);
}

TEST(Utf8Text, LettersBeyondAsciiTakeTheirUnicodeForms) {
  EXPECT_EQ(Windows1252ToUtf8("gr\xFC\xDF \x80"), "gr\xC3\xBC\xC3\x9F \xE2\x82\xAC");
  EXPECT_EQ(Utf8ToWindows1252("gr\xC3\xBC\xC3\x9F \xE2\x82\xAC"), "gr\xFC\xDF \x80");
}

TEST(Utf8Text, TextThatIsNotConvertibleUtf8StaysAsItIs) {
  // A lone Windows-1252 byte, a cut sequence, an overlong form, and a
  // character Windows-1252 lacks.
  for (const std::string text : {"M\xFCller", "ab\xC3", "\xC0\xAF", "\xE2\x88\x9E x"}) {
    EXPECT_EQ(Utf8ToWindows1252(text), text);
  }
}

}  // namespace
}  // namespace platform
