#include "cgi/cgi_application.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "cgi/errors.h"
#include "cgi/test_support.h"
#include "cgi/web_dispatcher.h"
#include "cgi/web_response.h"
#include "platform/windows1252.h"

namespace cgi {
namespace {

using namespace platform::literals;

using testing::ChildResult;
using testing::RunInChild;

// Answers by the query field "do": "hello" (a text body), "raise" (an
// error after the handler has already sent part of an answer), "bad" (reads
// a malformed query), anything else is left unhandled.
class TAppModule : public TWebModule {
 public:
  explicit TAppModule(TComponent* owner) : TWebModule(owner) {}

 protected:
  void DefineComponents() override {
    TWebActionItem& item = Actions().Add();
    item.SetOnAction([](TObject*, TWebRequest& request, TWebResponse& response, bool& handled) {
      std::string what = request.QueryFieldList().Values("do");
      if (what == "hello") {
        response.SetContentType("text/plain");
        response.SetBody("hello " + request.Content());
      } else if (what == "raise") {
        request.WriteOutputText("partial;");
        throw std::runtime_error("x");
      } else if (what == "multiline") {
        throw EWebBrokerException("zwei\r\nZeilen");
      } else {
        handled = false;
      }
    });
  }
};

ChildResult RunApplication(std::map<std::string, std::string> env, const std::string& input = {}) {
  env.emplace("SERVER_PROTOCOL", "HTTP/1.1");
  return RunInChild(env, input, "", [](const auto&) {
    TCGIApplication application;
    application.Initialize();
    application.RegisterModule<TAppModule>();
    application.Run();
  });
}

TEST(CGIApplication, ServesTheRequestOfTheProcess) {
  auto result = RunApplication(
      {{"REQUEST_METHOD", "POST"}, {"QUERY_STRING", "do=hello"}, {"CONTENT_LENGTH", "5"}}, "world");
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.output,
            "Status: 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 11\r\nContent:\r\n\r\n"
            "hello world");
}

TEST(CGIApplication, UnhandledRequestWritesNothing) {
  auto result = RunApplication({{"QUERY_STRING", "do=nothing"}});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.output, "");
}

TEST(CGIApplication, EscapedErrorBecomesThe500PageAfterWhatWasWritten) {
  auto result = RunApplication({{"QUERY_STRING", "do=raise"}});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.output, "partial;" + TCGIApplication::ErrorPageText("runtime_error", "x"));
}

TEST(CGIApplication, ConversionErrorOfTheQueryShowsItsMessage) {
  auto result = RunApplication({{"QUERY_STRING", "a=%zz"}});
  EXPECT_EQ(result.output, TCGIApplication::ErrorPageText(
                               "EConvertError", "'$zz' ist kein gültiger Integerwert"_w1252));
}

TEST(CGIApplication, MessageGoesIntoTheStatusLineUnchanged) {
  auto result = RunApplication({{"QUERY_STRING", "do=multiline"}});
  EXPECT_EQ(result.output.substr(0, 26), "Status: 500 zwei\r\nZeilen\r\n");
}

TEST(CGIApplication, ErrorPageText) {
  const std::string page =
      "<html><title>Interner Server-Fehler 500</title>\r\n"
      "<h1>Interner Server-Fehlerr 500</h1><hr>\r\n"
      "Exception: EConvertError<br>\r\n"
      "Meldung: kaputt<br></html>\r\n";
  EXPECT_EQ(TCGIApplication::ErrorPageText("EConvertError", "kaputt"),
            "Status: 500 kaputt\r\nContent-Type: text/html\r\nContent-Length: " +
                std::to_string(page.size()) + "\r\nContent:\r\n\r\n" + page);
}

TEST(CGIApplication, WriteErrorPageNamesTheExceptionClass) {
  auto result = RunInChild({}, "", "", [](const auto&) {
    TCGIApplication::WriteErrorPage(EResNotFound("Ressource TX wurde nicht gefunden"));
  });
  EXPECT_EQ(result.output,
            TCGIApplication::ErrorPageText("EResNotFound", "Ressource TX wurde nicht gefunden"));
}

TEST(CGIApplication, ErrorWhileBuildingTheModuleEndsInThe500Page) {
  class TBroken : public TWebModule {
   public:
    using TWebModule::TWebModule;
  };
  auto result = RunInChild({{"SERVER_PROTOCOL", "HTTP/1.1"}}, "", "", [](const auto&) {
    TCGIApplication application;
    application.RegisterModule<TBroken>();
    application.Run();
  });
  EXPECT_EQ(result.output, TCGIApplication::ErrorPageText(
                               "EResNotFound", "Ressource TBroken wurde nicht gefunden"));
}

int g_init_calls = 0;

TEST(CGIApplication, InitializeRunsTheHook) {
  TCGIApplication application;
  application.Initialize();  // no hook: nothing happens
  InitProc = [] { ++g_init_calls; };
  application.Initialize();
  InitProc = nullptr;
  EXPECT_EQ(g_init_calls, 1);
  EXPECT_EQ(&Application(), &Application());
}

TEST(ClassName, WithoutNamespaces) {
  EXPECT_EQ(ExceptionClassName(EConvertError("x")), "EConvertError");
  EXPECT_EQ(ExceptionClassName(std::runtime_error("x")), "runtime_error");
  TComponent component;
  EXPECT_EQ(component.ClassName(), "TComponent");
}

}  // namespace
}  // namespace cgi
