#include "cgi/web_request.h"

#include <gtest/gtest.h>

#include "cgi/date_time.h"
#include "cgi/errors.h"
#include "cgi/test_request.h"

namespace cgi {
namespace {

TEST(RequestMethod, ComparedWithoutRegardToCase) {
  EXPECT_EQ(TTestRequest({{"REQUEST_METHOD", "post"}}).MethodType(), mtPost);
  EXPECT_EQ(TTestRequest({{"REQUEST_METHOD", "Get"}}).MethodType(), mtGet);
  EXPECT_EQ(TTestRequest({{"REQUEST_METHOD", "PUT"}}).MethodType(), mtPut);
  EXPECT_EQ(TTestRequest({{"REQUEST_METHOD", "HEAD"}}).MethodType(), mtHead);
  EXPECT_EQ(TTestRequest({{"REQUEST_METHOD", "OPTIONS"}}).MethodType(), mtAny);
  EXPECT_EQ(TTestRequest({{"REQUEST_METHOD", "GETX"}}).MethodType(), mtAny);
  TTestRequest absent({});
  EXPECT_EQ(absent.MethodType(), mtAny);
  EXPECT_EQ(absent.Method(), "");
}

TEST(RequestValues, IndexesReadTheirVariables) {
  TTestRequest request({{"REQUEST_METHOD", "GET"},
                        {"SERVER_PROTOCOL", "HTTP/1.1"},
                        {"QUERY_STRING", "a=1"},
                        {"PATH_INFO", "/p"},
                        {"HTTP_REFERER", "http://r/"},
                        {"HTTP_USER_AGENT", "agent"},
                        {"REMOTE_ADDR", "10.1.2.3"},
                        {"SERVER_PORT", "8080"},
                        {"HTTP_COOKIE", "c=1"},
                        {"HTTP_AUTHORIZATION", "Basic x"}});
  EXPECT_EQ(request.StringField(0), "GET");
  EXPECT_EQ(request.ProtocolVersion(), "HTTP/1.1");
  EXPECT_EQ(request.Query(), "a=1");
  EXPECT_EQ(request.PathInfo(), "/p");
  EXPECT_EQ(request.Referer(), "http://r/");
  EXPECT_EQ(request.StringField(13), "agent");
  EXPECT_EQ(request.RemoteAddr(), "10.1.2.3");
  EXPECT_EQ(request.IntegerField(24), 8080);
  EXPECT_EQ(request.Cookie(), "c=1");
  EXPECT_EQ(request.Authorization(), "Basic x");
  EXPECT_EQ(request.StringField(-1), "");
  EXPECT_EQ(request.StringField(29), "");
  EXPECT_EQ(request.IntegerField(29), -1);
  EXPECT_EQ(request.DateField(29), -1);
}

TEST(RequestValues, ValuesAreReadAfreshOnEveryCall) {
  TTestRequest request({{"REMOTE_ADDR", "1.2.3.4"}});
  EXPECT_EQ(request.RemoteAddr(), "1.2.3.4");
  request.Env()["REMOTE_ADDR"] = "5.6.7.8";
  EXPECT_EQ(request.RemoteAddr(), "5.6.7.8");
}

TEST(RequestValues, HttpPrefixedNamesFallBackToThePlainVariable) {
  TTestRequest plain({{"CONTENT_TYPE", "text/plain"}, {"CONTENT_LENGTH", "0"}});
  EXPECT_EQ(plain.StringField(15), "text/plain");
  EXPECT_EQ(plain.ContentLength(), 0);
  TTestRequest both({{"CONTENT_TYPE", "text/plain"}, {"HTTP_CONTENT_TYPE", "image/gif"}});
  EXPECT_EQ(both.ContentType(), "image/gif");
  TTestRequest empty_prefixed({{"CONTENT_TYPE", "text/plain"}, {"HTTP_CONTENT_TYPE", ""}});
  EXPECT_EQ(empty_prefixed.ContentType(), "text/plain");
}

TEST(RequestValues, IntegerFieldIsMinusOneForNonNumbers) {
  EXPECT_EQ(StrToIntDef("42", -1), 42);
  EXPECT_EQ(StrToIntDef(" -7", -1), -7);
  EXPECT_EQ(StrToIntDef("+3", -1), 3);
  EXPECT_EQ(StrToIntDef("", -1), -1);
  EXPECT_EQ(StrToIntDef("abc", -1), -1);
  EXPECT_EQ(StrToIntDef("12x", -1), -1);
  EXPECT_EQ(StrToIntDef("-", -1), -1);
  EXPECT_EQ(StrToIntDef("2147483647", -1), 2147483647);
  EXPECT_EQ(StrToIntDef("-2147483648", 0), -2147483647 - 1);
  EXPECT_EQ(StrToIntDef("2147483648", -1), -1);
  EXPECT_EQ(StrToIntDef("99999999999999999999", -1), -1);
}

TEST(RequestValues, DatesParseOrGiveMinusOne) {
  TTestRequest request(
      {{"HTTP_IF_MODIFIED_SINCE", "Thu, 05 Dec 2024 13:45:07 GMT"}, {"HTTP_DATE", "garbage"}});
  EXPECT_EQ(request.IfModifiedSince(), EncodeDateTime(2024, 12, 5, 13, 45, 7));
  EXPECT_EQ(request.Expires(), -1);
  EXPECT_THROW(request.Date(), EConvertError);
}

TEST(RequestBody, ContentIsReadOnceAtConstruction) {
  for (const char* length : {"0", "abc", "", "-5"}) {
    TTestRequest request({{"CONTENT_LENGTH", length}}, "body");
    EXPECT_EQ(request.Content(), "") << length;
    EXPECT_EQ(request.Reads(), 0) << length;
  }
  TTestRequest absent({}, "body");
  EXPECT_EQ(absent.Reads(), 0);
  TTestRequest whole({{"CONTENT_LENGTH", "4"}}, "bodyrest");
  EXPECT_EQ(whole.Content(), "body");
  EXPECT_EQ(whole.Reads(), 1);
}

TEST(RequestBody, ShortFirstReadLeavesOnlyTheFirstPiece) {
  TTestRequest request({{"CONTENT_LENGTH", "10"}}, "0123456789", 4);
  EXPECT_EQ(request.Content(), "0123");
  EXPECT_EQ(request.Reads(), 1);
  // Value 25 is the stored body, also after further reads.
  char rest[16];
  EXPECT_EQ(request.ReadInput(rest, 16), 4);
  EXPECT_EQ(request.StringField(25), "0123");
}

TEST(RequestBody, ReadInputTextGivesExactlyWhatTheReadReturned) {
  TTestRequest request({}, "abcdef", 4);
  EXPECT_EQ(request.ReadInputText(0), "");
  EXPECT_EQ(request.ReadInputText(-3), "");
  EXPECT_EQ(request.ReadInputText(10), "abcd");
  EXPECT_EQ(request.ReadInputText(10), "ef");
  EXPECT_EQ(request.ReadInputText(10), "");
  request.SetFailReads(true);
  EXPECT_EQ(request.ReadInputText(10), "");
}

TEST(RequestBody, ClaimedLengthDoesNotSizeTheBuffer) {
  TTestRequest small({{"CONTENT_LENGTH", "2147483647"}}, "a=1&b=%41+B");
  EXPECT_EQ(small.Content(), "a=1&b=%41+B");
  EXPECT_EQ(small.ReadCounts(), (std::vector<int>{kInputPiece}));
  EXPECT_LE(small.Content().capacity(), static_cast<size_t>(kInputPiece));
  // A longer body that one read hands over whole still gives one piece.
  std::string body(kInputPiece + 10, 'x');
  TTestRequest large({{"CONTENT_LENGTH", std::to_string(body.size())}}, body);
  EXPECT_EQ(large.Content().size(), static_cast<size_t>(kInputPiece));
}

TEST(RequestOutput, WriteOutputTextWritesOnceAndReportsSuccess) {
  TTestRequest request({});
  EXPECT_FALSE(request.WriteOutputText(""));
  EXPECT_EQ(request.Writes(), 0);
  EXPECT_TRUE(request.WriteOutputText(std::string("a\0b", 3)));
  EXPECT_EQ(request.Writes(), 1);
  EXPECT_EQ(request.Output(), std::string("a\0b", 3));
  request.SetFailWrites(true);
  EXPECT_FALSE(request.WriteOutputText("x"));
  EXPECT_EQ(request.TranslatePath("/x"), "");
}

TEST(RequestValues, VariableNamesOfTheTable) {
  EXPECT_STREQ(RequestVariableName(0), "REQUEST_METHOD");
  EXPECT_STREQ(RequestVariableName(16), "HTTP_CONTENT_LENGTH");
  EXPECT_STREQ(RequestVariableName(23), "SCRIPT_NAME");
  EXPECT_EQ(RequestVariableName(25), nullptr);
  EXPECT_STREQ(RequestVariableName(28), "HTTP_AUTHORIZATION");
  EXPECT_EQ(RequestVariableName(29), nullptr);
}

}  // namespace
}  // namespace cgi
