// Transactions over a directory: changes held in the caches until commit,
// invisible to other processes; rollback restores the files' state.
#include <gtest/gtest.h>

#include <filesystem>

#include "storage/blob/blob_file.h"
#include "storage/data/data_file.h"
#include "storage/engine_error.h"
#include "storage/index/index_file.h"
#include "storage/session/data_directory.h"
#include "storage/session/data_session.h"
#include "storage/session/test_session_tables.h"
#include "storage/table/data_table.h"
#include "storage/table/lock_regions.h"
#include "storage/table/table_lock_guards.h"
#include "storage/test_child_process.h"
#include "storage/test_temp_dir.h"

namespace strata {
namespace {

using testing::GetInt;
using testing::SetInt;
using testing::TChildProcess;

class DirectoryTransactionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    definition_ = testing::CounterTable("Ledger");
    testing::CreateTable(temp_.Dir(), definition_);
  }
  // Opens this process's session and directory (after any fork).
  void OpenDirectory() {
    session_ = TDataSession::Create();
    directory_ = session_->OpenDirectory("", temp_.Dir());
  }
  // Appends a record with `counter` and a fresh row number, as one operation.
  void Insert(TDataTable& table, int32_t counter) {
    WriteLock write(table);
    TDataFile& data = table.DataFile();
    TRecord* record = data.AllocateSlot();
    SetInt(definition_, record->Data(), 2, counter);
    PutI32(record->Data() + 5, data.AllocateRowNumber());
    table.FlushAfterChange(false);
    write.Release();
  }
  uintmax_t DataFileSize() { return std::filesystem::file_size(temp_.File("Ledger.DAT")); }

  testing::TTempDir temp_;
  TTableDefinition definition_;
  std::shared_ptr<TDataSession> session_;
  std::shared_ptr<TDataDirectory> directory_;
};

TEST_F(DirectoryTransactionTest, ChangesStayInvisibleToOtherProcessesUntilCommit) {
  TChildProcess observer([&](TChildProcess& parent) {
    auto session = TDataSession::Create();
    auto directory = session->OpenDirectory("", temp_.Dir());
    parent.Receive();  // the parent has changed the table inside its transaction
    TTableRef table = directory->OpenTable("Ledger", {});
    TDataFile& data = table->DataFile();
    {
      ReadLock read(*table);  // readers are not kept out by a transaction
      parent.Send(static_cast<char>('0' + data.SlotCount()));
    }
    parent.Send(data.Lock(kTableMutexOffset, kTableMutexLength) ? 'f' : 'h');
    parent.Receive();  // committed
    {
      ReadLock read(*table);
      parent.Send(read.Changed() ? 'c' : 'u');
      parent.Send(static_cast<char>('0' + data.SlotCount()));
      parent.Send(static_cast<char>(GetInt(definition_, data.ReadRecord(2)->Data(), 2)));
    }
    return 0;
  });
  OpenDirectory();
  TTableRef table = directory_->OpenTable("Ledger", {});
  Insert(*table, 10);
  const uintmax_t committed_size = DataFileSize();
  const uint32_t counter_before = table->DataFile().ChangeCounter();

  directory_->StartTransaction();
  EXPECT_TRUE(directory_->InTransaction());
  EXPECT_TRUE(table->InTransaction());
  EXPECT_TRUE(table->TableLocked());
  Insert(*table, 20);
  Insert(*table, 30);
  EXPECT_EQ(table->DataFile().SlotCount(), 3u) << "this process sees its own changes";
  EXPECT_GT(table->DataFile().ChangeCounter(), counter_before);
  EXPECT_EQ(DataFileSize(), committed_size) << "nothing reached the file";

  observer.Send();
  EXPECT_EQ(observer.Receive(), '1') << "the other process sees only the committed record";
  EXPECT_EQ(observer.Receive(), 'h') << "the transaction holds the table mutex";

  directory_->Commit();
  EXPECT_FALSE(directory_->InTransaction());
  EXPECT_FALSE(table->InTransaction());
  EXPECT_FALSE(table->TableLocked());
  EXPECT_GT(DataFileSize(), committed_size);

  observer.Send();
  EXPECT_EQ(observer.Receive(), 'c');
  EXPECT_EQ(observer.Receive(), '3');
  EXPECT_EQ(observer.Receive(), 20);
  EXPECT_EQ(observer.Wait(), 0);
}

