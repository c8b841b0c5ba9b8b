// sqlite_banner: the banner service on SQLite as a CGI program, the peer of
// the request benchmark. Its files lie beside the executable like the banner
// program's: Bannerdata/banner.sqlite, Notfound.gif, upload/, and the
// recording (.req) and error log (.txt).
//
//   sqlite_banner                        serves one CGI request
//   sqlite_banner INJECTMODE             replays the recorded request's fields
//   sqlite_banner --load FOLDER VISITORS [BANNERS]
//                                        creates FOLDER/banner.sqlite with
//                                        BANNERS banners (10) and VISITORS
//                                        current visits, one of them the
//                                        benchmark's returning visitor
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "platform/letter_case.h"
#include "app/exe_files.h"
#include "app/image_response.h"
#include "app/mk_html.h"
#include "app/request_fields.h"
#include "app/visitor_key.h"
#include "bench/sqlite_banner.h"
#include "cgi/cgi_application.h"
#include "cgi/cgi_request.h"
#include "cgi/cgi_response.h"
#include "cgi/post_content.h"
#include "platform/process.h"

namespace {

// The returning visitor of the benchmark: REMOTE_ADDR 127.0.0.1 and this
// user agent.
constexpr const char* kBenchAgent = "bench-agent/1.0";

int Load(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: sqlite_banner --load FOLDER VISITORS [BANNERS]\n");
    return 2;
  }
  const std::string folder = argv[2];
  const int visitors = std::atoi(argv[3]);
  const int banners = argc > 4 ? std::atoi(argv[4]) : 10;
  bench::CreateDatabase(folder + "/banner.sqlite", banners, visitors,
                        banner::VisitorKey("127.0.0.1", kBenchAgent));
  std::printf("%s/banner.sqlite: %d banners, %d visitors\n", folder.c_str(), banners, visitors);
  return 0;
}

void Serve() {
  cgi::TCGIRequest request;
  bench::TBannerRequest banner_request;
  banner_request.visitor_key = banner::VisitorKey(request.RemoteAddr(), request.UserAgent());
  banner_request.referer = platform::AsciiLowerCase(request.Referer());
  cgi::TStringList& fields = banner_request.fields;
  bool posted = false;
  if (platform::AsciiUpperCase(request.Method()) == "POST") {
    posted = cgi::ParsePostedContent(request, fields, banner::BesideExecutable("upload"));
  }
  if (!posted) banner::CopyThroughText(request.QueryFieldList(), fields);
  const std::string recording = banner::ExecutableWithExtension(".req");
  if (banner::IsInjectMode(platform::FirstArgument())) {
    banner::ReadRecording(recording, fields);
  } else {
    banner::WriteRecording(recording, fields);
  }

  cgi::TCGIResponse response(request);
  auto send = [&](const std::string& body) {
    banner::SendImage(response, std::make_unique<cgi::TMemoryStream>(body));
  };
  std::unique_ptr<bench::TSqliteBanner> service;
  try {
    service =
        std::make_unique<bench::TSqliteBanner>(banner::BesideExecutable("Bannerdata/banner.sqlite"),
                                               banner::NotFoundImagePath(), banner::LogPath());
  } catch (const std::exception& error) {
    banner::LogError(std::string("BeforeDispatch ") + error.what());
    send(std::string(1, '\0'));
    return;
  }
  service->Serve(banner_request, send);
}

}  // namespace

int main(int argc, char** argv) {
  platform::SetCommandLine(argc, argv);
  if (argc > 1 && std::string(argv[1]) == "--load") {
    try {
      return Load(argc, argv);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "sqlite_banner: %s\n", error.what());
      return 2;
    }
  }
  try {
    Serve();
  } catch (const std::exception& error) {
    cgi::TCGIApplication::WriteErrorPage(error);
    return 1;
  }
  return 0;
}
