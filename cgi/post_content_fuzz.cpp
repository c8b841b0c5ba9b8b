// Fuzzes the posted-content parser over in-memory requests. The input's
// first line is the content type; the rest is the body, of which the request
// holds the first piece and standard input delivers the remainder in small
// reads. Uploads aim at a folder that does not exist, so nothing is written.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cgi/post_content.h"
#include "cgi/test_request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t line_end = input.find('\n');
  std::string content_type =
      line_end == std::string::npos ? std::string() : input.substr(0, line_end);
  std::string body = line_end == std::string::npos ? input : input.substr(line_end + 1);
  int chunk = 1 + static_cast<int>(size % 97);

  cgi::TTestRequest request({{"REQUEST_METHOD", "POST"},
                             {"CONTENT_TYPE", content_type},
                             {"CONTENT_LENGTH", std::to_string(body.size())}},
                            body, chunk);
  cgi::TStringList list;
  cgi::ParsePostedContent(request, list, "/nonexistent-banner-fuzz-upload/");
  for (int i = 0; i < list.Count(); ++i) (void)list.Values(list.Names(i));
  return 0;
}
