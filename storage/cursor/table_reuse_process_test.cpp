// Tables kept open idle between uses (TDataDirectory, TDataTable::Suspend):
// reuse without reopening, and what other processes may do meanwhile. Real
// processes (fork) on real files; every process opens the table after the
// fork with its own session.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "platform/file.h"
#include "storage/cursor/data_cursor.h"
#include "storage/cursor/test_cursor_table.h"
#include "storage/engine_error.h"
#include "storage/index/index_file.h"
#include "storage/test_child_process.h"

namespace strata {
namespace {

using testing::CheckTableFiles;
using testing::ErrorCodeOf;
using testing::TChildProcess;
using testing::TCursorEnvironment;
using testing::TTableBuilder;
using testing::TTempDir;

constexpr uint16_t kId = 1;
constexpr uint16_t kName = 2;

TTableDefinition ItemTable(const std::string& name) {
  return TTableBuilder(name)
      .Add("Id", fldINT32)
      .Add("Name", fldZSTRING, 20)
      .Primary({kId})
      .Definition();
}

void Insert(TDataCursor& cursor, int from, int count) {
  for (int id = from; id < from + count; ++id) {
    cursor.InitRecord();
    cursor.PutFieldInt64(kId, id);
    cursor.PutFieldText(kName, "item " + std::to_string(id));
    cursor.InsertRecord();
  }
}

// Descriptors this process holds on files in `folder`.
int DescriptorsInto(const std::string& folder) {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (const dirent* entry = readdir(dir)) {
    std::error_code error;
    const std::string target =
        std::filesystem::read_symlink(std::string("/proc/self/fd/") + entry->d_name, error);
    if (!error && target.rfind(folder, 0) == 0) ++count;
  }
  closedir(dir);
  return count;
}

class TableReuseTest : public ::testing::Test {
 protected:
  TableReuseTest() : env(dir.Dir()) {
    TDataCursor cursor(env.directory);
    cursor.CreateTable(ItemTable("Items"));
    cursor.Open("Items");
    Insert(cursor, 1, 10);
  }
  const TDataDirectory::TOpenCounts& Counts() { return env.directory->OpenCounts(); }
  // Runs `body` in a child process that opens the folder itself; its exit code.
  int InChild(const std::function<int(TDataDirectory&)>& body) {
    TChildProcess child([&](TChildProcess&) {
      TCursorEnvironment own(dir.Dir());
      return body(*own.directory);
    });
    return child.Wait();
  }

