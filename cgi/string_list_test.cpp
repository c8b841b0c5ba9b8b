#include "cgi/string_list.h"

#include <gtest/gtest.h>

namespace cgi {
namespace {

TStringList ListOf(std::initializer_list<const char*> entries) {
  TStringList list;
  for (const char* entry : entries) list.Add(entry);
  return list;
}

TEST(FieldList, LookupIgnoresCaseAndTakesTheFirstMatch) {
  TStringList list = ListOf({"Site=A", "site=B", "nocount", "empty=", "x=a=b"});
  EXPECT_EQ(list.IndexOfName("SITE"), 0);
  EXPECT_EQ(list.Values("site"), "A");
  EXPECT_EQ(list.Values("x"), "a=b");  // the value keeps further "="
  EXPECT_EQ(list.IndexOfName("empty"), 3);
  EXPECT_EQ(list.Values("empty"), "");
  EXPECT_EQ(list.IndexOfName("missing"), -1);
  EXPECT_EQ(list.Values("missing"), "");
}

TEST(FieldList, EntryWithoutEqualsHasNoName) {
  TStringList list = ListOf({"nocount", "=v"});
  EXPECT_EQ(list.IndexOfName("nocount"), -1);
  EXPECT_EQ(list.Names(0), "");
  // An entry that starts with "=" has the empty name.
  EXPECT_EQ(list.IndexOfName(""), 1);
  EXPECT_EQ(list.Values(""), "v");
}

TEST(FieldList, NamesCompareWithWindows1252CaseRules) {
  TStringList list =
      ListOf({"Gr\xC4\xDF"
              "e=1"});  // "GrÄße" with upper-case A umlaut
  EXPECT_EQ(list.Values("gr\xE4\xDF"
                        "e"),
            "1");
  EXPECT_TRUE(SameText("\x8A", "\x9A"));   // S caron
  EXPECT_FALSE(SameText("\xD7", "\xF7"));  // multiplication and division signs
  EXPECT_FALSE(SameText("ab", "abc"));
}

TEST(FieldList, TextFormEndsEveryEntryWithCrLf) {
  EXPECT_EQ(ListOf({"a=1", "", "b"}).Text(), "a=1\r\n\r\nb\r\n");
  EXPECT_EQ(TStringList().Text(), "");
}

TEST(FieldList, SetTextSplitsAtEveryLineBreakAndStopsAtNul) {
  TStringList list;
  list.SetText("a\rb\nc\r\nd\n\re");
  // CR LF is one break; LF CR is two.
  EXPECT_EQ(list, ListOf({"a", "b", "c", "d", "", "e"}));
  list.SetText(std::string_view("x=1\r\n\r\ny=2\0z=3", 14));
  EXPECT_EQ(list, ListOf({"x=1", "", "y=2"}));
  list.SetText("");
  EXPECT_EQ(list.Count(), 0);
  list.SetText("only\r\n");
  EXPECT_EQ(list, ListOf({"only"}));
}

TEST(FieldList, CopyThroughTextSplitsValuesHoldingLineBreaks) {
  TStringList list = ListOf({"Site=a\rIndex=5", "n=x\0y"});
  list[1] = std::string("n=x\0y", 5);
  TStringList copy;
  copy.SetText(list.Text());
  EXPECT_EQ(copy, ListOf({"Site=a", "Index=5", "n=x"}));
}

}  // namespace
}  // namespace cgi
