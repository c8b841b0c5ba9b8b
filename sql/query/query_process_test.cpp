// Eight processes change one table through their own query components at
// once, as concurrent banner requests do: each adds 1 to one counter row
// and inserts rows of its own, statement by statement. No change may be
// lost and the table's files must stay sound.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sql/query/strata_query.h"
#include "storage/cursor/data_cursor.h"
#include "storage/session/strata_database.h"
#include "storage/session/strata_session.h"
#include "storage/table_check.h"
#include "storage/test_child_process.h"
#include "storage/test_temp_dir.h"

namespace strata {
namespace {

constexpr int kProcesses = 8;
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__)
constexpr int kRounds = 500;
#else
constexpr int kRounds = 250;  // unoptimised or instrumented builds are slower
#endif

// The components one process works with, on the table folder `folder`.
struct TProcessDatabase {
  explicit TProcessDatabase(const std::string& folder) {
    session.SetSessionName("LoadSession");
    session.SetPrivateDir(folder + "private/");
    // Many short waits: eight writers on one record queue up often.
    session.SetLockRetryCount(255);
    session.SetLockWaitTime(5);
    database.SetSessionName("LoadSession");
    database.SetDatabaseName("LoadDB");
    database.SetDirectory(folder);
    database.SetConnected(true);
    query.SetSessionName("LoadSession");
    query.SetDatabaseName("LoadDB");
  }
  void Exec(const std::string& text) {
    query.Close();
    query.SQL().Clear();
    query.SQL().Add(text);
    query.ExecSQL();
  }

  TStrataSession session;
  TStrataDatabase database;
  TStrataQuery query;
};

int RunWriter(const std::string& folder, int process) {
  TProcessDatabase db(folder);
  for (int i = 0; i < kRounds; ++i) {
    db.Exec("UPDATE t SET n = n + 1 WHERE id = 1");
    if (db.query.RowsAffected() != 1) return 2;
    const int id = 2 + process * kRounds + i;
    db.Exec("INSERT INTO t (id, n, who) VALUES (" + std::to_string(id) + ", 0, 'process " +
            std::to_string(process) + "')");
    if (db.query.RowsAffected() != 1) return 3;
  }
  return 0;
}

TEST(QueryProcesses, EightWritersLoseNoUpdateAndNoInsert) {
  testing::TTempDir dir;
  std::filesystem::create_directories(dir.File("private"));
  // The writers start before this process opens any table file.
  std::vector<std::unique_ptr<testing::TChildProcess>> writers;
  for (int p = 0; p < kProcesses; ++p) {
    writers.push_back(
        std::make_unique<testing::TChildProcess>([&, p](testing::TChildProcess& self) {
          if (self.Receive() != 'g') return 1;
          return RunWriter(dir.Dir(), p);
        }));
  }
  {
    TProcessDatabase db(dir.Dir());
    db.Exec("CREATE TABLE t (id INTEGER NOT NULL, n INTEGER, who VARCHAR(20), PRIMARY KEY (id))");
    db.Exec("INSERT INTO t (id, n, who) VALUES (1, 0, 'counter')");
  }
  for (auto& writer : writers) writer->Send('g');
  for (int p = 0; p < kProcesses; ++p) {
    EXPECT_EQ(writers[static_cast<size_t>(p)]->Wait(), 0) << "writer " << p;
  }

  TProcessDatabase db(dir.Dir());
  db.Exec("SELECT n FROM t WHERE id = 1");
  EXPECT_EQ(db.query.Fields(0).AsInteger(), kProcesses * kRounds);
  db.Exec("SELECT COUNT(*) FROM t");
  EXPECT_EQ(db.query.Fields(0).AsInteger(), 1 + kProcesses * kRounds);
  db.Exec("SELECT COUNT(*) FROM t WHERE who = 'process 7'");
  EXPECT_EQ(db.query.Fields(0).AsInteger(), kRounds);
  db.query.Close();

  TDataCursor cursor(db.database.SharedHandle());
  cursor.Open("t");
  const TTableCheckResult check = CheckTable(cursor);
  EXPECT_TRUE(check.Sound()) << (check.Faults.empty() ? "" : check.Faults.front());
  EXPECT_EQ(check.LiveRecords, static_cast<uint32_t>(1 + kProcesses * kRounds));
}

}  // namespace
}  // namespace strata
