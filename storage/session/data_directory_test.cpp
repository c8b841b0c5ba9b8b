#include "storage/session/data_directory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/clock.h"
#include "platform/file.h"
#include "storage/data/data_file.h"
#include "storage/engine_error.h"
#include "storage/engine_names.h"
#include "storage/index/index_file.h"
#include "storage/session/data_session.h"
#include "storage/session/test_session_tables.h"
#include "storage/table/data_table.h"
#include "storage/test_temp_dir.h"

namespace strata {
namespace {

using testing::CounterTable;
using testing::TTempDir;

template <typename Action>
int EngineCodeOf(Action&& action) {
  try {
    action();
  } catch (const EStrataEngineError& error) {
    return error.Code;
  }
  return 0;
}

class DataDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session_ = TDataSession::Create();
    directory_ = session_->OpenDirectory("", temp_.Dir());
  }
  bool FileThere(const std::string& name) { return std::filesystem::exists(temp_.File(name)); }

  TTempDir temp_;
  std::shared_ptr<TDataSession> session_;
  std::shared_ptr<TDataDirectory> directory_;
};

TEST_F(DataDirectoryTest, OneTableObjectPerTableNameWithOrWithoutExtension) {
  directory_->CreateTable(CounterTable("Banner"), {.Exclusive = true}, false);
  EXPECT_TRUE(FileThere("Banner.DAT"));
  EXPECT_TRUE(FileThere("Banner.IDX"));
  EXPECT_FALSE(FileThere("Banner.BLB")) << "no blob fields, no blob file";

  TTableRef first = directory_->OpenTable("Banner", {});
  TTableRef second = directory_->OpenTable(" banner.dat ", {});
  EXPECT_EQ(&first.Table(), &second.Table());
  EXPECT_NE(first.CursorId(), second.CursorId());
  EXPECT_EQ(first->Users(), 2);
  EXPECT_EQ(directory_->Tables().size(), 1u);
  EXPECT_EQ(first->Name(), "Banner");
  EXPECT_TRUE(first->Verified());
  EXPECT_FALSE(first->HasBlobs());

  first.Release();
  EXPECT_EQ(directory_->Tables().size(), 1u) << "still used by the second cursor";
  second.Release();
  EXPECT_TRUE(directory_->Tables().empty()) << "the last user closes the table";
}

TEST_F(DataDirectoryTest, DirectoriesNamedInAnotherCaseShareTheirTables) {
  directory_->CreateTable(CounterTable("Banner"), {.Exclusive = true}, false);
  auto same = session_->OpenDirectory("BannerDB", UpperCaseName(temp_.Dir()));
  EXPECT_EQ(same.get(), directory_.get());
  TTableRef first = directory_->OpenTable("Banner", {});
  TTableRef second = same->OpenTable("BANNER", {});
  EXPECT_EQ(&first.Table(), &second.Table());
}

TEST_F(DataDirectoryTest, TableExistsLooksAtOpenTablesThenFiles) {
  EXPECT_FALSE(directory_->TableExists("Links"));
  directory_->CreateTable(CounterTable("Links"), {.Exclusive = true}, false);
  EXPECT_TRUE(directory_->TableExists("Links"));
  EXPECT_TRUE(directory_->TableExists(" Links.dat"));
  EXPECT_FALSE(directory_->TableExists("Links", true)) << "no memory table of that name";
}

TEST_F(DataDirectoryTest, CreateTableRefusals) {
  TTableDefinition definition = CounterTable("Visitors");
  EXPECT_EQ(EngineCodeOf([&] { directory_->CreateTable(definition, {}, false); }),
            STRATA_NEEDEXCLACCESS);
  directory_->CreateTable(definition, {.Exclusive = true}, false);
  EXPECT_EQ(EngineCodeOf([&] { directory_->CreateTable(definition, {.Exclusive = true}, false); }),
            STRATA_TABLEEXISTS);
  {
    TTableRef open = directory_->OpenTable("Visitors", {});
    EXPECT_EQ(EngineCodeOf([&] { directory_->CreateTable(definition, {.Exclusive = true}, true); }),
              STRATA_TABLEOPEN);
  }
  // Overwriting replaces the table; a blob field brings a blob file.
  directory_->CreateTable(CounterTable("Visitors", true), {.Exclusive = true}, true);
  EXPECT_TRUE(FileThere("Visitors.BLB"));
  TTableRef reopened = directory_->OpenTable("Visitors", {});
  EXPECT_TRUE(reopened->HasBlobs());
  EXPECT_EQ(reopened->DataFile().FieldCount(), 4);
  reopened.Release();
  // And replacing it by one without blob fields leaves no stale blob file.
  directory_->CreateTable(definition, {.Exclusive = true}, true);
  EXPECT_FALSE(FileThere("Visitors.BLB"));
}

TEST_F(DataDirectoryTest, OpeningAMissingTableGives11010) {
  EXPECT_EQ(EngineCodeOf([&] { directory_->OpenTable("Nowhere", {}); }), STRATA_OSENOENT);
  EXPECT_TRUE(directory_->Tables().empty());
}

