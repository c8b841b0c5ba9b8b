// Kill points: a child process runs one change and is ended by the platform's
// crash-test countdown at its Nth file write, sync or truncate, for N = 1, 2,
// ... until the change completes. After each, the parent opens the table:
// the check finds it sound, its records are exactly those before or those
// after the change, and a next insert and a list work.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/file.h"
#include "storage/cursor/data_cursor.h"
#include "storage/cursor/test_cursor_table.h"
#include "storage/test_child_process.h"

namespace strata {
namespace {

using testing::CheckTableFiles;
using testing::TChildProcess;
using testing::TCursorEnvironment;
using testing::TTableBuilder;
using testing::TTempDir;
namespace fs = std::filesystem;

constexpr uint16_t kRow = 1;
constexpr uint16_t kName = 2;
constexpr uint16_t kCounter = 3;
constexpr uint16_t kPayload = 4;

// Names of 200 characters: their index holds 19 entries a page, so the
// 20th record splits its root.
TTableDefinition CrashTable(const std::string& name) {
  return TTableBuilder(name)
      .Add("Row", fldINT32, 0, fldstAUTOINC)
      .Add("Name", fldZSTRING, 200)
      .Add("Counter", fldINT32)
      .Add("Payload", fldBLOB)
      .Primary({kRow})
      .Secondary("ByName", {kName})
      .BlobBlockSize(128)
      .Definition();
}

std::string LongName(const std::string& stem) { return stem + std::string(200 - stem.size(), '.'); }

std::vector<uint8_t> Payload(int seed, size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed * 7 + i * 13);
  return bytes;
}

void Insert(TDataCursor& cursor, const std::string& stem, int counter, size_t payload) {
  cursor.InitRecord();
  cursor.PutFieldString(kName, LongName(stem));
  cursor.PutFieldInt64(kCounter, counter);
  if (payload > 0) cursor.SetBlob(kPayload, Payload(counter, payload));
  cursor.InsertRecord();
}

// Positions `cursor` (primary order) on row `row`.
void GoToRow(TDataCursor& cursor, int row) {
  cursor.First();
  while (cursor.MoveNext()) {
    if (*cursor.GetFieldInt64(kRow) == row) return;
  }
  throw std::runtime_error("no row " + std::to_string(row));
}

// Every record of the table in primary order, blob included, as text.
std::vector<std::string> List(TDataCursor& cursor) {
  std::vector<std::string> rows;
  cursor.First();
  while (cursor.MoveNext()) {
    const std::vector<uint8_t> blob = cursor.ReadBlob(kPayload);
    rows.push_back(std::to_string(*cursor.GetFieldInt64(kRow)) + "|" +
                   *cursor.GetFieldString(kName) + "|" +
                   std::to_string(*cursor.GetFieldInt64(kCounter)) + "|" +
                   std::string(blob.begin(), blob.end()));
  }
  return rows;
}

class CursorCrashTest : public ::testing::Test {
 protected:
  CursorCrashTest() {
    TCursorEnvironment env(dir.Dir());
    for (const std::string& table : {"Crash", "Other"}) {
      TDataCursor cursor(env.directory);
      cursor.CreateTable(CrashTable(table));
      cursor.Open(table);
      for (int i = 0; i < 19; ++i) Insert(cursor, "n" + std::to_string(10 + i), i, 40 + 90 * i);
    }
  }

  void Snapshot() { Snapshot(snapshot); }
  void Snapshot(TTempDir& into) {
    fs::remove_all(into.Dir());
    fs::create_directories(into.Dir());
    for (const auto& entry : fs::directory_iterator(dir.Dir())) {
      fs::copy(entry.path(), into.Dir() + entry.path().filename().string());
    }
  }
  void Restore() { Restore(snapshot); }
  void Restore(TTempDir& from) {
    for (const auto& entry : fs::directory_iterator(dir.Dir())) fs::remove(entry.path());
    for (const auto& entry : fs::directory_iterator(from.Dir())) {
      fs::copy(entry.path(), dir.Dir() + entry.path().filename().string());
    }
  }

  std::vector<std::string> ListTable(const std::string& table) {
    TCursorEnvironment env(dir.Dir());
    TDataCursor cursor(env.directory);
    cursor.Open(table);
    return List(cursor);
  }

  // Runs `change` in a child ended at file operation `crash_at` (0: never);
  // returns the child's exit code.
  int RunChild(const std::function<void(TCursorEnvironment&)>& change, uint64_t crash_at) {
    TChildProcess child([&](TChildProcess&) {
      TCursorEnvironment env(dir.Dir());
      if (crash_at > 0) platform::ArmFileCrash(crash_at);
      change(env);
      return 0;
    });
    return child.Wait();
  }