TEST_F(DirectoryTransactionTest, RollbackRestoresFreeChainSlotCountAndAutoIncrement) {
  OpenDirectory();
  TTableRef table = directory_->OpenTable("Ledger", {});
  TDataFile& data = table->DataFile();
  for (int32_t i = 1; i <= 5; ++i) Insert(*table, i * 100);
  {
    WriteLock write(*table);
    data.FreeSlot(3);
    table->FlushAfterChange(false);
  }
  ASSERT_EQ(data.FreeChainHead(), 3u);
  ASSERT_EQ(data.SlotCount(), 5u);
  ASSERT_EQ(data.LastAutoIncrement(), 5);
  const uint32_t counter = data.ChangeCounter();
  const uintmax_t size = DataFileSize();

  directory_->StartTransaction();
  {
    WriteLock write(*table);
    EXPECT_EQ(data.AllocateSlot()->RecordNumber, 3u) << "reuses the free slot";
    EXPECT_EQ(data.AllocateSlot()->RecordNumber, 6u) << "then appends";
    data.AllocateRowNumber();
    data.AllocateRowNumber();
    data.FreeSlot(5);
    TRecord* first = data.ReadRecord(1);
    SetInt(definition_, first->Data(), 2, -1);
    data.MarkModified(first);
    table->FlushAfterChange(false);
  }
  EXPECT_EQ(data.FreeChainHead(), 5u);
  EXPECT_EQ(data.SlotCount(), 6u);
  EXPECT_EQ(data.LastAutoIncrement(), 7);

  directory_->Rollback();
  EXPECT_FALSE(directory_->InTransaction());
  EXPECT_FALSE(table->InTransaction());
  EXPECT_FALSE(table->TableLocked());
  EXPECT_EQ(data.FreeChainHead(), 3u);
  EXPECT_EQ(data.SlotCount(), 5u);
  EXPECT_EQ(data.LastAutoIncrement(), 5);
  EXPECT_EQ(data.ChangeCounter(), counter);
  EXPECT_EQ(DataFileSize(), size);
  {
    ReadLock read(*table);
    EXPECT_FALSE(read.Changed());
    EXPECT_EQ(GetInt(definition_, data.ReadRecord(1)->Data(), 2), 100);
  }
  // The table works normally afterwards.
  Insert(*table, 600);
  EXPECT_EQ(data.FreeChainHead(), 0u);
  EXPECT_EQ(data.SlotCount(), 5u);
}

TEST_F(DirectoryTransactionTest, TablesJoinAtStartOrWhenOpenedAndLeaveAtCommit) {
  testing::CreateTable(temp_.Dir(), testing::CounterTable("Second"));
  OpenDirectory();
  TTableRef first = directory_->OpenTable("Ledger", {});
  auto memory = session_->OpenDirectory("Memory", "");
  directory_->StartTransaction();
  directory_->StartTransaction();  // nothing happens the second time
  EXPECT_TRUE(first->InTransaction());

  TTableRef second = directory_->OpenTable("Second", {});
  EXPECT_TRUE(second->InTransaction()) << "a table opened meanwhile joins at once";
  EXPECT_TRUE(second->TableLocked());
  Insert(*second, 5);
  TDataTable* second_table = &second.Table();
  second.Release();
  EXPECT_EQ(directory_->Tables().size(), 2u) << "kept open until the transaction ends";

  directory_->Commit();
  EXPECT_EQ(directory_->Tables().size(), 1u) << "the unused table closes after commit";
  EXPECT_NE(directory_->Tables().front(), second_table);
  TTableRef reopened = directory_->OpenTable("Second", {});
  EXPECT_EQ(reopened->DataFile().SlotCount(), 1u) << "its change was committed";
  EXPECT_FALSE(reopened->InTransaction());
}

TEST_F(DirectoryTransactionTest, AnExclusiveTableFlushesWhenItJoinsAndMemoryTablesStayOut) {
  OpenDirectory();
  TTableRef table = directory_->OpenTable("Ledger", {.Exclusive = true});
  {
    TDataFile& data = table->DataFile();
    SetInt(definition_, data.AllocateSlot()->Data(), 2, 1);  // pending, not flushed
  }
  const uintmax_t size = DataFileSize();
  directory_->StartTransaction();
  EXPECT_GT(DataFileSize(), size) << "pending writes reached the file before the transaction";
  EXPECT_TRUE(table->InTransaction());
  directory_->Rollback();
  EXPECT_EQ(table->DataFile().SlotCount(), 1u);

  auto memory = session_->OpenDirectory("Memory", "");
  memory->CreateTable(testing::CounterTable("Scratch"), {.Exclusive = true}, false);
  TTableRef scratch = memory->OpenTable("Scratch", {});
  memory->StartTransaction();
  EXPECT_TRUE(memory->InTransaction());
  EXPECT_FALSE(scratch->InTransaction()) << "memory tables take no part";
  memory->Commit();
}

