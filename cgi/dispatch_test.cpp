#include <gtest/gtest.h>

#include <stdexcept>

#include "cgi/cgi_response.h"
#include "cgi/errors.h"
#include "cgi/test_request.h"
#include "cgi/web_application.h"
#include "cgi/web_dispatcher.h"
#include "platform/windows1252.h"

namespace cgi {
namespace {

using namespace platform::literals;

using Strings = std::vector<std::string>;
using Env = std::map<std::string, std::string>;

// ----- action items -----

TEST(ActionItems, NewItemsTakeTheFirstFreeName) {
  TWebActionItems items(nullptr);
  EXPECT_EQ(items.Add().Name(), "WebActionItem1");
  EXPECT_EQ(items.Add().Name(), "WebActionItem2");
  items[0].SetName("renamed");
  EXPECT_EQ(items.Add().Name(), "WebActionItem1");
  TWebActionItem& fresh = items[2];
  EXPECT_TRUE(fresh.Enabled());
  EXPECT_FALSE(fresh.Default());
  EXPECT_EQ(fresh.MethodType(), mtAny);
  EXPECT_EQ(fresh.PathInfo(), "");
  EXPECT_FALSE(fresh.OnAction());
}

TEST(ActionItems, DuplicateNamesAreRefused) {
  TWebActionItems items(nullptr);
  items.Add().SetName("Visitor");
  TWebActionItem& other = items.Add();
  try {
    other.SetName("VISITOR");
    ADD_FAILURE();
  } catch (const EWebBrokerException& e) {
    EXPECT_STREQ(e.what(), "Doppelter Aktionsname");
  }
  EXPECT_EQ(other.Name(), "WebActionItem1");
  items[0].SetName("visitor");  // its own name in another case is fine
  EXPECT_EQ(items.Find("Visitor"), &items[0]);
  EXPECT_EQ(items.Find("none"), nullptr);
}

TEST(ActionItems, AtMostOneDefault) {
  TWebActionItems items(nullptr);
  TWebActionItem& a = items.Add();
  TWebActionItem& b = items.Add();
  a.SetDefault(true);
  b.SetDefault(true);
  EXPECT_FALSE(a.Default());
  EXPECT_TRUE(b.Default());
  b.SetDefault(false);
  EXPECT_FALSE(b.Default());
}

TEST(ActionItems, PathInfoIsNormalised) {
  TWebActionItems items(nullptr);
  TWebActionItem& item = items.Add();
  item.SetPathInfo("banner\\*");
  EXPECT_EQ(item.PathInfo(), "/banner/*");
  item.SetPathInfo("/BANNER/*");  // differs only in case: not stored
  EXPECT_EQ(item.PathInfo(), "/banner/*");
  item.SetPathInfo("");
  EXPECT_EQ(item.PathInfo(), "");
}

struct Fixture {
  TTestRequest request;
  TCGIResponse response{request};
  explicit Fixture(std::map<std::string, std::string> env) : request(std::move(env)) {}
};

TEST(ActionItems, TryActionChecksEnabledMethodAndPath) {
  Fixture f(Env{{"REQUEST_METHOD", "GET"}, {"PATH_INFO", "/Banner/7"}});
  TWebActionItems items(nullptr);
  TWebActionItem& item = items.Add();
  int runs = 0;
  item.SetOnAction([&](TObject* sender, TWebRequest&, TWebResponse&, bool& handled) {
    EXPECT_EQ(sender, &item);
    EXPECT_TRUE(handled);
    ++runs;
  });
  EXPECT_FALSE(item.TryAction(f.request, f.response, false));  // empty pattern, non-empty path
  item.SetPathInfo("/banner*");
  EXPECT_TRUE(item.TryAction(f.request, f.response, false));
  item.SetMethodType(mtPost);
  EXPECT_FALSE(item.TryAction(f.request, f.response, false));
  item.SetMethodType(mtGet);
  item.SetEnabled(false);
  EXPECT_FALSE(item.TryAction(f.request, f.response, false));
  EXPECT_FALSE(item.TryAction(f.request, f.response, true));  // not the default
  item.SetDefault(true);
  item.SetPathInfo("/elsewhere");
  item.SetMethodType(mtPost);
  EXPECT_TRUE(item.TryAction(f.request, f.response, true));  // the default runs regardless
  EXPECT_EQ(runs, 2);
  item.SetOnAction(nullptr);
  EXPECT_FALSE(item.TryAction(f.request, f.response, true));  // no handler, no taking
}

TEST(ActionItems, InvalidPatternRaisesWhenFirstNeeded) {
  Fixture f(Env{{"REQUEST_METHOD", "GET"}});
  TWebActionItems items(nullptr);
  TWebActionItem& item = items.Add();
  item.SetOnAction([](TObject*, TWebRequest&, TWebResponse&, bool&) {});
  item.SetPathInfo("/[x");
  item.SetEnabled(false);
  EXPECT_FALSE(item.TryAction(f.request, f.response, false));
  item.SetEnabled(true);
  try {
    item.TryAction(f.request, f.response, false);
    ADD_FAILURE();
  } catch (const EMaskException& e) {
    EXPECT_STREQ(e.what(), "'/[x' ist eine ungültige Maske für (4)"_w1252);
  }
  item.SetPathInfo("/[x]");  // recompiled after the change
  f.request.Env()["PATH_INFO"] = "/X";
  EXPECT_TRUE(item.TryAction(f.request, f.response, false));
}

// ----- dispatch -----

// A module shaped like the banner service's: three disabled actions, the
// third the default, with handlers that record their calls.
class TRecordingModule : public TWebModule {
 public:
  explicit TRecordingModule(TComponent* owner) : TWebModule(owner) {}