  // The table after a crash: sound, before or after, and usable.
  void ExpectBeforeOrAfter(const std::string& table, const std::vector<std::string>& before,
                           const std::vector<std::string>& after, uint64_t n) {
    TCursorEnvironment env(dir.Dir());
    TDataCursor cursor(env.directory);
    cursor.Open(table);
    EXPECT_EQ(CheckTableFiles(cursor), std::vector<std::string>{}) << table << " crash at " << n;
    const std::vector<std::string> rows = List(cursor);
    EXPECT_TRUE(rows == before || rows == after) << table << " crash at " << n;
    Insert(cursor, "next", 999, 300);
    EXPECT_EQ(List(cursor).size(), rows.size() + 1) << table << " crash at " << n;
    EXPECT_EQ(CheckTableFiles(cursor), std::vector<std::string>{}) << table << " crash at " << n;
  }

  // The kill-point loop over `change`; returns the number of points tried.
  uint64_t KillAtEveryPoint(const std::function<void(TCursorEnvironment&)>& change,
                            const std::vector<std::string>& tables = {"Crash"}) {
    Snapshot();
    std::vector<std::vector<std::string>> before, after;
    for (const std::string& table : tables) before.push_back(ListTable(table));
    EXPECT_EQ(RunChild(change, 0), 0) << "the change itself fails";
    for (const std::string& table : tables) after.push_back(ListTable(table));
    for (size_t i = 0; i < tables.size(); ++i) EXPECT_NE(before[i], after[i]) << tables[i];
    uint64_t n = 1;
    for (;; ++n) {
      Restore();
      const int code = RunChild(change, n);
      if (code == 0) break;  // completed unhindered
      EXPECT_EQ(code, platform::kFileCrashExitCode) << "crash at " << n;
      if (code != platform::kFileCrashExitCode || n > 1000) break;
      for (size_t i = 0; i < tables.size(); ++i) {
        ExpectBeforeOrAfter(tables[i], before[i], after[i], n);
      }
      if (HasFailure()) break;
    }
    return n - 1;
  }