TEST_F(DirectoryTransactionTest, ADirectoryThatGoesRollsItsTransactionBack) {
  OpenDirectory();
  {
    TTableRef table = directory_->OpenTable("Ledger", {});
    directory_->StartTransaction();
    Insert(*table, 1);
  }
  directory_.reset();
  OpenDirectory();
  TTableRef table = directory_->OpenTable("Ledger", {});
  EXPECT_EQ(table->DataFile().SlotCount(), 0u);
  EXPECT_FALSE(table->TableLocked());
  WriteLock write(*table);  // nothing left locked
}

TEST_F(DirectoryTransactionTest, ACommitWritesTheTablesItChangedAndLeavesTheOthersAlone) {
  testing::CreateTable(temp_.Dir(), testing::CounterTable("Lookup"));
  OpenDirectory();
  TTableRef ledger = directory_->OpenTable("Ledger", {});
  TTableRef lookup = directory_->OpenTable("Lookup", {});
  Insert(*ledger, 1);
  Insert(*lookup, 2);
  const platform::FileIdentity lookup_data = lookup->DataFile().Stamp();
  const platform::FileIdentity lookup_index = lookup->IndexFile().Stamp();
  const uint32_t ledger_counter = ledger->DataFile().ChangeCounter();
  const uint32_t lookup_counter = lookup->DataFile().ChangeCounter();
  // Written so shortly before, an unchanged write time proves nothing: the
  // journal, which any write of the table's files passes through first,
  // must stay untouched too.
  const auto journal_time = std::filesystem::last_write_time(temp_.File("Lookup.JNL"));
  directory_->StartTransaction();
  {
    ReadLock read(*lookup);
    lookup->DataFile().ReadRecord(1);
  }
  Insert(*ledger, 3);
  directory_->Commit();
  EXPECT_EQ(lookup->DataFile().Stamp(), lookup_data);
  EXPECT_EQ(lookup->IndexFile().Stamp(), lookup_index);
  EXPECT_EQ(std::filesystem::last_write_time(temp_.File("Lookup.JNL")), journal_time);
  EXPECT_EQ(lookup->DataFile().ChangeCounter(), lookup_counter);
  EXPECT_NE(ledger->DataFile().ChangeCounter(), ledger_counter);
  EXPECT_EQ(ledger->DataFile().SlotCount(), 2u);
  // Another process sees the change of the one and none of the other.
  TChildProcess reader([&](TChildProcess&) {
    auto session = TDataSession::Create();
    auto directory = session->OpenDirectory("", temp_.Dir());
    TTableRef table = directory->OpenTable("Ledger", {});
    TTableRef other = directory->OpenTable("Lookup", {});
    return table->DataFile().SlotCount() == 2 && other->DataFile().SlotCount() == 1 ? 0 : 1;
  });
  EXPECT_EQ(reader.Wait(), 0);
}

TEST_F(DirectoryTransactionTest, ACommitThatChangedNoBlobLeavesTheBlobFileAlone) {
  testing::CreateTable(temp_.Dir(), testing::CounterTable("Pictures", true));
  OpenDirectory();
  TTableRef pictures = directory_->OpenTable("Pictures", {});
  ASSERT_NE(pictures->BlobFile(), nullptr);
  Insert(*pictures, 1);
  const platform::FileIdentity blob = pictures->BlobFile()->Stamp();
  const uint32_t data_counter = pictures->DataFile().ChangeCounter();
  directory_->StartTransaction();
  Insert(*pictures, 2);
  directory_->Commit();
  EXPECT_NE(pictures->DataFile().ChangeCounter(), data_counter);
  EXPECT_EQ(pictures->BlobFile()->Stamp(), blob);
  TChildProcess reader([&](TChildProcess&) {
    auto session = TDataSession::Create();
    auto directory = session->OpenDirectory("", temp_.Dir());
    TTableRef table = directory->OpenTable("Pictures", {});
    return table->DataFile().SlotCount() == 2 ? 0 : 1;
  });
  EXPECT_EQ(reader.Wait(), 0);
}

}  // namespace
}  // namespace strata
