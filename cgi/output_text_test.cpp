#include "cgi/output_text.h"

#include <gtest/gtest.h>

namespace cgi {
namespace {

TEST(OutputText, HeaderLineTextBlanksEveryControlByte) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  std::string line = HeaderLineText(all);
  ASSERT_EQ(line.size(), 256u);
  for (int byte = 0; byte < 256; ++byte) {
    char expected = byte < 32 || byte == 127 ? ' ' : static_cast<char>(byte);
    EXPECT_EQ(line[byte], expected) << byte;
  }
  EXPECT_EQ(HeaderLineText("a\r\nSet-Cookie: x"), "a  Set-Cookie: x");
  EXPECT_EQ(HeaderLineText(""), "");
}

TEST(OutputText, EscapeHTMLWritesTheFourSpecialCharactersAsEntities) {
  EXPECT_EQ(EscapeHTML("<a href=\"x\">&lt;</a>"), "&lt;a href=&quot;x&quot;&gt;&amp;lt;&lt;/a&gt;");
  EXPECT_EQ(EscapeHTML("'$zz' ist kein g\xfcltiger Integerwert\r\n"),
            "'$zz' ist kein g\xfcltiger Integerwert\r\n");
  EXPECT_EQ(EscapeHTML(""), "");
}

}  // namespace
}  // namespace cgi