  TTempDir dir;
  TTempDir snapshot;
};

TEST_F(CursorCrashTest, InsertWithBlobsAndARootSplitIsBeforeOrAfterAtEveryKillPoint) {
  const uint64_t index_size = fs::file_size(dir.File("Crash.IDX"));
  const uint64_t points = KillAtEveryPoint([](TCursorEnvironment& env) {
    TDataCursor cursor(env.directory);
    cursor.Open("Crash");
    Insert(cursor, "n05", 77, 700);
  });
  EXPECT_GE(points, 5u);
  Restore();
  RunChild(
      [](TCursorEnvironment& env) {
        TDataCursor cursor(env.directory);
        cursor.Open("Crash");
        Insert(cursor, "n05", 77, 700);
      },
      0);
  EXPECT_GE(fs::file_size(dir.File("Crash.IDX")), index_size + 2 * 4096) << "the root split";
}

TEST_F(CursorCrashTest, UpdatesThatMoveKeysAndGrowOrShrinkBlobsAreBeforeOrAfter) {
  // The key moves to the front and the blob grows from 400 to 1500 bytes.
  EXPECT_GE(KillAtEveryPoint([](TCursorEnvironment& env) {
              TDataCursor cursor(env.directory);
              cursor.Open("Crash");
              GoToRow(cursor, 5);
              cursor.PutFieldString(kName, LongName("a-moved"));
              cursor.PutFieldInt64(kCounter, 55);
              cursor.SetBlob(kPayload, Payload(55, 1500));
              cursor.ModifyRecord();
            }),
            5u);
  // The blob shrinks from 1660 bytes to 10.
  EXPECT_GE(KillAtEveryPoint([](TCursorEnvironment& env) {
              TDataCursor cursor(env.directory);
              cursor.Open("Crash");
              GoToRow(cursor, 19);
              cursor.SetBlob(kPayload, Payload(3, 10));
              cursor.ModifyRecord();
            }),
            3u);
}

TEST_F(CursorCrashTest, DeleteIsBeforeOrAfterAtEveryKillPoint) {
  EXPECT_GE(KillAtEveryPoint([](TCursorEnvironment& env) {
              TDataCursor cursor(env.directory);
              cursor.Open("Crash");
              GoToRow(cursor, 12);
              cursor.DeleteRecord();
            }),
            3u);
}

TEST_F(CursorCrashTest, EachTableOfATransactionCommitIsBeforeOrAfter) {
  EXPECT_GE(KillAtEveryPoint(
                [](TCursorEnvironment& env) {
                  TDataCursor crash(env.directory);
                  crash.Open("Crash");
                  TDataCursor other(env.directory);
                  other.Open("Other");
                  env.directory->StartTransaction();
                  Insert(crash, "t1", 101, 500);
                  Insert(other, "t2", 102, 900);
                  GoToRow(crash, 2);
                  crash.PutFieldString(kName, LongName("zz-moved"));
                  crash.ModifyRecord();
                  GoToRow(other, 4);
                  other.DeleteRecord();
                  env.directory->Commit();
                },
                {"Crash", "Other"}),
            8u);
}

TEST_F(CursorCrashTest, AReaderEndedWhileRollingBackLeavesTheRollbackToTheNextProcess) {
  // For every kill point of an insert, a process that only reads finds the
  // hot journal (opening the journal file it had no need of till then), and
  // is itself ended at each file operation of its rollback; the process
  // after it still finds the table before or after the insert.
  auto insert = [](TCursorEnvironment& env) {
    TDataCursor cursor(env.directory);
    cursor.Open("Crash");
    Insert(cursor, "n05", 77, 700);
  };
  auto read = [](TCursorEnvironment& env) {
    TDataCursor cursor(env.directory);
    cursor.Open("Crash");
    List(cursor);
  };
  Snapshot();
  const std::vector<std::string> before = ListTable("Crash");
  ASSERT_EQ(RunChild(insert, 0), 0);
  const std::vector<std::string> after = ListTable("Crash");
  TTempDir killed;
  uint64_t interrupted_rollbacks = 0;
  for (uint64_t n = 1; n < 1000 && !HasFailure(); ++n) {
    Restore();
    const int code = RunChild(insert, n);
    if (code == 0) break;
    ASSERT_EQ(code, platform::kFileCrashExitCode) << "crash at " << n;
    Snapshot(killed);
    for (uint64_t m = 1; m < 1000 && !HasFailure(); ++m) {
      Restore(killed);
      const int reader = RunChild(read, m);
      ASSERT_TRUE(reader == 0 || reader == platform::kFileCrashExitCode) << n << "/" << m;
      if (reader != 0) ++interrupted_rollbacks;
      ExpectBeforeOrAfter("Crash", before, after, n * 1000 + m);
      if (reader == 0) break;
    }
  }
  EXPECT_GE(interrupted_rollbacks, 5u);
}

TEST_F(CursorCrashTest, AProcessThatReadBeforeAWriterWasKilledRollsTheChangeBackAtItsNextLock) {
  // A process keeps the table open across the writer's life: it read
  // (journal clear), gave its read slot up, and then a writer was ended at
  // each kill point. Its next table lock (a transaction) and the write lock
  // of its commit must not trust that earlier look: the killed change is
  // rolled back before anything is read, and the process's own change
  // lands on the table as it was before the insert.
  auto insert = [](TCursorEnvironment& env) {
    TDataCursor cursor(env.directory);
    cursor.Open("Crash");
    Insert(cursor, "n05", 77, 700);
  };
  Snapshot();
  const std::vector<std::string> before = ListTable("Crash");
  ASSERT_EQ(RunChild(insert, 0), 0);
  const std::vector<std::string> after = ListTable("Crash");
  uint64_t n = 1;
  for (; n < 1000 && !HasFailure(); ++n) {
    Restore();
    TChildProcess observer([&](TChildProcess& parent) {
      TCursorEnvironment env(dir.Dir());
      TDataCursor cursor(env.directory);
      cursor.Open("Crash");
      if (List(cursor) != before) return 1;
      parent.Send('r');
      parent.Receive();
      env.directory->StartTransaction();
      const std::vector<std::string> rows = List(cursor);
      if (rows != before && rows != after) return 2;
      GoToRow(cursor, 3);
      cursor.PutFieldInt64(kCounter, 333);
      cursor.ModifyRecord();
      env.directory->Commit();
      return CheckTableFiles(cursor).empty() ? 0 : 3;
    });
    ASSERT_EQ(observer.Receive(), 'r');
    const int code = RunChild(insert, n);
    observer.Send('.');
    EXPECT_EQ(observer.Wait(), 0) << "crash at " << n;
    if (code == 0) break;
    ASSERT_EQ(code, platform::kFileCrashExitCode) << "crash at " << n;
    TCursorEnvironment env(dir.Dir());
    TDataCursor cursor(env.directory);
    cursor.Open("Crash");
    EXPECT_EQ(CheckTableFiles(cursor), std::vector<std::string>{}) << "crash at " << n;
    const std::vector<std::string> rows = List(cursor);
    EXPECT_TRUE(rows.size() == before.size() || rows.size() == after.size()) << "crash at " << n;
    GoToRow(cursor, 3);
    EXPECT_EQ(*cursor.GetFieldInt64(kCounter), 333) << "crash at " << n;
  }
  EXPECT_GE(n, 5u);
}

TEST_F(CursorCrashTest, ForcedFlushesSyncTheJournalBeforeTheFiles) {
  // With forced flushes the syncs are kill points too; the promise holds.
  EXPECT_GE(KillAtEveryPoint([](TCursorEnvironment& env) {
              env.session->Settings().ForceBufferFlush = true;
              TDataCursor cursor(env.directory);
              cursor.Open("Crash");
              Insert(cursor, "n05", 77, 700);
            }),
            8u);
}

}  // namespace
}  // namespace strata
