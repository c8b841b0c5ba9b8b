#include "storage/session/strata_database.h"

#include <gtest/gtest.h>

#include "platform/file.h"
#include "storage/session/data_directory.h"
#include "storage/session/data_session.h"
#include "storage/table/data_table.h"
#include "storage/session/database_error.h"
#include "storage/engine_names.h"
#include "storage/session/session_list.h"
#include "storage/session/strata_session.h"
#include "storage/session/test_session_tables.h"
#include "storage/test_temp_dir.h"

namespace strata {
namespace {

template <typename Action>
std::string DatabaseErrorOf(Action&& action) {
  try {
    action();
  } catch (const EDatabaseError& error) {
    return error.what();
  }
  return "";
}

class StrataDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override { session_.SetSessionName("DatabaseTests"); }
  TStrataSession session_;
};

TEST_F(StrataDatabaseTest, ConnectingStartsTheSessionAndObtainsTheDirectory) {
  TStrataDatabase database;
  database.SetDatabaseName("BannerDB");
  database.SetSessionName("DatabaseTests");
  database.SetDirectory("/srv/banner/Bannerdata");
  bool before_connect = false;
  database.BeforeConnect = [&](TStrataDatabase& sender) {
    before_connect = (&sender == &database) && !sender.Connected();
  };
  database.SetConnected(true);
  EXPECT_TRUE(before_connect);
  EXPECT_TRUE(database.Connected());
  EXPECT_TRUE(session_.Active());
  EXPECT_EQ(database.Session(), &session_);
  EXPECT_EQ(database.Handle().Path(), "/srv/banner/Bannerdata/");
  EXPECT_FALSE(database.Handle().InMemory());
  ASSERT_EQ(session_.Databases().size(), 1u);
  EXPECT_EQ(session_.FindDatabase("bannerdb"), &database);
  EXPECT_EQ(database.EngineVersion(), "3.15");

  session_.SetActive(false);
  EXPECT_FALSE(database.Connected()) << "stopping the session closes its databases";
  EXPECT_THROW(database.Handle(), EDatabaseError);
}

TEST_F(StrataDatabaseTest, AnEmptyDirectoryMeansTheCurrentDirectory) {
  TStrataDatabase database;
  database.SetDatabaseName("Here");
  database.SetSessionName("DatabaseTests");
  database.Open();
  EXPECT_EQ(database.Handle().Path(), platform::CurrentDirectory());
  EXPECT_EQ(session_.Handle().CurrentDirectory(), platform::CurrentDirectory());
}

TEST_F(StrataDatabaseTest, DirectoriesDifferingOnlyInCaseShareOneDirectoryObject) {
  TStrataDatabase first;
  first.SetDatabaseName("First");
  first.SetSessionName("DatabaseTests");
  first.SetDirectory("/srv/Banner/Data");
  TStrataDatabase second;
  second.SetDatabaseName("Second");
  second.SetSessionName("DatabaseTests");
  second.SetDirectory(" /SRV/banner/data/ ");
  first.Open();
  second.Open();
  EXPECT_EQ(&first.Handle(), &second.Handle());
  EXPECT_EQ(session_.Handle().Directories().size(), 1u);
  first.Close();
  EXPECT_EQ(session_.Handle().Directories().size(), 1u) << "still used by the second database";
  second.Close();
  EXPECT_TRUE(session_.Handle().Directories().empty()) << "the last user closes it";
}

TEST_F(StrataDatabaseTest, DatabasesOnOneDirectoryShareItsTableObjects) {
  testing::TTempDir temp;
  testing::CreateTable(temp.Dir(), testing::CounterTable("Banner"));
  TStrataDatabase first;
  first.SetDatabaseName("BannerDB");
  first.SetSessionName("DatabaseTests");
  first.SetDirectory(temp.Dir());
  TStrataDatabase second;
  second.SetDatabaseName("Mirror");
  second.SetSessionName("DatabaseTests");
  second.SetDirectory(UpperCaseName(temp.Dir()));
  first.Open();
  second.Open();
  TTableRef a = first.Handle().OpenTable("Banner", {});
  TTableRef b = second.Handle().OpenTable("banner.dat", {});
  EXPECT_EQ(&a.Table(), &b.Table());
  EXPECT_EQ(first.Handle().Tables().size(), 1u);
}

TEST_F(StrataDatabaseTest, TheMemoryDatabaseIsInMemory) {
  TStrataDatabase database;
  database.SetDatabaseName("memory");
  database.SetSessionName("DatabaseTests");
  database.Open();
  EXPECT_TRUE(database.Handle().InMemory());
  EXPECT_EQ(database.Handle().Path(), "");
}

TEST_F(StrataDatabaseTest, MisuseRaisesTheDatabaseErrors) {
  TStrataDatabase database;
  database.SetSessionName("DatabaseTests");
  EXPECT_EQ(DatabaseErrorOf([&] { database.Open(); }), "Database name is missing.");
  EXPECT_FALSE(database.Connected());
  EXPECT_EQ(DatabaseErrorOf([&] { database.SetDatabaseName("C:Banner"); }),
            "Database name C:Banner is not valid.");
  EXPECT_EQ(DatabaseErrorOf([&] { database.SetDatabaseName("a\\b"); }),
            "Database name a\\b is not valid.");
  EXPECT_EQ(DatabaseErrorOf([&] { database.StartTransaction(); }),
            "Cannot perform this operation on a closed database.");

  database.SetDatabaseName("Guarded");
  database.Open();
  EXPECT_EQ(DatabaseErrorOf([&] { database.SetDatabaseName("Other"); }),
            "Cannot perform this operation on an open database.");
  EXPECT_EQ(DatabaseErrorOf([&] { database.SetDirectory("/elsewhere"); }),
            "Cannot perform this operation on an open database.");
  EXPECT_EQ(DatabaseErrorOf([&] { database.Commit(); }),
            "Database Guarded has no active transaction.");
  EXPECT_EQ(DatabaseErrorOf([&] { database.Rollback(); }),
            "Database Guarded has no active transaction.");
  database.StartTransaction();
  EXPECT_TRUE(database.InTransaction());
  EXPECT_EQ(DatabaseErrorOf([&] { database.StartTransaction(); }),
            "Database Guarded already has an active transaction.");
  database.Commit();
  EXPECT_FALSE(database.InTransaction());
}

TEST_F(StrataDatabaseTest, AnUnknownSessionNameIsNotValid) {
  TStrataDatabase database;
  database.SetDatabaseName("Lost");
  database.SetSessionName("NoSuchSession");
  EXPECT_EQ(DatabaseErrorOf([&] { database.Open(); }), "Session name NoSuchSession is not valid.");
  EXPECT_FALSE(database.Connected());
}

TEST_F(StrataDatabaseTest, TwoDatabasesOfOneSessionCannotShareAName) {
  TStrataDatabase first;
  first.SetDatabaseName("Twin");
  first.SetSessionName("DatabaseTests");
  first.Open();
  TStrataDatabase second;
  second.SetDatabaseName("TWIN");
  second.SetSessionName("DatabaseTests");
  EXPECT_EQ(DatabaseErrorOf([&] { second.Open(); }), "Database name TWIN already exists.");
  EXPECT_FALSE(second.Connected());
  EXPECT_EQ(second.DatabaseName(), "") << "a name clash clears the name";
}

TEST_F(StrataDatabaseTest, AnEmptySessionNameMeansTheDefaultSession) {
  TStrataDatabase database;
  database.SetDatabaseName("OnDefault");
  database.Open();
  EXPECT_EQ(database.Session(), &DefaultSession());
}

TEST_F(StrataDatabaseTest, LoadingDefersConnecting) {
  TStrataDatabase database;
  database.BeginLoading();
  database.SetConnected(true);
  database.SetDatabaseName("Stored");
  database.SetSessionName("DatabaseTests");
  EXPECT_FALSE(database.Connected());
  database.EndLoading();
  EXPECT_TRUE(database.Connected());
}

struct FakeDataSet : TDataSetLink {
  TStrataDatabase* database = nullptr;
  bool open = true;
  void CloseForDatabase() override {
    open = false;
    database->DetachDataSet(this);
  }
};

TEST_F(StrataDatabaseTest, DisconnectingClosesTheDataSets) {
  TStrataDatabase database;
  database.SetDatabaseName("WithDataSets");
  database.SetSessionName("DatabaseTests");
  database.Open();
  FakeDataSet a, b;
  a.database = b.database = &database;
  database.AttachDataSet(&a);
  database.AttachDataSet(&b);
  EXPECT_EQ(database.DataSetCount(), 2u);
  database.Close();
  EXPECT_FALSE(a.open);
  EXPECT_FALSE(b.open);
  EXPECT_EQ(database.DataSetCount(), 0u);
}

TEST_F(StrataDatabaseTest, WithoutKeepConnectionTheLastDataSetDisconnects) {
  TStrataDatabase database;
  database.SetDatabaseName("Fleeting");
  database.SetSessionName("DatabaseTests");
  database.SetKeepConnection(false);
  database.Open();
  FakeDataSet a;
  a.database = &database;
  database.AttachDataSet(&a);
  database.DetachDataSet(&a);
  EXPECT_FALSE(database.Connected());

  TStrataDatabase kept;
  kept.SetDatabaseName("Kept");
  kept.SetSessionName("DatabaseTests");
  kept.Open();
  kept.AttachDataSet(&a);
  kept.DetachDataSet(&a);
  EXPECT_TRUE(kept.Connected());
}

TEST_F(StrataDatabaseTest, TheSessionOpensATemporaryDatabaseForAnUnknownName) {
  session_.SetActive(true);
  TStrataDatabase& temporary = session_.OpenDatabase("/srv/banner/scratch");
  EXPECT_TRUE(temporary.Temporary());
  EXPECT_TRUE(temporary.Connected());
  EXPECT_EQ(temporary.Handle().Path(), "/srv/banner/scratch/");
  EXPECT_EQ(&session_.OpenDatabase("/srv/banner/scratch"), &temporary);

  TStrataDatabase named;
  named.SetDatabaseName("Named");
  named.SetSessionName("DatabaseTests");
  named.SetDirectory("/srv/named");
  EXPECT_EQ(&session_.OpenDatabase("NAMED"), &named) << "a component with the name is used";
  EXPECT_TRUE(named.Connected());
  session_.CloseDatabase(temporary);
  EXPECT_EQ(session_.FindDatabase("/srv/banner/scratch"), nullptr) << "freed";
}

}  // namespace
}  // namespace strata