  TTempDir dir;
  TCursorEnvironment env;
};

TEST_F(TableReuseTest, ReleasedTableStaysOpenIdleAndIsResumedWithoutReopening) {
  ASSERT_EQ(env.directory->IdleTables().size(), 1u);
  EXPECT_TRUE(env.directory->Tables().empty()) << "idle tables are not in use";
  const TDataTable* idle = env.directory->IdleTables().front();
  const uint64_t opened = Counts().Opened;

  TDataCursor cursor(env.directory);
  cursor.Open("items");
  EXPECT_EQ(Counts().Opened, opened);
  EXPECT_EQ(Counts().Resumed, 1u);
  ASSERT_EQ(env.directory->Tables().size(), 1u);
  EXPECT_EQ(env.directory->Tables().front(), idle) << "the same object";
  EXPECT_TRUE(env.directory->IdleTables().empty());
  EXPECT_EQ(cursor.RecordCount(), 10u);
  EXPECT_EQ(idle->ResumeChecks().Paths, 1u) << "given up, the files are proved";
  EXPECT_EQ(idle->ResumeChecks().Headers, 1u) << "written just before going idle";

  // An exclusive open here closes the idle object and opens anew.
  cursor.Close();
  cursor.Open("Items", {.Exclusive = true});
  EXPECT_EQ(Counts().Opened, opened + 1);
  EXPECT_TRUE(cursor.Table().Exclusive());
  cursor.Close();
  EXPECT_TRUE(env.directory->IdleTables().empty()) << "an exclusive table is not kept";
}

TEST_F(TableReuseTest, IdleTableLetsAnotherProcessInExclusivelyAndSeesItsRestructure) {
  {
    // In use here, the table keeps exclusive openers out.
    TDataCursor cursor(env.directory);
    cursor.Open("Items");
    EXPECT_EQ(InChild([](TDataDirectory& directory) {
                TDataCursor other(directory.shared_from_this());
                return ErrorCodeOf([&] { other.Open("Items", {.Exclusive = true}); }) ==
                               STRATA_OSEACCES
                           ? 0
                           : 1;
              }),
              0);
  }
  ASSERT_EQ(env.directory->IdleTables().size(), 1u);
  // Idle here: another process takes it exclusively, adds an index and rows.
  EXPECT_EQ(InChild([](TDataDirectory& directory) {
              TDataCursor other(directory.shared_from_this());
              other.Open("Items", {.Exclusive = true});
              other.AddIndex({.Name = "ByName", .FieldNumbers = {kName}});
              Insert(other, 11, 5);
              return 0;
            }),
            0);
  const uint64_t opened = Counts().Opened;
  TDataCursor cursor(env.directory);
  cursor.Open("Items");
  EXPECT_EQ(Counts().Opened, opened + 1) << "restructured: opened afresh";
  cursor.SetIndex("ByName");
  EXPECT_EQ(cursor.RecordCount(), 15u);
  cursor.First();
  ASSERT_TRUE(cursor.MoveNext());
  EXPECT_EQ(cursor.GetFieldText(kName), "item 1");
  cursor.Last();
  ASSERT_TRUE(cursor.MovePrior());
  EXPECT_EQ(cursor.GetFieldText(kName), "item 9");
}

TEST_F(TableReuseTest, OrdinaryChangesElsewhereKeepTheIdleObject) {
  EXPECT_EQ(InChild([](TDataDirectory& directory) {
              TDataCursor other(directory.shared_from_this());
              other.Open("Items");
              Insert(other, 11, 3);
              other.SetRecordNumber(1);
              other.DeleteRecord();
              return 0;
            }),
            0);
  const uint64_t opened = Counts().Opened;
  TDataCursor cursor(env.directory);
  cursor.Open("Items");
  EXPECT_EQ(Counts().Opened, opened) << "only the records changed";
  EXPECT_EQ(cursor.RecordCount(), 12u);
  cursor.Last();
  ASSERT_TRUE(cursor.MovePrior());
  EXPECT_EQ(cursor.GetFieldInt64(kId), 13);
}

TEST_F(TableReuseTest, TableMadeAnewInPlaceIsOpenedAfreshWhenTheCountersMeet) {
  // Created anew over the old files (same inodes), the counters start again:
  // refilled until the index counter meets this object's, only the other
  // header values tell the index files apart (the pages cached here are of
  // the old tree).
  EXPECT_EQ(InChild([](TDataDirectory& directory) {
              TDataCursor other(directory.shared_from_this());
              other.Open("Items");
              const uint32_t counter = other.Table().IndexFile().ChangeCounter();
              other.Close();
              other.CreateTable(ItemTable("Items"), {.Exclusive = true}, true);
              other.Open("Items", {.Exclusive = true});
              TIndexFile& index = other.Table().IndexFile();
              // Descending ids: the new tree's order is not the record order.
              for (int id = 200; index.ChangeCounter() < counter; --id) {
                // A header written on its own advances the counter by one.
                if (counter - index.ChangeCounter() == 1) {
                  other.Table().Flush(true);
                } else {
                  Insert(other, id, 1);
                }
              }
              return index.ChangeCounter() == counter ? 0 : 3;
            }),
            0);
  TDataCursor cursor(env.directory);
  cursor.Open("Items");
  EXPECT_EQ(CheckTableFiles(cursor), std::vector<std::string>{});
  const int rows = static_cast<int>(cursor.RecordCount());
  ASSERT_GT(rows, 1);
  cursor.SetIndex("");  // the primary index: by id
  cursor.First();
  ASSERT_TRUE(cursor.MoveNext());
  EXPECT_EQ(cursor.GetFieldInt64(kId), 201 - rows);
  cursor.Last();
  ASSERT_TRUE(cursor.MovePrior());
  EXPECT_EQ(cursor.GetFieldInt64(kId), 200);
}

TEST_F(TableReuseTest, ChangeLeftHotByAKilledWriterIsRolledBackBeforeTheIdleTableReads) {
  uint32_t rows = 10;
  for (uint64_t crash_at = 1;; ++crash_at) {
    const int code = InChild([&](TDataDirectory& directory) {
      TDataCursor other(directory.shared_from_this());
      other.Open("Items");
      platform::ArmFileCrash(crash_at);
      Insert(other, 100 + static_cast<int>(crash_at), 1);
      platform::DisarmFileCrash();
      return 0;
    });
    ASSERT_TRUE(code == 0 || code == platform::kFileCrashExitCode) << crash_at;
    TDataCursor cursor(env.directory);
    cursor.Open("Items");
    EXPECT_EQ(CheckTableFiles(cursor), std::vector<std::string>{}) << "crash at " << crash_at;
    const uint32_t now = cursor.RecordCount();
    EXPECT_TRUE(now == rows || now == rows + 1) << "crash at " << crash_at;
    rows = now;
    if (code == 0 || crash_at > 200) break;
  }
  EXPECT_GT(Counts().Resumed, 1u) << "the idle object was taken up again";
}

TEST_F(TableReuseTest, ChildOfAProcessWithIdleTablesLocksThroughItsOwnDescriptors) {
  env.session->Settings().LockRetryCount = 1;
  TChildProcess child([&](TChildProcess& parent) {
    TCursorEnvironment own(dir.Dir());
    TDataCursor other(own.directory);
    other.Open("Items");
    other.First();
    other.Next();
    other.GetCurrentRecord(true);  // record lock on the first row
    parent.Send();
    parent.Receive();
    return 0;
  });
  ASSERT_EQ(child.Receive(), '.');
  TDataCursor cursor(env.directory);
  cursor.Open("Items");
  cursor.First();
  cursor.Next();
  EXPECT_EQ(ErrorCodeOf([&] { cursor.GetCurrentRecord(true); }), STRATA_RECLOCKFAILED)
      << "the child's lock must conflict with this process's";
  child.Send();
  EXPECT_EQ(child.Wait(), 0);
}

TEST_F(TableReuseTest, FilesReplacedByRenameWhileIdleAreDetected) {
  EXPECT_EQ(InChild([&](TDataDirectory& directory) {
              TDataCursor other(directory.shared_from_this());
              other.CreateTable(ItemTable("Fresh"));
              other.Open("Fresh");
              Insert(other, 500, 3);
              other.Close();
              directory.CloseUnusedTables();
              for (const char* extension : {".DAT", ".IDX"}) {
                std::filesystem::rename(dir.File(std::string("Fresh") + extension),
                                        dir.File(std::string("Items") + extension));
              }
              return 0;
            }),
            0);
  const uint64_t opened = Counts().Opened;
  TDataCursor cursor(env.directory);
  cursor.Open("Items");
  EXPECT_EQ(Counts().Opened, opened + 1);
  EXPECT_EQ(cursor.RecordCount(), 3u);
  cursor.First();
  ASSERT_TRUE(cursor.MoveNext());
  EXPECT_EQ(cursor.GetFieldInt64(kId), 500);
}

TEST_F(TableReuseTest, ExclusiveHolderElsewhereFailsTheReuseAsAnOpenAndLeavesNothingOpen) {
  TChildProcess holder([&](TChildProcess& parent) {
    TCursorEnvironment own(dir.Dir());
    TDataCursor other(own.directory);
    other.Open("Items", {.Exclusive = true});
    parent.Send();
    parent.Receive();
    return 0;
  });
  ASSERT_EQ(holder.Receive(), '.');
  TDataCursor cursor(env.directory);
  EXPECT_EQ(ErrorCodeOf([&] { cursor.Open("Items"); }), STRATA_OSEACCES);
  EXPECT_TRUE(env.directory->IdleTables().empty());
  EXPECT_TRUE(env.directory->Tables().empty());
  EXPECT_EQ(DescriptorsInto(dir.Dir()), 0) << "no half-open object";
  holder.Send();
  EXPECT_EQ(holder.Wait(), 0);
  cursor.Open("Items");
  EXPECT_EQ(cursor.RecordCount(), 10u);
}

TEST_F(TableReuseTest, IdleTablesAreBoundedAndGoWithTheDirectory) {
  for (int i = 0; i < 20; ++i) {
    TDataCursor cursor(env.directory);
    const std::string name = "T" + std::to_string(i);
    cursor.CreateTable(ItemTable(name));
    cursor.Open(name);
    Insert(cursor, 1, 1);
  }
  const auto& idle = env.directory->IdleTables();
  ASSERT_EQ(idle.size(), TDataDirectory::kIdleTableLimit);
  EXPECT_EQ(idle.back()->Name(), "T19");
  EXPECT_EQ(idle.front()->Name(), "T4") << "the longest unused went first";
  EXPECT_GT(DescriptorsInto(dir.Dir()), 0);

  env.directory.reset();
  env.session.reset();
  EXPECT_EQ(DescriptorsInto(dir.Dir()), 0);
}

TEST_F(TableReuseTest, TransactionsLeaveIdleTablesOutAndParkTheirOwn) {
  TCursorEnvironment second(dir.Dir());  // unused; a second session must not matter
  {
    TDataCursor cursor(env.directory);
    cursor.CreateTable(ItemTable("Other"));
  }
  env.directory->StartTransaction();
  ASSERT_EQ(env.directory->IdleTables().size(), 1u);
  EXPECT_FALSE(env.directory->IdleTables().front()->InTransaction());
  // No lock of the transaction covers the idle table.
  EXPECT_EQ(InChild([](TDataDirectory& directory) {
              TDataCursor other(directory.shared_from_this());
              other.Open("Items", {.Exclusive = true});
              return 0;
            }),
            0);
  {
    TDataCursor cursor(env.directory);
    cursor.Open("Items");
    EXPECT_TRUE(cursor.Table().InTransaction()) << "resumed, it joins";
    Insert(cursor, 20, 1);
    TDataCursor other(env.directory);
    other.Open("Other");
    Insert(other, 1, 1);
  }
  env.directory->Commit();
  EXPECT_EQ(env.directory->IdleTables().size(), 2u) << "unused after commit: kept idle";
  EXPECT_EQ(InChild([](TDataDirectory& directory) {
              TDataCursor other(directory.shared_from_this());
              other.Open("Items", {.Exclusive = true});
              return other.RecordCount() == 11u ? 0 : 1;
            }),
            0);
}

TEST_F(TableReuseTest, AnotherSessionHereMayDeleteOrCreateOverAnIdleTable) {
  ASSERT_EQ(env.directory->IdleTables().size(), 1u);
  TCursorEnvironment second(dir.Dir());
  {
    TDataCursor other(second.directory);
    other.DeleteTable("Items", {.Exclusive = true});
  }
  EXPECT_FALSE(env.directory->TableExists("Items")) << "the idle object vouches for nothing";
  TDataCursor cursor(env.directory);
  EXPECT_EQ(ErrorCodeOf([&] { cursor.Open("Items"); }), STRATA_OSENOENT);
  EXPECT_TRUE(env.directory->IdleTables().empty());

  // Made anew elsewhere in this process, the table is found as it is now.
  {
    TDataCursor other(second.directory);
    other.CreateTable(ItemTable("Items"));
    other.Open("Items");
    Insert(other, 7, 1);
  }
  cursor.Open("Items");
  EXPECT_EQ(cursor.RecordCount(), 1u);
  cursor.Close();
  // Creating over an idle table of this directory closes it first.
  TDataCursor creator(env.directory);
  EXPECT_NO_THROW(creator.CreateTable(ItemTable("Items"), {.Exclusive = true}, true));
  creator.Open("Items");
  EXPECT_EQ(creator.RecordCount(), 0u);
}

TEST_F(TableReuseTest, TemporaryNamesSkipTakenFilesWithoutListingTheFolder) {
  const std::string first = env.directory->TemporaryTableName();
  ASSERT_GE(first.size(), 5u);
  EXPECT_EQ(first.substr(first.size() - 4), ".DAT");
  // A data file under the name takes it; so does a table object here.
  { std::ofstream(dir.File(first)) << "x"; }
  const std::string second = env.directory->TemporaryTableName();
  EXPECT_NE(second, first);
  TDataCursor cursor(env.directory);
  cursor.CreateTable(ItemTable(second.substr(0, second.size() - 4)));
  cursor.Open(second);
  EXPECT_NE(env.directory->TemporaryTableName(), second);
  cursor.Close();
  EXPECT_NE(env.directory->TemporaryTableName(), second) << "idle, the name is still taken";
}

// Under HoldIdleTables an idle table keeps its files' sharing locks.
class TableHoldTest : public TableReuseTest {
 protected:
  TableHoldTest() {
    env.session->Settings().HoldIdleTables = true;
    env.directory->CloseUnusedTables();
    TDataCursor cursor(env.directory);
    cursor.Open("Items");
  }
  // The idle object, which must have kept its locks.
  const TDataTable& Held() {
    EXPECT_EQ(env.directory->IdleTables().size(), 1u);
    const TDataTable* table = env.directory->IdleTables().front();
    EXPECT_TRUE(table->HeldIdle());
    return *table;
  }
  // Whether a child process may open the table exclusively.
  bool ExclusiveElsewhere() {
    const int code = InChild([](TDataDirectory& directory) {
      TDataCursor other(directory.shared_from_this());
      const int error = ErrorCodeOf([&] { other.Open("Items", {.Exclusive = true}); });
      return error == 0 ? 0 : error == STRATA_OSEACCES ? 1 : 2;
    });
    EXPECT_NE(code, 2) << "only the usual 'in use' error";
    return code == 0;
  }
};

TEST_F(TableHoldTest, HeldTableIsTakenUpUncheckedAndKeepsExclusiveOpenersOutUntilClosed) {
  const TDataTable* held = &Held();
  const uint64_t opened = Counts().Opened;
  for (int round = 0; round < 3; ++round) {
    TDataCursor cursor(env.directory);
    cursor.Open("Items");
    Insert(cursor, 20 + round, 1);  // always written just before going idle
  }
  EXPECT_EQ(&Held(), held);
  EXPECT_EQ(Counts().Opened, opened);
  EXPECT_EQ(Counts().Resumed, 3u);
  EXPECT_EQ(held->ResumeChecks().Paths, 0u) << "no stat";
  EXPECT_EQ(held->ResumeChecks().Headers, 0u) << "no header read";

  EXPECT_FALSE(ExclusiveElsewhere()) << "idle here, still in use";
  EXPECT_EQ(InChild([](TDataDirectory& directory) {
              TDataCursor other(directory.shared_from_this());
              return ErrorCodeOf([&] { other.DeleteTable("Items", {.Exclusive = true}); }) ==
                             STRATA_OSEACCES
                         ? 0
                         : 1;
            }),
            0);
  env.directory->CloseUnusedTables();
  EXPECT_TRUE(ExclusiveElsewhere()) << "closed here, free";

  // Exclusive use here, and a structural operation on the name, close the
  // held object first.
  { TDataCursor(env.directory).Open("Items"); }
  Held();
  {
    TDataCursor cursor(env.directory);
    cursor.Open("Items", {.Exclusive = true});
    EXPECT_EQ(cursor.RecordCount(), 13u);
    cursor.Close();
    { TDataCursor(env.directory).Open("Items"); }
    Held();
    EXPECT_NO_THROW(cursor.CreateTable(ItemTable("Items"), {.Exclusive = true}, true));
    EXPECT_TRUE(env.directory->IdleTables().empty());
  }

  // The directory's end gives the table up.
  { TDataCursor(env.directory).Open("Items"); }
  Held();
  EXPECT_FALSE(ExclusiveElsewhere());
  env.directory.reset();
  env.session.reset();
  EXPECT_TRUE(ExclusiveElsewhere());
}

TEST_F(TableHoldTest, ChangesElsewhereWhileHeldAreSeenAtTheNextUse) {
  const TDataTable* held = &Held();
  EXPECT_EQ(InChild([](TDataDirectory& directory) {
              TDataCursor other(directory.shared_from_this());
              other.Open("Items");
              Insert(other, 11, 3);
              other.SetRecordNumber(1);
              other.DeleteRecord();
              return 0;
            }),
            0);
  const uint64_t opened = Counts().Opened;
  TDataCursor cursor(env.directory);
  cursor.Open("Items");
  EXPECT_EQ(&cursor.Table(), held);
  EXPECT_EQ(Counts().Opened, opened);
  EXPECT_EQ(cursor.RecordCount(), 12u);
  cursor.First();
  ASSERT_TRUE(cursor.MoveNext());
  EXPECT_EQ(cursor.GetFieldInt64(kId), 2);
  cursor.Last();
  ASSERT_TRUE(cursor.MovePrior());
  EXPECT_EQ(cursor.GetFieldInt64(kId), 13);
  EXPECT_EQ(held->ResumeChecks().Paths, 0u);
}

TEST_F(TableHoldTest, ChangeLeftHotByAKilledWriterWhileHeldIsRolledBackBeforeTheNextRead) {
  const TDataTable* held = &Held();
  uint32_t rows = 10;
  for (uint64_t crash_at = 1;; ++crash_at) {
    const int code = InChild([&](TDataDirectory& directory) {
      TDataCursor other(directory.shared_from_this());
      other.Open("Items");
      platform::ArmFileCrash(crash_at);
      Insert(other, 100 + static_cast<int>(crash_at), 1);
      platform::DisarmFileCrash();
      return 0;
    });
    ASSERT_TRUE(code == 0 || code == platform::kFileCrashExitCode) << crash_at;
    TDataCursor cursor(env.directory);
    cursor.Open("Items");
    ASSERT_EQ(&cursor.Table(), held) << "crash at " << crash_at;
    EXPECT_EQ(CheckTableFiles(cursor), std::vector<std::string>{}) << "crash at " << crash_at;
    const uint32_t now = cursor.RecordCount();
    EXPECT_TRUE(now == rows || now == rows + 1) << "crash at " << crash_at;
    rows = now;
    if (code == 0 || crash_at > 200) break;
  }
  EXPECT_GE(rows, 11u) << "the last writer was not killed";
  EXPECT_EQ(held->ResumeChecks().Paths, 0u);
}

}  // namespace
}  // namespace strata
