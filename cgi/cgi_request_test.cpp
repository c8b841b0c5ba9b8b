#include "cgi/cgi_request.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include "cgi/post_content.h"
#include "cgi/test_support.h"
#include "platform/process.h"

namespace cgi {
namespace {

using testing::RunInChild;

void Emit(const std::string& text) { platform::WriteStandardOutput(text.data(), text.size()); }

// The most memory this process has held at once, in KiB.
long PeakMemoryKiB() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

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

TEST(CGIRequest, FailedReadOrWriteGivesMinusOne) {
  auto result = RunInChild({}, "", "", [](const auto&) {
    TCGIRequest request;
    int saved_output = ::dup(STDOUT_FILENO);
    ::close(STDIN_FILENO);
    ::close(STDOUT_FILENO);
    char buffer[8];
    int read = request.ReadInput(buffer, sizeof buffer);
    int written = request.WriteOutput("abc", 3);
    bool text_written = request.WriteOutputText("abc");
    ::dup2(saved_output, STDOUT_FILENO);
    Emit(std::to_string(read) + "|" + std::to_string(written) + "|" +
         (text_written ? "true" : "false"));
  });
  EXPECT_EQ(result.output, "-1|-1|false");
}

TEST(CGIRequest, HugeClaimedLengthWithASmallBodyTakesLittleMemory) {
  // Before: 2 GiB were set aside (and touched) for the claimed length.
  auto result = RunInChild({{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "2147483647"}},
                           "a=1&b=%41+B", "", [](const auto& more) {
                             more();  // standard input ends after the 11 bytes
                             long before = PeakMemoryKiB();
                             TCGIRequest request;
                             TStringList list;
                             bool ok = ParsePostedContent(request, list, "");
                             long grown = PeakMemoryKiB() - before;
                             Emit((ok ? "true|" : "false|") + list.Text() + "|" +
                                  (grown < 32 * 1024 ? "small" : "") + std::to_string(grown));
                           });
  EXPECT_TRUE(result.output.starts_with("true|a=1\r\nb=A B\r\n|small")) << result.output;
}

}  // namespace
}  // namespace cgi
