#include "storage/session/strata_session.h"

#include <gtest/gtest.h>

#include "platform/file.h"
#include "storage/session/data_session.h"
#include "storage/session/database_error.h"
#include "storage/session/session_list.h"
#include "storage/session/strata_database.h"

namespace strata {
namespace {

// Runs `action` and returns the database error's message ("" when none).
template <typename Action>
std::string DatabaseErrorOf(Action&& action) {
  try {
    action();
  } catch (const EDatabaseError& error) {
    return error.what();
  }
  return "";
}

TEST(SessionList, HasTheDefaultSessionFirst) {
  TStrataSessionList& list = Sessions();
  ASSERT_GE(list.Count(), 1);
  EXPECT_EQ(list.List().front(), &DefaultSession());
  EXPECT_EQ(DefaultSession().SessionName(), "Default");
  EXPECT_TRUE(DefaultSession().IsDefault());
  EXPECT_EQ(list.FindSession(""), &DefaultSession()) << "no name means the default session";
  EXPECT_EQ(list.FindSession("DEFAULT"), &DefaultSession());
  EXPECT_EQ(list.FindSession("NoSuchSession"), nullptr);

  TStrataSession named;
  named.SetSessionName("ListedSession");
  EXPECT_EQ(list.FindSession("listedsession"), &named);
  EXPECT_FALSE(named.IsDefault());
}

TEST(SessionList, OpenSessionCreatesAndStartsAMissingSession) {
  TStrataSession& opened = Sessions().OpenSession("OpenedOnDemand");
  EXPECT_TRUE(opened.Active());
  EXPECT_EQ(Sessions().FindSession("openedondemand"), &opened);
  EXPECT_EQ(&Sessions().OpenSession("OPENEDONDEMAND"), &opened);
  opened.SetActive(false);
}

TEST(StrataSession, PublishedPropertiesHaveTheirDefaults) {
  TStrataSession session;
  EXPECT_FALSE(session.Active());
  EXPECT_FALSE(session.AutoSessionName());
  EXPECT_FALSE(session.ForceBufferFlush());
  EXPECT_TRUE(session.KeepConnections());
  EXPECT_EQ(session.LockRetryCount(), 15);
  EXPECT_EQ(session.LockWaitTime(), 100);
  EXPECT_EQ(session.LockProtocol(), lpPessimistic);
  EXPECT_EQ(session.PrivateDir(), "");
  EXPECT_EQ(session.ProgressSteps(), 20);
  EXPECT_EQ(session.SessionName(), "");
  EXPECT_FALSE(session.StrictChangeDetection());
  EXPECT_FALSE(session.HoldIdleTables());
  EXPECT_EQ(session.SessionType(), stLocal);
  EXPECT_EQ(session.RemoteAddress, "127.0.0.1");
  EXPECT_EQ(session.RemotePort, 12005);
  EXPECT_EQ(session.EngineSettings().RecordCacheBytes, 16384u);
  EXPECT_EQ(session.EngineSettings().RecordCacheCount, 8192u);
  EXPECT_EQ(session.EngineSettings().ReadAheadBytes, 16384u);
  EXPECT_EQ(session.EngineSettings().BlockCacheBytes, 32768u);
  EXPECT_EQ(session.EngineSettings().BlockCacheCount, 8192u);
  session.SetEngineVersion("4.0");
  EXPECT_EQ(session.EngineVersion(), "3.15") << "writing the engine version does nothing";
}

TEST(StrataSession, ActivatingANamedSessionStartsTheDefaultSessionFirst) {
  DefaultSession().SetActive(false);
  ASSERT_FALSE(DefaultSession().Active());
  TStrataSession session;
  session.SetSessionName("BannerSession");
  bool default_active_at_startup = true;
  session.OnStartup = [&](TStrataSession&) {
    default_active_at_startup = DefaultSession().Active();
  };
  session.SetActive(true);
  EXPECT_TRUE(session.Active());
  EXPECT_TRUE(DefaultSession().Active());
  EXPECT_FALSE(default_active_at_startup) << "OnStartup runs before the default session starts";
  EXPECT_NE(&session.Handle(), &DefaultSession().Handle())
      << "every other session gets its own engine session";
  EXPECT_EQ(&DefaultSession().Handle(), TDataSession::ProcessSession().get());
  session.SetActive(false);
  EXPECT_FALSE(session.Active());
  EXPECT_TRUE(DefaultSession().Active());
}

TEST(StrataSession, MisuseRaisesTheDatabaseErrors) {
  TStrataSession session;
  EXPECT_EQ(DatabaseErrorOf([&] { session.SetActive(true); }), "Session name is missing.");
  EXPECT_FALSE(session.Active());

  TStrataSession other;
  other.SetSessionName("TakenName");
  EXPECT_EQ(DatabaseErrorOf([&] { session.SetSessionName("takenname"); }),
            "Session name takenname already exists.");
  EXPECT_EQ(DatabaseErrorOf([&] { session.SetSessionName("Default"); }),
            "Session name Default already exists.");

  session.SetSessionName("Mine");
  session.SetActive(true);
  EXPECT_EQ(DatabaseErrorOf([&] { session.SetSessionName("Renamed"); }),
            "Cannot perform this operation on an active session.");
  EXPECT_EQ(session.SessionName(), "Mine");
}

TEST(StrataSession, AFailedStartLeavesTheSessionInactive) {
  TStrataSession session;
  session.SetSessionName("Failing");
  session.OnStartup = [](TStrataSession&) { throw EDatabaseError("startup refused"); };
  EXPECT_EQ(DatabaseErrorOf([&] { session.SetActive(true); }), "startup refused");
  EXPECT_FALSE(session.Active());
  EXPECT_THROW(session.Handle(), EDatabaseError);
}

TEST(StrataSession, RemoteSessionsAreRefused) {
  TStrataSession session;
  session.SetSessionName("Remote");
  session.SetSessionType(stRemote);
  std::string message = DatabaseErrorOf([&] { session.SetActive(true); });
  EXPECT_NE(message.find("Remote sessions are not supported"), std::string::npos) << message;
  EXPECT_FALSE(session.Active());
}

TEST(StrataSession, SettingsReachTheEngineSessionAsTheyChange) {
  TStrataSession session;
  session.SetSessionName("Tuned");
  session.SetLockRetryCount(3);
  session.SetLockWaitTime(7);
  session.SetLockProtocol(lpOptimistic);
  session.SetForceBufferFlush(true);
  session.SetActive(true);
  TEngineSettings& engine = session.Handle().Settings();
  EXPECT_EQ(engine.LockRetryCount, 3);
  EXPECT_EQ(engine.LockWaitTime, 7);
  EXPECT_EQ(engine.LockProtocol, lpOptimistic);
  EXPECT_TRUE(engine.ForceBufferFlush);
  session.SetStrictChangeDetection(true);
  session.SetProgressSteps(5);
  session.SetHoldIdleTables(true);
  EXPECT_TRUE(engine.HoldIdleTables);
  EXPECT_TRUE(engine.StrictChangeDetection);
  EXPECT_EQ(engine.ProgressSteps, 5);
}

TEST(StrataSession, PrivateDirDefaultsToTheTemporaryDirectory) {
  TStrataSession session;
  session.SetSessionName("Private");
  session.SetActive(true);
  EXPECT_EQ(session.Handle().PrivateDirectory(), platform::TempDirectory());
  session.SetPrivateDir("/var/tmp/banner temp");
  EXPECT_EQ(session.Handle().PrivateDirectory(), "/var/tmp/banner temp/")
      << "passed on at once while active";
  session.SetPrivateDir("");
  EXPECT_EQ(session.Handle().PrivateDirectory(), platform::TempDirectory());
}

TEST(StrataSession, LoadingDefersActiveAndAppliesAutoSessionName) {
  TStrataSession session;
  session.BeginLoading();
  session.SetAutoSessionName(true);
  session.SetActive(true);
  EXPECT_FALSE(session.Active());
  session.EndLoading();
  EXPECT_TRUE(session.Active());
  EXPECT_FALSE(session.SessionName().empty());
  TStrataSession second;
  second.SetAutoSessionName(true);
  EXPECT_NE(second.SessionName(), session.SessionName());
}

TEST(StrataSession, PasswordsAreKeptExactlyAndHandedToTheEngine) {
  TStrataSession session;
  session.SetSessionName("Keys");
  session.AddPassword("Secret");
  session.AddPassword("Secret");
  session.SetActive(true);
  EXPECT_TRUE(session.Handle().HasPassword("Secret"));
  EXPECT_FALSE(session.Handle().HasPassword("secret")) << "case-sensitive";
  session.AddPassword("Other");
  session.RemovePassword("Secret");
  EXPECT_FALSE(session.Handle().HasPassword("Secret"));
  EXPECT_TRUE(session.Handle().HasPassword("Other"));
  session.RemoveAllPasswords();
  EXPECT_FALSE(session.Handle().HasPassword("Other"));
  EXPECT_TRUE(session.Passwords().empty());
}

}  // namespace
}  // namespace strata
