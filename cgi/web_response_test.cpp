#include "cgi/cgi_response.h"

#include <gtest/gtest.h>

#include "cgi/date_time.h"
#include "cgi/test_request.h"

namespace cgi {
namespace {

class ResponseTest : public ::testing::Test {
 protected:
  TTestRequest request_{{{"SERVER_PROTOCOL", "HTTP/1.1"}}};
  TCGIResponse response_{request_};
};

// ----- values -----

TEST_F(ResponseTest, FreshResponseDefaults) {
  EXPECT_EQ(response_.StatusCode(), 200);
  EXPECT_EQ(response_.ReasonPhrase(), "OK");
  EXPECT_EQ(response_.ContentType(), "text/html");
  EXPECT_EQ(response_.Version(), "");  // the request has a protocol
  EXPECT_EQ(response_.Date(), -1);
  EXPECT_EQ(response_.Expires(), -1);
  EXPECT_EQ(response_.LastModified(), -1);
  EXPECT_EQ(response_.ContentLength(), 0);
  EXPECT_FALSE(response_.Sent());
  TTestRequest no_protocol({});
  EXPECT_EQ(TCGIResponse(no_protocol).Version(), "1.0");
}

TEST_F(ResponseTest, ValuesByIndexIgnoreIndexesOutOfRange) {
  response_.SetResponseField(6, "/there");
  EXPECT_EQ(response_.Location(), "/there");
  response_.SetResponseField(12, "x");
  response_.SetResponseField(-1, "x");
  EXPECT_EQ(response_.ResponseField(12), "");
  response_.SetResponseDate(3, 5.0);
  EXPECT_EQ(response_.ResponseDate(3), -1);
  response_.SetResponseDate(1, 5.0);
  EXPECT_EQ(response_.Expires(), 5.0);
  response_.SetResponseInteger(1, 9);
  EXPECT_EQ(response_.ResponseInteger(1), -1);
  response_.SetResponseInteger(0, 9);
  EXPECT_EQ(response_.ContentLength(), 9);
}

TEST_F(ResponseTest, StatusCodeSetsTheReasonPhrase) {
  response_.SetStatusCode(404);
  EXPECT_EQ(response_.ReasonPhrase(), "Not Found");
  response_.SetStatusCode(299);
  EXPECT_EQ(response_.ReasonPhrase(), "");
  EXPECT_EQ(ReasonPhraseFor(302), "Moved Temporarily");
  EXPECT_EQ(ReasonPhraseFor(406), "None Acceptable");
  EXPECT_EQ(ReasonPhraseFor(412), "Unless True");
  EXPECT_EQ(ReasonPhraseFor(504), "Gateway Timeout");
  EXPECT_EQ(ReasonPhraseFor(418), "");
  // An unchanged code keeps a phrase set by hand.
  response_.SetStatusCode(500);
  response_.SetReasonPhrase("Kaputt");
  response_.SetStatusCode(500);
  EXPECT_EQ(response_.ReasonPhrase(), "Kaputt");
}

TEST_F(ResponseTest, BodyAndStreamLengths) {
  response_.SetBody("hello");
  EXPECT_EQ(response_.ContentLength(), 5);
  response_.SetBodyStream(std::make_unique<TMemoryStream>(std::string(1000, 'x')));
  EXPECT_EQ(response_.ContentLength(), 1000);
  response_.SetBody("other text");
  EXPECT_EQ(response_.ContentLength(), 1000);  // the stream's size stays
  response_.SetBodyStream(nullptr);
  EXPECT_EQ(response_.ContentLength(), 10);
}

// ----- sending -----

TEST_F(ResponseTest, FreshResponseSendsThreeLinesAndTheEmptyLine) {
  response_.Send();
  EXPECT_EQ(request_.Output(), "Status: 200 OK\r\nContent-Type: text/html\r\nContent:\r\n\r\n");
  EXPECT_TRUE(response_.Sent());
}

TEST_F(ResponseTest, StreamBodyIsSentAndFreed) {
  std::string bytes;
  for (int i = 0; i < 1000; ++i) bytes += static_cast<char>(i * 7);
  response_.SetContentType("image/gif");
  response_.SetBodyStream(std::make_unique<TMemoryStream>(bytes));
  response_.Send();
  EXPECT_EQ(
      request_.Output(),
      "Status: 200 OK\r\nContent-Type: image/gif\r\nContent-Length: 1000\r\nContent:\r\n\r\n" +
          bytes);
  EXPECT_EQ(response_.BodyStream(), nullptr);
  EXPECT_EQ(response_.ContentLength(), 0);
}

TEST_F(ResponseTest, SendWithoutProtocolWritesOnlyTheBody) {
  TTestRequest request({});
  TCGIResponse response(request);
  response.SetBody("just this");
  response.Send();
  EXPECT_EQ(request.Output(), "just this");
  EXPECT_EQ(request.Writes(), 1);
}

TEST_F(ResponseTest, UnknownStatusFallsBackTo200OK) {
  response_.SetStatusCode(299);
  response_.Send();
  EXPECT_EQ(request_.Output().substr(0, 16), "Status: 200 OK\r\n");
  request_.ClearOutput();
  TCGIResponse other(request_);
  other.SetStatusCode(404);
  other.Send();
  EXPECT_EQ(request_.Output().substr(0, 23), "Status: 404 Not Found\r\n");
}

TEST_F(ResponseTest, SetBodyAfterStreamSendsTheStream) {
  response_.SetBodyStream(std::make_unique<TMemoryStream>("stream"));
  response_.SetBody("text");
  response_.Send();
  EXPECT_EQ(request_.Output(),
            "Status: 200 OK\r\nContent-Type: text/html\r\nContent-Length: 6\r\nContent:\r\n\r\n"
            "stream");
}

TEST_F(ResponseTest, EveryHeaderInItsPlace) {
  response_.SetStatusCode(201);
  response_.SetLocation("/loc");
  response_.SetAllow("GET");
  TCookie& cookie = response_.Cookies().Add();
  cookie.Name = "a";
  cookie.Value = "1";
  cookie.Path = "/x";
  response_.Cookies().Add() = TCookie{.Name = "b", .Value = "2", .Secure = true};
  response_.SetDerivedFrom("base");
  response_.SetExpires(EncodeDateTime(2024, 12, 5, 13, 45, 7));
  response_.SetLastModified(EncodeDateTime(2024, 12, 4, 1, 2, 3));
  response_.SetTitle("T");
  response_.SetWWWAuthenticate("Basic");
  response_.CustomHeaders().Add("X-One=1");
  response_.CustomHeaders().Add("x-one=2");
  response_.CustomHeaders().Add("X-Two=a=b");
  response_.SetContentVersion("v1");
  response_.SetContentEncoding("gzip");
  response_.SetContentType("text/plain");
  response_.SetVersion("never");
  response_.SetServer("never");
  response_.SetRealm("never");
  response_.SetDate(EncodeDateTime(2000, 1, 1, 0, 0, 0));
  response_.SetBody("body");
  response_.Send();
  EXPECT_EQ(request_.Output(),
            "Status: 201 Created\r\n"
            "Location: /loc\r\n"
            "Allow: GET\r\n"
            "Set-Cookie: a=1; path=/x\r\n"
            "Set-Cookie: b=2; secure\r\n"
            "Derived-From: base\r\n"
            "Expires: Thu, 05 Dec 2024 13:45:07 GMT\r\n"
            "Last-Modified: Wed, 04 Dec 2024 01:02:03 GMT\r\n"
            "Title: T\r\n"
            "WWW-Authenticate: Basic\r\n"
            "X-One: 1\r\n"
            "x-one: 1\r\n"  // every line of a name carries the first value
            "X-Two: a=b\r\n"
            "Content-Version: v1\r\n"
            "Content-Encoding: gzip\r\n"
            "Content-Type: text/plain\r\n"
            "Content-Length: 4\r\n"
            "Content:\r\n\r\n"
            "body");
  EXPECT_EQ(request_.Writes(), 2);  // the header block, then the body
}

TEST_F(ResponseTest, SendTwiceWritesTwice) {
  response_.SetBodyStream(std::make_unique<TMemoryStream>("abc"));
  response_.Send();
  response_.Send();
  EXPECT_EQ(request_.Output(),
            "Status: 200 OK\r\nContent-Type: text/html\r\nContent-Length: 3\r\nContent:\r\n\r\nabc"
            "Status: 200 OK\r\nContent-Type: text/html\r\nContent:\r\n\r\n");
}

TEST_F(ResponseTest, FailedWritesStillMarkTheResponseSent) {
  request_.SetFailWrites(true);
  response_.SetBody("x");
  response_.Send();
  EXPECT_TRUE(response_.Sent());
  EXPECT_EQ(request_.Writes(), 2);
}

TEST_F(ResponseTest, CopyStreamWritesFromThePositionInBlocksOf8192) {
  TMemoryStream stream(std::string(20000, 'z'));
  stream.SetPosition(100);
  response_.CopyStream(stream);
  EXPECT_EQ(request_.Output(), std::string(19900, 'z'));
  EXPECT_EQ(request_.Writes(), 3);  // 8192 + 8192 + 3516
  EXPECT_EQ(stream.Position(), 20000);
}

TEST_F(ResponseTest, RedirectSendsThe302Page) {
  response_.Redirect("http://x/y");
  EXPECT_EQ(request_.Output(),
            "Status: 302 Moved Temporarily\r\nLocation: http://x/y\r\nContent-Type: text/html\r\n"
            "Content-Length: 184\r\nContent:\r\n\r\n"
            "<html><title>Dokument wurde verschoben 302</title>\r\n"
            "<body><h1>Objekt wurde verschoben</h1><hr>\r\n"
            "Das Objekt kann <a HREF=\"http://x/y\">hier</a> gefunden werden.<br>\r\n"
            "<br></body></html>\r\n");
}

TEST_F(ResponseTest, FreeingWithoutSendWritesNothing) {
  {
    TCGIResponse unsent(request_);
    unsent.SetBody("never");
  }
  EXPECT_EQ(request_.Output(), "");
}

TEST(Cookie, HeaderTextHasOnlyTheSetParts) {
  EXPECT_EQ(CookieHeaderText({.Name = "a", .Value = "1", .Path = "/x"}), "a=1; path=/x");
  EXPECT_EQ(CookieHeaderText({.Name = "a", .Value = "1"}), "a=1");
  EXPECT_EQ(CookieHeaderText({.Name = "s",
                              .Value = "v",
                              .Path = "/",
                              .Domain = "example.org",
                              .Expires = EncodeDateTime(2024, 12, 5, 13, 45, 7),
                              .Secure = true}),
            "s=v; domain=example.org; path=/; expires=Thu, 05 Dec 2024 13:45:07 GMT; secure");
  // Expiry counts from above -1: the date-time origin is a valid expiry.
  EXPECT_EQ(CookieHeaderText({.Name = "z", .Value = "", .Expires = 0}),
            "z=; expires=Sat, 30 Dec 1899 00:00:00 GMT");
}

TEST(Cookie, CollectionKeepsOrderAndItsResponse) {
  TTestRequest request({});
  TCGIResponse response(request);
  TCookieCollection& cookies = response.Cookies();
  EXPECT_EQ(cookies.WebResponse(), &response);
  cookies.Add().Name = "first";
  cookies.Add().Name = "second";
  ASSERT_EQ(cookies.Count(), 2);
  TCookie copy = cookies[1];
  EXPECT_EQ(copy.Name, "second");
  EXPECT_EQ(copy.Expires, -1);
}

TEST(MemoryStream, ReadWriteAndPosition) {
  TMemoryStream stream;
  stream.WriteText("hello");
  EXPECT_EQ(stream.Size(), 5);
  stream.SetPosition(7);
  stream.WriteText("!");
  EXPECT_EQ(stream.Bytes(), std::string("hello\0\0!", 8));
  stream.SetPosition(3);
  char buffer[10];
  EXPECT_EQ(stream.Read(buffer, 10), 5);
  EXPECT_EQ(stream.Read(buffer, 10), 0);
  stream.SetPosition(-4);
  EXPECT_EQ(stream.Position(), 0);
}

}  // namespace
}  // namespace cgi