TEST_F(DataDirectoryTest, ExclusiveUseExcludesEveryOtherUserOfTheProcess) {
  directory_->CreateTable(CounterTable("Banner"), {.Exclusive = true}, false);
  {
    TTableRef shared = directory_->OpenTable("Banner", {});
    EXPECT_EQ(EngineCodeOf([&] { directory_->OpenTable("Banner", {.Exclusive = true}); }),
              STRATA_OSEACCES);
  }
  TTableRef exclusive = directory_->OpenTable("Banner", {.Exclusive = true});
  EXPECT_TRUE(exclusive->Exclusive());
  EXPECT_FALSE(exclusive->TakesLocks());
  EXPECT_EQ(EngineCodeOf([&] { directory_->OpenTable("Banner", {}); }), STRATA_OSEACCES);
}

TEST_F(DataDirectoryTest, AFailedFirstOpenLeavesNoTableObject) {
  directory_->CreateTable(CounterTable("Broken"), {.Exclusive = true}, false);
  {
    std::ofstream append(temp_.File("Broken.DAT"), std::ios::binary | std::ios::app);
    append.put('x');  // the slots are no longer whole records
  }
  EXPECT_EQ(EngineCodeOf([&] { directory_->OpenTable("Broken", {}); }), STRATA_HEADERCORRUPT);
  EXPECT_TRUE(directory_->Tables().empty());
  std::filesystem::resize_file(temp_.File("Broken.DAT"),
                               std::filesystem::file_size(temp_.File("Broken.DAT")) - 1);
  EXPECT_NO_THROW(directory_->OpenTable("Broken", {}));
}

TEST_F(DataDirectoryTest, AMissingIndexFileIsCreatedEmptyAndMarkedForRebuild) {
  directory_->CreateTable(CounterTable("Pages"), {.Exclusive = true}, false);
  std::filesystem::remove(temp_.File("Pages.IDX"));
  TTableRef table = directory_->OpenTable("Pages", {});
  EXPECT_TRUE(FileThere("Pages.IDX"));
  EXPECT_TRUE(table->NeedsIndexRebuild());
  EXPECT_EQ(table->IndexFile().FindIndex("Sys Deleted"), 31);
  table->SetIndexesRebuilt();
  EXPECT_FALSE(table->NeedsIndexRebuild());
  table.Release();
  // Another process sees a sound index file.
  TTableRef again = directory_->OpenTable("Pages", {});
  EXPECT_FALSE(again->NeedsIndexRebuild());
}

TEST_F(DataDirectoryTest, StructuralOperationsNeedExclusiveUse) {
  TTableDefinition stats = CounterTable("Stats", true);
  directory_->CreateTable(stats, {.Exclusive = true}, false);
  {
    TTableRef shared = directory_->OpenTable("Stats", {});
    EXPECT_EQ(EngineCodeOf([&] { directory_->EmptyTable(shared); }), STRATA_NEEDEXCLACCESS);
    EXPECT_EQ(EngineCodeOf([&] { directory_->DeleteTable(shared); }), STRATA_NEEDEXCLACCESS);
    EXPECT_EQ(EngineCodeOf([&] { directory_->RenameTable(shared, "Other"); }),
              STRATA_NEEDEXCLACCESS);
  }
  TTableRef table = directory_->OpenTable("Stats", {.Exclusive = true});
  TDataFile& data = table->DataFile();
  for (int i = 0; i < 3; ++i) testing::SetInt(stats, data.AllocateSlot()->Data(), 2, i);
  table->FlushAfterChange(false);
  EXPECT_EQ(data.SlotCount(), 3u);
  directory_->EmptyTable(table);
  EXPECT_EQ(data.SlotCount(), 0u);
  EXPECT_EQ(std::filesystem::file_size(temp_.File("Stats.DAT")), data.HeaderAreaSize());

  directory_->RenameTable(table, "Archive");
  EXPECT_FALSE(table);
  EXPECT_FALSE(FileThere("Stats.DAT"));
  EXPECT_TRUE(FileThere("Archive.DAT"));
  EXPECT_TRUE(FileThere("Archive.IDX"));
  EXPECT_TRUE(FileThere("Archive.BLB"));

  directory_->CreateTable(CounterTable("Taken"), {.Exclusive = true}, false);
  TTableRef archive = directory_->OpenTable("Archive", {.Exclusive = true});
  EXPECT_EQ(EngineCodeOf([&] { directory_->RenameTable(archive, "Taken"); }), STRATA_TABLEEXISTS);
  directory_->DeleteTable(archive);
  EXPECT_FALSE(FileThere("Archive.DAT"));
  EXPECT_FALSE(FileThere("Archive.IDX"));
  EXPECT_FALSE(FileThere("Archive.BLB"));
  EXPECT_TRUE(directory_->Tables().empty());
}

TEST_F(DataDirectoryTest, TemporaryTableNamesComeFromTheThreadId) {
  std::string prefix = std::to_string(platform::CurrentThreadId()).substr(0, 5);
  std::string name = directory_->TemporaryTableName();
  EXPECT_EQ(name, prefix + "0.DAT");
  directory_->CreateTable(CounterTable(name), {.Exclusive = true}, false);
  EXPECT_TRUE(FileThere(prefix + "0.DAT"));
  EXPECT_EQ(directory_->TemporaryTableName(), prefix + "1.DAT");
  EXPECT_EQ(directory_->TemporaryFileName(".TMP"), temp_.Dir() + prefix + "0.TMP");
}