  Strings log;
  std::function<void(TWebRequest&, TWebResponse&, bool&)> before;
  std::function<void(TWebActionItem&, TWebResponse&, bool&)> on_action;

 protected:
  void DefineComponents() override {
    SetBeforeDispatch(
        [this](TObject* sender, TWebRequest& request, TWebResponse& response, bool& handled) {
          EXPECT_EQ(sender, this);
          EXPECT_FALSE(handled);
          log.push_back("before");
          if (before) before(request, response, handled);
        });
    SetAfterDispatch([this](TObject* sender, TWebRequest&, TWebResponse& response, bool& handled) {
      EXPECT_EQ(sender, this);
      EXPECT_TRUE(handled);
      log.push_back("after");
      response.SetBody("after");
    });
    for (const char* name : {"first", "second", "third"}) {
      TWebActionItem& item = Actions().Add();
      item.SetName(name);
      item.SetEnabled(false);
      item.SetOnAction(
          [this](TObject* sender, TWebRequest&, TWebResponse& response, bool& handled) {
            auto* item = static_cast<TWebActionItem*>(sender);
            log.push_back(item->Name());
            if (on_action) on_action(*item, response, handled);
          });
    }
    Actions()[2].SetDefault(true);
  }
};

class DispatchTest : public ::testing::Test {
 protected:
  TWebApplication application_;
  TRecordingModule& module_ = CreateComponent<TRecordingModule>(&application_);
  TTestRequest request_{Env{{"REQUEST_METHOD", "GET"}, {"SERVER_PROTOCOL", "HTTP/1.0"}}};
  TCGIResponse response_{request_};

