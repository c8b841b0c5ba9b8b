#include "app/image_response.h"

#include <gtest/gtest.h>

#include "cgi/cgi_response.h"
#include "cgi/test_request.h"
#include "cgi/test_support.h"
#include "platform/file.h"

namespace banner {
namespace {

TEST(ImageResponseTest, NotFoundImageWithTrailerSentAsGif) {
  cgi::testing::TempDir dir;
  const std::string image = "GIF89a\x01\x00\x01\x00 fake image";
  cgi::testing::WriteFile(dir / "Notfound.gif", image);

  auto stream = std::make_unique<cgi::TMemoryStream>(std::string("partial banner"));
  LoadImageFile(*stream, dir / "Notfound.gif");
  EXPECT_EQ(stream->Bytes(), image);
  AppendTrailer(*stream, 0);
  EXPECT_EQ(stream->Position(), 0);
  EXPECT_EQ(stream->Bytes(), image + std::string(1, '\0'));

  cgi::TTestRequest request({{"SERVER_PROTOCOL", "HTTP/1.1"}});
  cgi::TCGIResponse response(request);
  SendImage(response, std::move(stream));
  EXPECT_TRUE(response.Sent());
  const std::string expected_head =
      "Status: 200 OK\r\nContent-Type: image/gif\r\nContent-Length: " +
      std::to_string(image.size() + 1) + "\r\nContent:\r\n\r\n";
  EXPECT_EQ(request.Output(), expected_head + image + std::string(1, '\0'));
}

TEST(ImageResponseTest, AnEmptyStreamSendsTheTrailerAlone) {
  auto stream = std::make_unique<cgi::TMemoryStream>();
  AppendTrailer(*stream, 0);
  cgi::TTestRequest request({{"SERVER_PROTOCOL", "HTTP/1.0"}});
  cgi::TCGIResponse response(request);
  SendImage(response, std::move(stream));
  EXPECT_EQ(request.Output().substr(request.Output().size() - 1), std::string(1, '\0'));
  EXPECT_NE(request.Output().find("Content-Length: 1\r\n"), std::string::npos);
}

TEST(ImageResponseTest, AMissingImageFileIsAnError) {
  cgi::TMemoryStream stream(std::string("kept"));
  EXPECT_THROW(LoadImageFile(stream, "/nonexistent/Notfound.gif"), platform::OsError);
  EXPECT_EQ(stream.Bytes(), "kept");
  EXPECT_EQ(NotFoundImagePath().substr(NotFoundImagePath().size() - 13), "/Notfound.gif");
}

}  // namespace
}  // namespace banner