TEST_F(DataDirectoryTest, ThePrivateDirectoryDefaultsToTheTemporaryDirectory) {
  EXPECT_EQ(session_->PrivateDirectory(), platform::TempDirectory());
  EXPECT_EQ(session_->OpenPrivateDirectory()->Path(), platform::TempDirectory());
  session_->SetPrivateDirectory(temp_.Dir());
  auto private_directory = session_->OpenPrivateDirectory();
  EXPECT_EQ(private_directory.get(), directory_.get());
  std::string name = private_directory->TemporaryTableName();
  private_directory->CreateTable(CounterTable(name), {.Exclusive = true}, false);
  EXPECT_TRUE(FileThere(name));
}

TEST_F(DataDirectoryTest, EncryptedTablesNeedTheirPassword) {
  TTableDefinition definition = CounterTable("Secret");
  definition.Encrypted = true;
  definition.Password = "Sesame";
  directory_->CreateTable(definition, {.Exclusive = true}, false);
  EXPECT_EQ(EngineCodeOf([&] { directory_->OpenTable("Secret", {}); }), STRATA_NOTSUFFTABLERIGHTS);
  EXPECT_TRUE(directory_->Tables().empty());

  int asked = 0;
  session_->PasswordRequest = [&](const std::string& table) {
    EXPECT_EQ(table, "Secret");
    ++asked;
    session_->AddPassword(asked == 1 ? "sesame" : "Sesame");  // wrong case first
    return true;
  };
  TTableRef table = directory_->OpenTable("Secret", {});
  EXPECT_EQ(asked, 2);
  EXPECT_TRUE(table->DataFile().Encrypted());
}

TEST_F(DataDirectoryTest, TheMemoryDatabaseKeepsItsTablesInMemory) {
  auto memory = session_->OpenDirectory("Memory", "");
  ASSERT_TRUE(memory->InMemory());
  TTableDefinition scratch = CounterTable("Scratch", true);
  memory->CreateTable(scratch, {.Exclusive = true}, false);
  EXPECT_TRUE(memory->TableExists("Scratch"));
  EXPECT_FALSE(directory_->TableExists("Scratch"));
  TTableRef table = memory->OpenTable("Scratch", {});
  EXPECT_TRUE(table->InMemory());
  EXPECT_TRUE(table->HasBlobs());
  TDataFile& data = table->DataFile();
  {
    testing::SetInt(scratch, data.AllocateSlot()->Data(), 2, 42);
    table->FlushAfterChange(false);
  }
  table.Release();
  TTableRef again = memory->OpenTable("scratch", {.Exclusive = true});
  EXPECT_EQ(again->DataFile().SlotCount(), 1u) << "a memory table outlives its last cursor";
  memory->DeleteTable(again);
  EXPECT_FALSE(memory->TableExists("Scratch"));
}

TEST_F(DataDirectoryTest, ATemporaryTableGoesWithItsLastUser) {
  const std::string name = directory_->TemporaryTableName();
  const std::string stem = name.substr(0, name.size() - 4);
  directory_->CreateTable(CounterTable(name, true), {.Exclusive = true}, false);
  {
    TTableRef first = directory_->OpenTable(name, {.Temporary = true});
    TTableRef second = directory_->OpenTable(name, {});
    first.Release();
    // One user left: the files stay.
    EXPECT_TRUE(FileThere(stem + ".DAT"));
    EXPECT_TRUE(FileThere(stem + ".IDX"));
    EXPECT_TRUE(FileThere(stem + ".BLB"));
  }
  EXPECT_FALSE(FileThere(stem + ".DAT"));
  EXPECT_FALSE(FileThere(stem + ".IDX"));
  EXPECT_FALSE(FileThere(stem + ".BLB"));
  EXPECT_TRUE(directory_->Tables().empty());
  // The name is free for the next result table.
  EXPECT_EQ(directory_->TemporaryTableName(), name);
}

TEST_F(DataDirectoryTest, ATemporaryTableOpenAtTheDirectorysEndIsDeletedToo) {
  const std::string name = directory_->TemporaryTableName();
  directory_->CreateTable(CounterTable(name), {.Exclusive = true}, false);
  TTableRef held = directory_->OpenTable(name, {.Exclusive = true, .Temporary = true});
  directory_->StartTransaction();
  held.Release();  // in a transaction the table object stays until its end
  EXPECT_TRUE(FileThere(name));
  directory_->Rollback();
  EXPECT_FALSE(FileThere(name));
}

TEST_F(DataDirectoryTest, AnOrdinaryTableKeepsItsFilesWhenClosed) {
  directory_->CreateTable(CounterTable("Kept"), {.Exclusive = true}, false);
  directory_->OpenTable("Kept", {}).Release();
  EXPECT_TRUE(FileThere("Kept.DAT"));
}

}  // namespace
}  // namespace strata
