#include "sql/exec/statement_read_scope.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/file.h"
#include "sql/exec/test_exec_tables.h"
#include "storage/table/data_table.h"
#include "storage/table/lock_regions.h"
#include "storage/test_child_process.h"

namespace strata {
namespace {

using testing::TChildProcess;
using testing::TExecFixture;
using Rows = std::vector<std::string>;

// A statement runner of its own on the tables of `folder`, as another
// process (or the same one, with progress reports) has it.
struct TRunner {
  TRunner(const std::string& folder, const std::string& private_folder) {
    session = TDataSession::Create();
    session->SetPrivateDirectory(private_folder);
    database = session->OpenDirectory("", folder);
    executor = MakeStatementExecutor(database);
    statement = std::make_unique<TQueryStatement>(*executor);
  }
  TRunner(std::shared_ptr<TDataDirectory> directory, TExecutorOptions options)
      : database(std::move(directory)) {
    executor = MakeStatementExecutor(database, std::move(options));
    statement = std::make_unique<TQueryStatement>(*executor);
  }
  Rows Run(const std::string& sql) {
    statement->PrepareStatement(sql);
    std::unique_ptr<TDataCursor> result = statement->ExecuteStatements();
    return result ? TExecFixture::RowsOf(*result) : Rows{};
  }
  int64_t Count(const std::string& sql) { return std::stoll(Run(sql).at(0)); }

  std::shared_ptr<TDataSession> session;
  std::shared_ptr<TDataDirectory> database;
  std::unique_ptr<TStatementExecutor> executor;
  std::unique_ptr<TQueryStatement> statement;
};

// Whether another opener could take the table's write lock at once: the
// index file's write region covers every read slot.
bool WriteRegionFree(const std::string& index_path) {
  auto file =
      platform::File::Open(index_path, platform::Access::kReadWrite, platform::Share::kShared);
  const bool free = file->TryLock(kWriteRegionOffset, kWriteRegionLength);
  if (free) file->Unlock(kWriteRegionOffset, kWriteRegionLength);
  return free;
}

class StatementReadScopeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int id = 1; id <= 6; ++id) {
      db_.Run("insert into links (id, Link) values (" + std::to_string(id) + ", '" +
              std::to_string(id) + "')");
    }
    db_.Run("insert into user (ID, Impresskto) values (1, 10)");
    db_.Run("insert into user (ID, Impresskto) values (2, 20)");
  }
  TDataTable& TableOf(const std::string& name) {
    probes_.push_back(std::make_unique<TDataCursor>(db_.SharedDatabase()));
    probes_.back()->Open(name);
    return probes_.back()->Table();
  }

  TExecFixture db_;
  std::vector<std::unique_ptr<TDataCursor>> probes_;
};

TEST_F(StatementReadScopeTest, HoldsEachSourceTableOnceUntilReleased) {
  TDataTable& links = TableOf("links");
  TDataTable& user = TableOf("user");
  db_.Statement().PrepareStatement(
      "select l.id from links l, user u, links c where l.id = u.ID and c.id = l.id");
  {
    TStatementReadScope scope(db_.Statement().Statement());
    EXPECT_EQ(scope.Held().size(), 2u);  // links twice is one table
    EXPECT_TRUE(links.ReadLocked());
    EXPECT_TRUE(user.ReadLocked());
    scope.Release();
    EXPECT_TRUE(scope.Held().empty());
    EXPECT_FALSE(links.ReadLocked());
    EXPECT_FALSE(user.ReadLocked());
  }
  {
    TStatementReadScope scope(db_.Statement().Statement());
    EXPECT_TRUE(user.ReadLocked());
  }
  EXPECT_FALSE(user.ReadLocked());  // the destructor gives it back too

  // WITH LOCKS takes its table locks while nothing else is held.
  db_.Statement().PrepareStatement("select id from links WITH LOCKS");
  TStatementReadScope locked(db_.Statement().Statement());
  EXPECT_TRUE(locked.Held().empty());
  EXPECT_FALSE(links.ReadLocked());
}

TEST_F(StatementReadScopeTest, ASelectReadsInsideItAndAChangeLoopOutside) {
  TDataTable& links = TableOf("links");
  bool locked_at_end = false;
  TExecutorOptions options;
  options.Progress = [&](int percent) {
    if (percent == 100) locked_at_end = links.ReadLocked();
    return true;
  };
  TRunner runner(db_.SharedDatabase(), options);
  EXPECT_EQ(runner.Run("select id from links where id > 2").size(), 4u);
  EXPECT_TRUE(locked_at_end);
  EXPECT_FALSE(links.ReadLocked());

  runner.Run("update links set Link = 'y' where id > 3");
  EXPECT_EQ(runner.statement->RowsAffected(), 3);
  EXPECT_FALSE(locked_at_end);
  runner.Run("delete from links where id = 6");
  EXPECT_EQ(runner.statement->RowsAffected(), 1);
  EXPECT_FALSE(locked_at_end);
  EXPECT_FALSE(links.ReadLocked());

  // A row that fails to convert ends the statement; its locks go with it.
  EXPECT_ANY_THROW(runner.Run("select cast(Link as integer) from links"));
  EXPECT_FALSE(links.ReadLocked());
  EXPECT_EQ(runner.Run("select id from links where Link = 'y'").size(), 2u);
}

