// A small CGI program for the gateway's integration test: a web module with
// a few action items, run once per request by a real web server.
//
// The field "do" names the action item to enable: "echo" (fields as text),
// "binary" (a GIF-typed stream of every byte value), "status" (a 404 answer),
// "fail" (a handler that raises), "convert" (a handler whose conversion of a
// bad escape fails with the runtime's German message). A request with a non-empty path info
// reaches the default item. POST bodies are parsed with uploads going into
// the folder named by the variable BANNER_TEST_UPLOAD_DIR.
#include <memory>
#include <stdexcept>
#include <string>

#include "cgi/cgi_application.h"
#include "cgi/post_content.h"
#include "cgi/query_fields.h"
#include "cgi/web_dispatcher.h"
#include "cgi/web_response.h"
#include "platform/process.h"

namespace {

using namespace cgi;

class ETestHandlerFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TTestModule : public TWebModule {
 public:
  explicit TTestModule(TComponent* owner) : TWebModule(owner) {}

 protected:
  void DefineComponents() override {
    SetBeforeDispatch([this](TObject*, TWebRequest& request, TWebResponse&, bool&) {
      fields_.Clear();
      bool posted = false;
      if (request.MethodType() == mtPost) {
        posted = ParsePostedContent(request, fields_,
                                    request.EnvironmentField("BANNER_TEST_UPLOAD_DIR"));
      }
      if (!posted) fields_.SetText(request.QueryFieldList().Text());
      if (TWebActionItem* item = Actions().Find(fields_.Values("do"))) item->SetEnabled(true);
    });
    SetAfterDispatch([](TObject*, TWebRequest&, TWebResponse& response, bool&) {
      response.CustomHeaders().Add("X-After-Dispatch=yes");
    });

    AddAction("echo", [this](TObject*, TWebRequest& request, TWebResponse& response, bool&) {
      response.SetContentType("text/plain");
      response.SetBody("method=" + request.Method() + "\n" + fields_.Text());
    });
    AddAction("binary", [](TObject*, TWebRequest&, TWebResponse& response, bool&) {
      auto stream = std::make_unique<TMemoryStream>();
      for (int i = 0; i < 256; ++i) {
        char byte = static_cast<char>(i);
        stream->Write(&byte, 1);
      }
      char zero = 0;
      stream->Write(&zero, 1);
      stream->SetPosition(0);
      response.SetContentType("image/gif");
      response.SetBodyStream(std::move(stream));
    });
    AddAction("status", [](TObject*, TWebRequest&, TWebResponse& response, bool&) {
      response.SetStatusCode(404);
      response.SetContentType("text/plain");
      response.SetBody("missing");
    });
    AddAction("fail", [](TObject*, TWebRequest&, TWebResponse&, bool&) {
      throw ETestHandlerFailure("Aktion fehlgeschlagen");
    });
    AddAction("convert",
              [](TObject*, TWebRequest&, TWebResponse&, bool&) { DecodeURLText("%zz"); });
    TWebActionItem& fallback =
        AddAction("default", [](TObject*, TWebRequest& request, TWebResponse& response, bool&) {
          response.SetContentType("text/plain");
          response.SetBody("default path=" + request.PathInfo());
        });
    fallback.SetDefault(true);
  }

 private:
  TWebActionItem& AddAction(const std::string& name, THTTPMethodEvent handler) {
    TWebActionItem& item = Actions().Add();
    item.SetName(name);
    item.SetEnabled(false);
    item.SetOnAction(std::move(handler));
    return item;
  }

  TStringList fields_;
};

}  // namespace

int main(int argc, char** argv) {
  platform::SetCommandLine(argc, argv);
  TCGIApplication& application = Application();
  application.Initialize();
  application.RegisterModule<TTestModule>();
  application.Run();
  return 0;
}
