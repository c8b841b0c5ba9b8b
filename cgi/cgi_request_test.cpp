#include "cgi/cgi_request.h"

#include <gtest/gtest.h>

#include "cgi/post_content.h"
#include "cgi/test_support.h"
#include "platform/process.h"

namespace cgi {
namespace {

using testing::RunInChild;

void Emit(const std::string& text) { platform::WriteStandardOutput(text.data(), text.size()); }

TEST(CGIRequest, ReadsTheEnvironmentAndTheFirstPieceOfStandardInput) {
  auto result = RunInChild({{"REQUEST_METHOD", "post"}, {"CONTENT_LENGTH", "10"}}, "0123", "456789",
                           [](const auto& more) {
                             TCGIRequest request;
                             Emit(std::to_string(request.MethodType()) + "|" + request.Content());
                             more();
                           });
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.output, "3|0123");
}

TEST(CGIRequest, PostedContentReadsTheRemainder) {
  auto result =
      RunInChild({{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "14"}}, "a=1&",
                 "b=%41+B&c=", [](const auto& more) {
                   TCGIRequest request;
                   more();
                   TStringList list;
                   bool ok = ParsePostedContent(request, list, "");
                   Emit((ok ? "true|" : "false|") + list.Text() + "|" + request.Content());
                 });
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.output, "true|a=1\r\nb=A B\r\nc=\r\n|a=1&");
}

TEST(CGIRequest, NoContentLengthReadsNothing) {
  auto result = RunInChild({{"REQUEST_METHOD", "POST"}}, "", "x", [](const auto&) {
    TCGIRequest request;
    Emit("[" + request.Content() + "]");
  });
  EXPECT_EQ(result.output, "[]");
}

TEST(CGIRequest, LongEnvironmentValuesAreReadInFull) {
  std::string agent(10000, 'u');
  agent.back() = 'z';
  auto result = RunInChild({{"HTTP_USER_AGENT", agent}, {"CONTENT_TYPE", std::string(4096, 't')}},
                           "", "", [](const auto&) {
                             TCGIRequest request;
                             Emit(request.UserAgent() + "|" + request.ContentType());
                           });
  EXPECT_EQ(result.output, agent + "|" + std::string(4096, 't'));
}

TEST(CGIRequest, OutputGoesStraightToStandardOutputInOrder) {
  auto result = RunInChild({}, "", "", [](const auto&) {
    TCGIRequest request;
    request.WriteOutputText("one,");
    request.WriteOutput("two,", 4);
    Emit("three");
  });
  EXPECT_EQ(result.output, "one,two,three");
}

}  // namespace
}  // namespace cgi
