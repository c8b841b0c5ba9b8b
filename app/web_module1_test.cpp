#include "app/web_module1.h"

#include <gtest/gtest.h>

#include "cgi/web_application.h"
#include "sql/query/strata_query.h"
#include "storage/session/strata_database.h"
#include "storage/session/strata_session.h"

namespace banner {
namespace {

TEST(WebModule1Test, TheStoredFormBuildsComponentsAndActionItems) {
  cgi::TWebApplication application;
  application.RegisterModule<TWebModule1>();
  auto* module = dynamic_cast<TWebModule1*>(application.TakeModule());
  ASSERT_NE(module, nullptr);

  EXPECT_EQ(module->StrataSession().SessionName(), "BannerSession");
  EXPECT_EQ(module->StrataSession().SessionType(), strata::stLocal);
  EXPECT_EQ(module->StrataSession().LockRetryCount(), 15);
  EXPECT_EQ(module->StrataSession().LockWaitTime(), 100);
  EXPECT_EQ(module->StrataSession().LockProtocol(), strata::lpPessimistic);
  EXPECT_EQ(module->StrataSession().ProgressSteps(), 20);
  EXPECT_TRUE(module->StrataSession().HoldIdleTables()) << "a request is short";
  EXPECT_FALSE(module->StrataSession().Active());
  EXPECT_EQ(module->StrataDatabase().DatabaseName(), "BannerDB");
  EXPECT_EQ(module->StrataDatabase().SessionName(), "BannerSession");
  EXPECT_FALSE(module->StrataDatabase().Connected());
  EXPECT_EQ(module->StrataOperativ1().DatabaseName(), "BannerDB");
  EXPECT_EQ(module->StrataOperativ1().SessionName(), "BannerSession");
  EXPECT_EQ(module->StrataOperativ1().MaxRowCount(), -1);
  EXPECT_TRUE(module->StrataOperativ1().Params().empty());

  ASSERT_EQ(module->Actions().Count(), 3);
  const char* names[] = {"WebActionIndex", "WebActionSessionID", "WebActionVisitor"};
  for (int i = 0; i < 3; ++i) {
    const cgi::TWebActionItem& item = module->Actions()[i];
    EXPECT_EQ(item.Name(), names[i]);
    EXPECT_FALSE(item.Enabled());
    EXPECT_EQ(item.MethodType(), cgi::mtAny);
    EXPECT_EQ(item.PathInfo(), "");
    EXPECT_EQ(item.Default(), i == 2);
    EXPECT_TRUE(item.OnAction());
  }
  EXPECT_TRUE(module->BeforeDispatch());
  EXPECT_TRUE(module->AfterDispatch());
  application.ReturnModule(module);
}

}  // namespace
}  // namespace banner
