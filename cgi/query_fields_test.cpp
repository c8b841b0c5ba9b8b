#include "cgi/query_fields.h"

#include <gtest/gtest.h>

#include "cgi/errors.h"
#include "cgi/test_request.h"
#include "platform/windows1252.h"

namespace cgi {
namespace {

using namespace platform::literals;

TStringList Query(std::string_view text) {
  TStringList list;
  SplitFields("&", "", text, list);
  return list;
}

std::vector<std::string> Entries(const TStringList& list) { return {list.begin(), list.end()}; }

using Strings = std::vector<std::string>;

TEST(SplitFields, SplitsAtSeparatorsAndSkipsEmptyFields) {
  EXPECT_EQ(Entries(Query("a=1&b=x+y%21")), (Strings{"a=1", "b=x y!"}));
  EXPECT_EQ(Entries(Query("a=1&&b=2&")), (Strings{"a=1", "b=2"}));
  EXPECT_EQ(Entries(Query("")), Strings{});
  EXPECT_EQ(Entries(Query("&&&")), Strings{});
  EXPECT_EQ(Entries(Query("nocount")), Strings{"nocount"});
}

TEST(SplitFields, LineBreaksSeparateAndLeadingWhiteSpaceIsSkipped) {
  EXPECT_EQ(Entries(Query("a=1\r\nb=2\nc=3")), (Strings{"a=1", "b=2", "c=3"}));
  TStringList list;
  SplitFields(";", " \t", "  a=1;\t b = 2 ", list);
  EXPECT_EQ(Entries(list), (Strings{"a=1", "b = 2 "}));
}

TEST(SplitFields, NulEndsTheText) {
  EXPECT_EQ(Entries(Query(std::string_view("a=1&b\0=2&c=3", 12))), (Strings{"a=1", "b"}));
}

TEST(SplitFields, AppendsToTheList) {
  TStringList list;
  list.Add("kept=1");
  SplitFields("&", "", "a=1", list);
  EXPECT_EQ(Entries(list), (Strings{"kept=1", "a=1"}));
}

TEST(SplitFields, LeadingQuoteIsDroppedWithItsClosingQuote) {
  EXPECT_EQ(Entries(Query("\"a&b\"&c")), (Strings{"a&b", "c"}));
  // Text after the closing quote becomes a field of its own.
  EXPECT_EQ(Entries(Query("\"a&b\"xy&c")), (Strings{"a&b", "xy", "c"}));
}

TEST(SplitFields, InnerQuotesStayAndSkipTheCharacterAfterThem) {
  EXPECT_EQ(Entries(Query("x=\"a&b\"")), Strings{"x=\"a&b\""});
  EXPECT_EQ(Entries(Query("x=\"a&b\"&c=1")), (Strings{"x=\"a&b\"", "c=1"}));
  EXPECT_EQ(Entries(Query("x=\"a&b\"zc=1")), (Strings{"x=\"a&b\"", "c=1"}));
}

TEST(SplitFields, UnclosedQuoteRunsToTheEnd) {
  EXPECT_EQ(Entries(Query("\"a&b")), Strings{"a&b"});
  EXPECT_EQ(Entries(Query("x=\"a&b\r\nc")), Strings{"x=\"a&b\r\nc"});
  EXPECT_EQ(Entries(Query("\"")), Strings{});
  EXPECT_EQ(Entries(Query("a&\"")), Strings{"a"});
}

TEST(SplitFields, DecodingHappensAfterSplitting) {
  TStringList list = Query("a=x%26y&b%3Dc=1");
  EXPECT_EQ(Entries(list), (Strings{"a=x&y", "b=c=1"}));
  EXPECT_EQ(list.Values("b"), "c=1");  // the encoded "=" moved the name's end
}

TEST(SplitFields, DecodedLineBreakSplitsOnlyThroughTheTextForm) {
  TStringList list = Query("a=1%0Db=2");
  EXPECT_EQ(Entries(list), Strings{"a=1\rb=2"});
  TStringList copy;
  copy.SetText(list.Text());
  EXPECT_EQ(Entries(copy), (Strings{"a=1", "b=2"}));
}

TEST(DecodeURLText, PlusAndPercentEscapes) {
  EXPECT_EQ(DecodeURLText("a=%41%42"), "a=AB");
  EXPECT_EQ(DecodeURLText("%4a%4A"), "JJ");
  EXPECT_EQ(DecodeURLText("a=%%41"), "a=%41");
  EXPECT_EQ(DecodeURLText("1+1"), "1 1");
  EXPECT_EQ(DecodeURLText("%00%ff"), std::string("\0\xff", 2));
  EXPECT_EQ(DecodeURLText(""), "");
}

void ExpectConversionError(std::string_view text, const std::string& message) {
  try {
    DecodeURLText(text);
    ADD_FAILURE() << "no error for " << text;
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.what(), message);
  }
}

TEST(DecodeURLText, BadEscapeRaisesTheConversionError) {
  ExpectConversionError("a=%zz", "'$zz' ist kein gültiger Integerwert"_w1252);
  ExpectConversionError("%4g", "'$4g' ist kein gültiger Integerwert"_w1252);
}

TEST(DecodeURLText, ConversionMessageIsWindows1252) {
  // "ü" as the single byte FC, like every other text of the system.
  ExpectConversionError("%zz", std::string("'$zz' ist kein g\xFCltiger Integerwert"));
}

TEST(DecodeURLText, EscapeCutShortByTheEndNeverReadsPastIt) {
  ExpectConversionError("a=%", "'$' ist kein gültiger Integerwert"_w1252);
  ExpectConversionError("a=%4", "'$4' ist kein gültiger Integerwert"_w1252);
  // A field that ends in "%" inside a longer query does not see the next field.
  EXPECT_THROW(Query("a=%4&b=1"), EConvertError);
}

TEST(QueryFieldList, BuiltOnceFromTheQueryString) {
  TTestRequest request({{"QUERY_STRING", "Site=A&site=B&nocount"}});
  TStringList& fields = request.QueryFieldList();
  EXPECT_EQ(Entries(fields), (Strings{"Site=A", "site=B", "nocount"}));
  EXPECT_EQ(fields.Values("site"), "A");
  EXPECT_EQ(fields.IndexOfName("nocount"), -1);
  // Later changes of the environment do not reach the list.
  request.Env()["QUERY_STRING"] = "x=1";
  EXPECT_EQ(&request.QueryFieldList(), &fields);
  EXPECT_EQ(request.QueryFieldList().Count(), 3);
}

TEST(QueryFieldList, BadEscapeRaisesOnFirstUse) {
  TTestRequest request({{"QUERY_STRING", "a=%zz"}});
  EXPECT_THROW(request.QueryFieldList(), EConvertError);
  TTestRequest empty({});
  EXPECT_EQ(empty.QueryFieldList().Count(), 0);
}

}  // namespace
}  // namespace cgi