TEST_F(StatementReadScopeTest, AWriterAtWorkOnALaterSourceLeavesTheScopeEmpty) {
  TDataTable& links = TableOf("links");
  const std::string folder = db_.Database().Path();
  testing::TTempDir private_dir;
  TChildProcess writer([&](TChildProcess& self) {
    TRunner runner(folder, private_dir.Dir());
    TDataCursor user(runner.database);
    user.Open("user");
    if (self.Receive() != 'g') return 1;
    user.Table().BeginWrite();
    self.Send('w');
    if (self.Receive() != 'e') return 1;
    user.Table().EndWrite();
    return 0;
  });
  // The sources are open (opening reads) before the writer starts.
  db_.Statement().PrepareStatement("select l.id from links l, user u where l.id = u.ID");
  writer.Send('g');
  ASSERT_EQ(writer.Receive(), 'w');
  {
    TStatementReadScope scope(db_.Statement().Statement());
    // Waiting for "user" while holding "links" could close a cycle with a
    // writer that waits for "links": the scope holds nothing instead.
    EXPECT_TRUE(scope.Held().empty());
    EXPECT_FALSE(links.ReadLocked());
  }
  writer.Send('e');
  EXPECT_EQ(writer.Wait(), 0);
  TStatementReadScope scope(db_.Statement().Statement());
  EXPECT_EQ(scope.Held().size(), 2u);
}

// One process runs statement after statement over two tables while another
// inserts into both, one transaction per pair: the writer is kept out for
// one statement at a time at most, both finish and nothing is lost.
TEST_F(StatementReadScopeTest, AWriterGetsThroughBetweenAReadersStatements) {
  constexpr int kPairs = 150;
  constexpr int kMaxStatements = 200000;
  const std::string folder = db_.Database().Path();
  testing::TTempDir reader_private;
  testing::TTempDir writer_private;
  TChildProcess writer([&](TChildProcess& self) {
    if (self.Receive() != 'g') return 1;
    TRunner runner(folder, writer_private.Dir());
    for (int i = 0; i < kPairs; ++i) {
      const std::string id = std::to_string(100 + i);
      runner.Run("start transaction");
      runner.Run("insert into pageimpress (Visitor, Label) values (" + id + ", 'p" + id + "')");
      runner.Run("insert into links (id, Link) values (" + id + ", 'l" + id + "')");
      runner.Run("commit");
    }
    return 0;
  });
  TChildProcess reader([&](TChildProcess& self) {
    if (self.Receive() != 'g') return 1;
    TRunner runner(folder, reader_private.Dir());
    const std::string join = "select count(*) from links l, pageimpress p where l.id = p.Visitor";
    int64_t seen = 0;
    for (int statements = 0; statements < kMaxStatements; statements += 2) {
      // The pairs are committed together: every impression has its link.
      const int64_t joined = runner.Count(join);
      const int64_t impressions = runner.Count("select count(*) from pageimpress");
      if (joined < seen || joined > impressions || impressions > kPairs) return 2;
      seen = joined;
      // The writer is done: the join sees every pair now.
      if (impressions == kPairs) return runner.Count(join) == kPairs ? 0 : 3;
    }
    return 4;  // the writer never got through
  });
  writer.Send('g');
  reader.Send('g');
  EXPECT_EQ(writer.Wait(), 0);
  EXPECT_EQ(reader.Wait(), 0);
  EXPECT_EQ(std::stoll(db_.Rows("select count(*) from pageimpress").at(0)), kPairs);
  EXPECT_EQ(std::stoll(db_.Rows("select count(*) from links").at(0)), kPairs + 6);
}

// A SELECT that fails half-way through its rows leaves no lock behind: the
// process stays, its cursors stay open, and another process can take the
// table's write lock at once.
TEST_F(StatementReadScopeTest, AFailedSelectLeavesTheTableFreeForAWriter) {
  const std::string index_path = TableOf("links").IndexPath();
  db_.Run("update links set Link = 'x' where id = 4");
  TChildProcess checker([&](TChildProcess& self) {
    while (self.Receive() == 'c') self.Send(WriteRegionFree(index_path) ? 'f' : 'b');
    return 0;
  });
  db_.Statement().PrepareStatement("select cast(Link as integer) from links l, user u");
  {
    TStatementReadScope scope(db_.Statement().Statement());
    checker.Send('c');
    EXPECT_EQ(checker.Receive(), 'b');  // the check sees a held read lock
  }
  EXPECT_FALSE(db_.ErrorOf("select cast(Link as integer), u.ID from links l, user u").empty());
  checker.Send('c');
  EXPECT_EQ(checker.Receive(), 'f');
  checker.Send('q');
  EXPECT_EQ(checker.Wait(), 0);
}

}  // namespace
}  // namespace strata