  bool Dispatch() { return module_.DispatchToActions(request_, response_); }
};

TEST_F(DispatchTest, AllDisabledRunsTheDefaultThenTheAfterHandler) {
  EXPECT_TRUE(Dispatch());
  EXPECT_EQ(module_.log, (Strings{"before", "third", "after"}));
  EXPECT_EQ(module_.Request(), &request_);
  EXPECT_EQ(module_.Response(), &response_);
}

TEST_F(DispatchTest, EnabledActionRunsOnlyWhenItsPathMatches) {
  module_.before = [this](TWebRequest&, TWebResponse&, bool&) {
    module_.Actions()[0].SetEnabled(true);
  };
  EXPECT_TRUE(Dispatch());
  EXPECT_EQ(module_.log, (Strings{"before", "first", "after"}));
  module_.log.clear();
  request_.Env()["PATH_INFO"] = "/x";
  EXPECT_TRUE(Dispatch());
  EXPECT_EQ(module_.log, (Strings{"before", "third", "after"}));
}

TEST_F(DispatchTest, BeforeHandlerThatSendsEndsTheDispatch) {
  module_.before = [](TWebRequest&, TWebResponse& response, bool& handled) {
    response.SetBody("early");
    response.Send();
    handled = true;
  };
  application_.RegisterModule(ClassOf<TRecordingModule>());
  // Serve through a module of the pool configured the same way.
  TRecordingModule& pooled = static_cast<TRecordingModule&>(*application_.TakeModule());
  pooled.before = module_.before;
  application_.ReturnModule(&pooled);
  EXPECT_TRUE(application_.ServeRequest(request_, response_));
  EXPECT_EQ(pooled.log, (Strings{"before"}));
  EXPECT_EQ(request_.Output(),
            "Status: 200 OK\r\nContent-Type: text/html\r\nContent-Length: 5\r\nContent:\r\n\r\n"
            "early");
}

TEST_F(DispatchTest, BeforeHandlerThatOnlySetsHandledSkipsTheActions) {
  module_.before = [](TWebRequest&, TWebResponse&, bool& handled) { handled = true; };
  EXPECT_TRUE(Dispatch());
  EXPECT_EQ(module_.log, (Strings{"before", "after"}));
}

TEST_F(DispatchTest, HandlerThatDeclinesPassesToTheNextItemThenTheDefault) {
  module_.before = [this](TWebRequest&, TWebResponse&, bool&) {
    module_.Actions()[0].SetEnabled(true);
  };
  module_.on_action = [this](TWebActionItem& item, TWebResponse&, bool& handled) {
    if (item.Name() == "first") {
      handled = false;
      module_.Actions()[1].SetEnabled(true);  // read when dispatch reaches it
    }
  };
  EXPECT_TRUE(Dispatch());
  EXPECT_EQ(module_.log, (Strings{"before", "first", "second", "after"}));

  module_.log.clear();
  module_.Actions()[1].SetEnabled(false);
  module_.on_action = [](TWebActionItem& item, TWebResponse&, bool& handled) {
    if (item.Name() == "first") handled = false;
  };
  EXPECT_TRUE(Dispatch());
  EXPECT_EQ(module_.log, (Strings{"before", "first", "third", "after"}));
}

TEST_F(DispatchTest, MethodOfTheActionMustFit) {
  module_.Actions()[0].SetEnabled(true);
  module_.Actions()[0].SetMethodType(mtPost);
  EXPECT_TRUE(Dispatch());
  EXPECT_EQ(module_.log, (Strings{"before", "third", "after"}));
}

TEST_F(DispatchTest, UnhandledRequestGetsNoAfterHandlerAndNoOutput) {
  module_.Actions()[2].SetDefault(false);
  application_.RegisterModule(ClassOf<TRecordingModule>());
  TRecordingModule& pooled = static_cast<TRecordingModule&>(*application_.TakeModule());
  pooled.Actions()[2].SetDefault(false);
  application_.ReturnModule(&pooled);
  EXPECT_FALSE(application_.ServeRequest(request_, response_));
  EXPECT_EQ(pooled.log, (Strings{"before"}));
  EXPECT_EQ(request_.Output(), "");
  EXPECT_FALSE(response_.Sent());
}

TEST_F(DispatchTest, HandledRequestIsSentOnce) {
  application_.RegisterModule(ClassOf<TRecordingModule>());
  EXPECT_TRUE(application_.ServeRequest(request_, response_));
  EXPECT_TRUE(response_.Sent());
  EXPECT_EQ(request_.Output(),
            "Status: 200 OK\r\nContent-Type: text/html\r\nContent-Length: 5\r\nContent:\r\n\r\n"
            "after");
}

// ----- the module pool -----

class TBareModule : public TWebModule {
 public:
  using TWebModule::TWebModule;
};

// A data module that is no dispatcher itself but owns one.
class TDataModule : public TComponent {
 public:
  explicit TDataModule(TComponent* owner) : TComponent(owner) {}
  void AfterConstruction() override {
    CreateComponent<TComponent>(this);
    auto& dispatcher = CreateComponent<TCustomWebDispatcher>(this);
    TWebActionItem& item = dispatcher.Actions().Add();
    item.SetOnAction(
        [](TObject*, TWebRequest&, TWebResponse& response, bool&) { response.SetBody("inner"); });
  }
};

class TNestedDispatcher : public TCustomWebDispatcher {
 public:
  explicit TNestedDispatcher(TComponent* owner) : TCustomWebDispatcher(owner) {}
  void AfterConstruction() override { CreateComponent<TCustomWebDispatcher>(this); }
};

template <class E>
void ExpectError(const std::function<void()>& action, const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "no error, expected " << message;
  } catch (const E& e) {
    EXPECT_EQ(e.what(), message);
  }
}

TEST(ModulePool, OneRegistrationPerApplication) {
  TWebApplication application;
  application.RegisterModule<TRecordingModule>();
  EXPECT_EQ(application.ModuleClass().ClassName, "TRecordingModule");
  ExpectError<EWebBrokerException>([&] { application.RegisterModule<TBareModule>(); },
                                   "Nur ein Datenmodul pro Anwendung");
  EXPECT_EQ(application.ModuleClass().ClassName, "TRecordingModule");
}

TEST(ModulePool, NoRegisteredClass) {
  TWebApplication application;
  ExpectError<EWebBrokerException>([&] { application.TakeModule(); },
                                   "Es wurden keine Datenmodule registriert");
}

TEST(ModulePool, KeptModulesAreReused) {
  TWebApplication application;
  application.RegisterModule<TRecordingModule>();
  EXPECT_EQ(application.ModuleLimit(), 32);
  EXPECT_TRUE(application.KeepModules());
  TComponent* module = application.TakeModule();
  EXPECT_EQ(module->Owner(), &application);
  EXPECT_EQ(application.ActiveCount(), 1);
  application.ReturnModule(module);
  EXPECT_EQ(application.ActiveCount(), 0);
  EXPECT_EQ(application.InactiveCount(), 1);
  EXPECT_EQ(application.TakeModule(), module);
  EXPECT_EQ(application.ComponentCount(), 1);
}

TEST(ModulePool, ReturnedModulesAreFreedWhenNotKept) {
  TWebApplication application;
  application.RegisterModule<TRecordingModule>();
  application.SetKeepModules(false);
  application.ReturnModule(application.TakeModule());
  EXPECT_EQ(application.ComponentCount(), 0);
  EXPECT_EQ(application.InactiveCount(), 0);
}

TEST(ModulePool, LimitOfActiveModules) {
  TWebApplication application;
  application.RegisterModule<TRecordingModule>();
  application.SetModuleLimit(1);
  TComponent* first = application.TakeModule();
  ExpectError<EWebBrokerException>(
      [&] { application.TakeModule(); },
      "Die maximale Anzahl gleichzeitiger Verbindungen wurde überschritten. Versuchen Sie später "
      "noch einmal"_w1252);
  application.ReturnModule(first);
  application.SetModuleLimit(0);  // no limit
  application.TakeModule();
  application.TakeModule();
  EXPECT_EQ(application.ActiveCount(), 2);
}

TEST(ModulePool, ModuleWithoutDefinitionIsNotFound) {
  TWebApplication application;
  application.RegisterModule<TBareModule>();
  ExpectError<EResNotFound>([&] { application.TakeModule(); },
                            "Ressource TBareModule wurde nicht gefunden");
  EXPECT_EQ(application.ComponentCount(), 0);
  EXPECT_EQ(application.ActiveCount(), 0);
}

TEST(ModulePool, DispatcherInsideADispatcherIsRefused) {
  TWebApplication application;
  application.RegisterModule<TNestedDispatcher>();
  ExpectError<EWebBrokerException>([&] { application.TakeModule(); },
                                   "Nur ein WebDispatcher pro Formular/Datenmodul");
}

TEST(ModulePool, DispatcherIsFoundAmongTheModulesComponents) {
  TWebApplication application;
  application.RegisterModule<TDataModule>();
  TTestRequest request({{"SERVER_PROTOCOL", "HTTP/1.1"}});
  TCGIResponse response(request);
  EXPECT_TRUE(application.ServeRequest(request, response));
  EXPECT_EQ(request.Output().substr(request.Output().size() - 5), "inner");
}

TEST(ModulePool, ModuleWithoutDispatcherIsReturnedAfterTheError) {
  TWebApplication application;
  application.RegisterModule<TComponent>();
  TTestRequest request({});
  TCGIResponse response(request);
  ExpectError<EWebBrokerException>([&] { application.ServeRequest(request, response); },
                                   "Im Datenmodul wurde keine Dispatcher-Komponente gefunden");
  EXPECT_EQ(application.ActiveCount(), 0);
  EXPECT_EQ(application.InactiveCount(), 1);
}

TEST(ModulePool, HandlerErrorsLeaveServeRequestAfterTheModuleIsReturned) {
  TWebApplication application;
  application.RegisterModule<TRecordingModule>();
  auto& module = static_cast<TRecordingModule&>(*application.TakeModule());
  module.on_action = [](TWebActionItem&, TWebResponse&, bool&) {
    throw std::runtime_error("handler failed");
  };
  application.ReturnModule(&module);
  TTestRequest request({});
  TCGIResponse response(request);
  ExpectError<std::runtime_error>([&] { application.ServeRequest(request, response); },
                                  "handler failed");
  EXPECT_EQ(application.ActiveCount(), 0);
  EXPECT_EQ(request.Output(), "");
}

}  // namespace
}  // namespace cgi
