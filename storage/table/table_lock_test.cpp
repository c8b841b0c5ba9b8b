// The table-level lock protocol between real processes on real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <span>

#include "platform/clock.h"
#include "storage/blob/blob_file.h"
#include "storage/data/data_file.h"
#include "storage/engine_error.h"
#include "storage/index/index_file.h"
#include "storage/session/data_directory.h"
#include "storage/session/data_session.h"
#include "storage/session/test_session_tables.h"
#include "storage/table/data_table.h"
#include "storage/table/lock_loop.h"
#include "storage/table/lock_regions.h"
#include "storage/table/table_lock_guards.h"
#include "storage/test_child_process.h"
#include "storage/test_temp_dir.h"

namespace strata {
namespace {

using testing::TChildProcess;

template <typename Action>
int EngineCodeOf(Action&& action) {
  try {
    action();
  } catch (const EStrataEngineError& error) {
    return error.Code;
  }
  return 0;
}

// One process's view of the test table: its own engine session, directory
// and table object. Build it after forking, never before.
struct TView {
  explicit TView(const std::string& directory, TTableOpenOptions options = {})
      : session(TDataSession::Create()), dir(session->OpenDirectory("", directory)) {
    table = dir->OpenTable("Shared", options);
  }
  TDataTable& operator*() { return table.Table(); }
  TDataTable* operator->() { return &table.Table(); }
  std::shared_ptr<TDataSession> session;
  std::shared_ptr<TDataDirectory> dir;
  TTableRef table;
};

// Whether a lock on the range can be had through `file` right now (and
// gives it back at once).
bool Free(TFileHandler& file, uint64_t offset, uint64_t length) {
  if (!file.Lock(offset, length)) return false;
  file.Unlock(offset, length);
  return true;
}

class TableLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    definition_ = testing::CounterTable("Shared", true);
    testing::CreateTable(temp_.Dir(), definition_);
  }
  std::string Dir() const { return temp_.Dir(); }

  testing::TTempDir temp_;
  TTableDefinition definition_;
};

TEST_F(TableLockTest, TwoReadersProceedTogether) {
  TChildProcess reader([&](TChildProcess& parent) {
    TView view(Dir());
    ReadLock lock(*view);
    parent.Send('r');
    if (parent.Receive() != 'x') return 2;
    lock.Release();
    return 0;
  });
  ASSERT_EQ(reader.Receive(), 'r');
  TView view(Dir());
  {
    // Taken while the other process holds its read slots.
    ReadLock lock(*view);
    EXPECT_TRUE(view->ReadLocked());
    lock.Release();
  }
  EXPECT_FALSE(view->ReadLocked());
  reader.Send('x');
  EXPECT_EQ(reader.Wait(), 0);
}

TEST_F(TableLockTest, AWriterWaitsForAReadersOperationToEnd) {
  const std::string marker = temp_.File("reader-done");
  TChildProcess reader([&](TChildProcess& parent) {
    TView view(Dir());
    ReadLock lock(*view);
    parent.Send('r');
    parent.Receive();
    platform::SleepMs(200);
    std::ofstream(marker) << "done";
    lock.Release();
    return 0;
  });
  ASSERT_EQ(reader.Receive(), 'r');
  TView view(Dir());
  EXPECT_FALSE(Free(view->IndexFile(), kWriteRegionOffset, kWriteRegionLength))
      << "the reader's slot lies in the write region";
  EXPECT_FALSE(Free(*view->BlobFile(), kWriteRegionOffset, kWriteRegionLength));
  reader.Send('g');
  {
    WriteLock write(*view);
    EXPECT_TRUE(std::filesystem::exists(marker)) << "the write lock came only after the reader";
    EXPECT_TRUE(view->WriteLocked());
  }
  EXPECT_FALSE(view->WriteLocked());
  EXPECT_EQ(reader.Wait(), 0);
}

TEST_F(TableLockTest, ARecordHeldElsewhereFailsAfterRetryCountPlusOneAttempts) {
  TChildProcess holder([&](TChildProcess& parent) {
    TView view(Dir());
    view->LockRecord(1, view.table.CursorId());
    parent.Send('l');
    parent.Receive();
    return 0;
  });
  ASSERT_EQ(holder.Receive(), 'l');
  TView view(Dir());
  view.session->Settings().LockRetryCount = 15;
  view.session->Settings().LockWaitTime = 2;
  const int cursor = view.table.CursorId();
  EXPECT_EQ(EngineCodeOf([&] { view->LockRecord(1, cursor); }), STRATA_RECLOCKFAILED);
  EXPECT_EQ(view->LastRecordLockAttempts(), 16);
  EXPECT_FALSE(view->IsRecordLocked(1));
  view.session->Settings().LockRetryCount = 2;
  EXPECT_EQ(EngineCodeOf([&] { view->LockRecord(1, cursor); }), STRATA_RECLOCKFAILED);
  EXPECT_EQ(view->LastRecordLockAttempts(), 3);
  EXPECT_FALSE(view->ReadLocked()) << "the read lock taken to look for changes is given back";

  view->LockRecord(2, cursor);  // other records are free
  EXPECT_TRUE(view->IsRecordLockedBy(2, cursor));
  holder.Send('x');
  EXPECT_EQ(holder.Wait(), 0);
  view->LockRecord(1, cursor);
  EXPECT_EQ(view->LastRecordLockAttempts(), 1);
  view->UnlockRecord(1, cursor);
  view->UnlockRecord(2, cursor);
}

TEST_F(TableLockTest, RecordLocksBetweenCursorsOfOneProcess) {
  TView view(Dir());
  TTableRef other = view.dir->OpenTable("Shared", {});
  const int mine = view.table.CursorId();
  const int theirs = other.CursorId();
  EXPECT_EQ(EngineCodeOf([&] { view->LockRecord(0, mine); }), STRATA_RECLOCKFAILED);
  view->LockRecord(5, mine);
  view->LockRecord(5, mine);  // held already: nothing happens
  EXPECT_EQ(EngineCodeOf([&] { view->LockRecord(5, theirs); }), STRATA_RECLOCKFAILED);
  EXPECT_EQ(EngineCodeOf([&] { view->UnlockRecord(5, theirs); }), STRATA_UNLOCKFAILED);
  view->LockRecord(6, theirs);
  {
    RecordLock scoped(*view, 7, mine);
    EXPECT_TRUE(view->IsRecordLockedBy(7, mine));
  }
  EXPECT_FALSE(view->IsRecordLocked(7)) << "released when the guard went";

  other.Release();  // a cursor that goes gives its record locks back
  EXPECT_FALSE(view->IsRecordLocked(6));
  EXPECT_TRUE(view->IsRecordLockedBy(5, mine));
  view->UnlockRecord(5, mine);
  EXPECT_EQ(EngineCodeOf([&] { view->UnlockRecord(5, mine); }), STRATA_UNLOCKFAILED);
  EXPECT_TRUE(Free(view->DataFile(), RecordLockOffset(5), kRecordLockLength));
}

TEST_F(TableLockTest, AChangeByAnotherProcessIsDetectedAndTheCachesDropped) {
  TChildProcess writer([&](TChildProcess& parent) {
    TView view(Dir());
    TDataFile& data = view->DataFile();
    // 1: a new record.
    parent.Receive();
    {
      WriteLock write(*view);
      testing::SetInt(definition_, data.AllocateSlot()->Data(), 2, 77);
      view->FlushAfterChange(false);
    }
    parent.Send('1');
    // 2: the record changed; only the data header is written.
    parent.Receive();
    {
      WriteLock write(*view);
      TRecord* record = data.ReadRecord(1);
      testing::SetInt(definition_, record->Data(), 2, 78);
      data.MarkModified(record);
      data.Flush(true);
    }
    parent.Send('2');
    // 3: a blob value; only the blob header moves.
    parent.Receive();
    {
      WriteLock write(*view);
      const uint8_t bytes[] = {1, 2, 3};
      view->BlobFile()->WriteValue(0, 1, bytes);
      view->BlobFile()->Flush(true);
    }
    parent.Send('3');
    return 0;
  });
  TView view(Dir());
  TDataFile& data = view->DataFile();
  {
    ReadLock lock(*view);
    EXPECT_FALSE(lock.Changed());
    EXPECT_EQ(data.SlotCount(), 0u);
  }
  writer.Send();
  ASSERT_EQ(writer.Receive(), '1');
  {
    ReadLock lock(*view);
    EXPECT_TRUE(lock.Changed());
    EXPECT_EQ(data.SlotCount(), 1u);
    EXPECT_EQ(data.CachedCount(), 0u);
    EXPECT_EQ(testing::GetInt(definition_, data.ReadRecord(1)->Data(), 2), 77);
  }
  {
    ReadLock lock(*view);
    EXPECT_FALSE(lock.Changed()) << "nothing new";
    EXPECT_EQ(data.CachedCount(), 1u) << "the cache survives between operations";
  }
  const uint32_t index_counter = view->IndexFile().ChangeCounter();
  writer.Send();
  ASSERT_EQ(writer.Receive(), '2');
  {
    ReadLock lock(*view);
    EXPECT_TRUE(lock.Changed());
    EXPECT_EQ(view->IndexFile().ChangeCounter(), index_counter);
    EXPECT_EQ(testing::GetInt(definition_, data.ReadRecord(1)->Data(), 2), 78)
        << "the stale cached record was dropped";
  }
  const uint32_t data_counter = data.ChangeCounter();
  writer.Send();
  ASSERT_EQ(writer.Receive(), '3');
  {
    WriteLock lock(*view);  // write operations look too
    EXPECT_TRUE(lock.Changed());
    EXPECT_EQ(data.ChangeCounter(), data_counter);
    EXPECT_EQ(view->BlobFile()->BlockCount(), 1u);
  }
  EXPECT_EQ(writer.Wait(), 0);
}

TEST_F(TableLockTest, AnExclusiveOpenKeepsOtherProcessesOut) {
  TChildProcess owner([&](TChildProcess& parent) {
    TView view(Dir(), {.Exclusive = true});
    parent.Send('e');
    parent.Receive();
    return 0;
  });
  ASSERT_EQ(owner.Receive(), 'e');
  auto session = TDataSession::Create();
  auto dir = session->OpenDirectory("", Dir());
  EXPECT_EQ(EngineCodeOf([&] { dir->OpenTable("Shared", {}); }), STRATA_OSEACCES);
  EXPECT_EQ(EngineCodeOf([&] { dir->OpenTable("Shared", {.Exclusive = true}); }), STRATA_OSEACCES);
  EXPECT_TRUE(dir->Tables().empty());
  owner.Send();
  EXPECT_EQ(owner.Wait(), 0);

  // And an exclusive open fails while this process has the table open.
  TTableRef shared = dir->OpenTable("Shared", {});
  TChildProcess intruder([&](TChildProcess&) {
    TView view(Dir(), {.Exclusive = true});
    return 0;
  });
  EXPECT_EQ(intruder.Wait(), TChildProcess::ExitCodeOf(STRATA_OSEACCES));
}

TEST_F(TableLockTest, AnExclusiveTableTakesNoLocks) {
  TView view(Dir(), {.Exclusive = true});
  TDataTable& table = *view;
  const int cursor = view.table.CursorId();
  EXPECT_FALSE(table.BeginRead());
  EXPECT_FALSE(table.BeginWrite());
  EXPECT_FALSE(table.LockTable());
  EXPECT_FALSE(table.LockRecord(3, cursor));
  // Locks through one handle do not nest, so each range being free proves
  // that nothing was locked.
  EXPECT_TRUE(Free(table.DataFile(), kTableMutexOffset, kTableMutexLength));
  EXPECT_TRUE(Free(table.DataFile(), RecordLockOffset(3), kRecordLockLength));
  EXPECT_TRUE(Free(table.IndexFile(), kWriteRegionOffset, kWriteRegionLength));
  EXPECT_TRUE(Free(*table.BlobFile(), kWriteRegionOffset, kWriteRegionLength));
  table.UnlockRecord(3, cursor);
  table.UnlockTable();
  table.EndWrite();
  table.EndRead();

  // The same probe on a shared table sees its locks.
  view.table.Release();
  TView shared(Dir());
  WriteLock write(*shared);
  EXPECT_FALSE(Free(shared->DataFile(), kTableMutexOffset, kTableMutexLength));
  EXPECT_FALSE(Free(shared->IndexFile(), kWriteRegionOffset, kWriteRegionLength));
  EXPECT_FALSE(Free(*shared->BlobFile(), kWriteRegionOffset, kWriteRegionLength));
}

TEST_F(TableLockTest, AProcessKilledWhileHoldingTheTableMutexBlocksNobody) {
  TChildProcess writer([&](TChildProcess& parent) {
    TView view(Dir());
    parent.Send('o');
    parent.Receive();
    view->BeginWrite();
    view->LockRecord(1, view.table.CursorId());
    parent.Send('w');
    for (;;) platform::SleepMs(1000);
    return 0;
  });
  ASSERT_EQ(writer.Receive(), 'o');
  TView view(Dir());  // opened (and verified under a read lock) before the writer starts
  writer.Send();
  ASSERT_EQ(writer.Receive(), 'w');
  EXPECT_FALSE(Free(view->DataFile(), kTableMutexOffset, kTableMutexLength));
  EXPECT_FALSE(Free(view->IndexFile(), kWriteRegionOffset, kWriteRegionLength));
  EXPECT_FALSE(Free(view->DataFile(), RecordLockOffset(1), kRecordLockLength));
  writer.Kill();
  EXPECT_EQ(writer.Wait(), -SIGKILL);
  {
    WriteLock write(*view);
    RecordLock record(*view, 1, view.table.CursorId());
  }
  EXPECT_FALSE(view->WriteLocked());
}

TEST_F(TableLockTest, ReadSlotsGiveWayToTheWriteLockAndComeBack) {
  TChildProcess prober([&](TChildProcess& parent) {
    TView view(Dir());
    for (;;) {
      char question = parent.Receive();
      if (question != '?') return 0;
      parent.Send(Free(view->IndexFile(), kWriteRegionOffset, kWriteRegionLength) ? 'f' : 'h');
    }
  });
  TView view(Dir());
  auto write_region_free = [&] {
    prober.Send('?');
    return prober.Receive() == 'f';
  };
  EXPECT_TRUE(write_region_free());
  view->BeginRead();
  view->BeginSecondRead();  // its own slots, beside the first ones
  EXPECT_FALSE(write_region_free());
  view->EndSecondRead();
  EXPECT_TRUE(view->ReadLocked());
  EXPECT_FALSE(write_region_free()) << "the first read lock still holds its slot";
  {
    WriteLock write(*view);  // inside the read operation
    EXPECT_FALSE(write_region_free());
  }
  EXPECT_FALSE(write_region_free()) << "the read slot is back after the write";
  {
    ReadLock nested(*view);  // nested: takes nothing more, gives nothing back
  }
  EXPECT_FALSE(write_region_free());
  view->EndRead();
  EXPECT_TRUE(write_region_free());
  prober.Send('q');
  EXPECT_EQ(prober.Wait(), 0);
}

TEST_F(TableLockTest, TheTableLockKeepsOtherWritersOut) {
  TChildProcess prober([&](TChildProcess& parent) {
    TView view(Dir());
    for (;;) {
      if (parent.Receive() != '?') return 0;
      parent.Send(Free(view->DataFile(), kTableMutexOffset, kTableMutexLength) ? 'f' : 'h');
    }
  });
  TView view(Dir());
  auto mutex_free = [&] {
    prober.Send('?');
    return prober.Receive() == 'f';
  };
  {
    TableLock lock(*view);
    EXPECT_FALSE(mutex_free());
    {
      WriteLock write(*view);
      EXPECT_TRUE(view->TableLocked());
    }
    EXPECT_FALSE(mutex_free()) << "the write lock leaves the table lock's mutex alone";
    EXPECT_FALSE(view->BeginRead()) << "the table lock covers reading";
    view->EndRead();
  }
  EXPECT_TRUE(mutex_free());
  {
    // A table lock taken inside a write operation keeps the mutex after it.
    WriteLock write(*view);
    view->LockTable();
    write.Release();
    EXPECT_FALSE(mutex_free());
    view->UnlockTable();
  }
  EXPECT_TRUE(mutex_free());
  prober.Send('q');
  EXPECT_EQ(prober.Wait(), 0);
}

TEST_F(TableLockTest, AStatementsOwnTransactionKeepsItsWriteRegionsUntilItEnds) {
  TChildProcess prober([&](TChildProcess& parent) {
    TView view(Dir());
    for (;;) {
      const char question = parent.Receive();
      if (question == 'r') {
        parent.Send(Free(view->IndexFile(), kWriteRegionOffset, kWriteRegionLength) &&
                            Free(*view->BlobFile(), kWriteRegionOffset, kWriteRegionLength)
                        ? 'f'
                        : 'h');
      } else if (question == 'm') {
        parent.Send(Free(view->DataFile(), kTableMutexOffset, kTableMutexLength) ? 'f' : 'h');
      } else {
        return 0;
      }
    }
  });
  TView view(Dir());
  auto free = [&](char what) {
    prober.Send(what);
    return prober.Receive() == 'f';
  };
  // One statement's transaction: from its first write to its commit.
  view.dir->StartTransaction(/*one_statement=*/true);
  EXPECT_TRUE(free('r'));
  { WriteLock write(*view); }
  EXPECT_FALSE(free('r')) << "kept for the commit";
  EXPECT_FALSE(view->WriteLocked());
  { WriteLock again(*view); }  // takes them over: nothing is asked twice
  EXPECT_FALSE(free('r'));
  view.dir->Commit();
  EXPECT_TRUE(free('r'));
  EXPECT_TRUE(free('m'));
  // Rolled back, the transaction gives them up too.
  view.dir->StartTransaction(true);
  { WriteLock write(*view); }
  view.dir->Rollback();
  EXPECT_TRUE(free('r'));
  EXPECT_TRUE(free('m'));
  // Also while a table lock of the caller's own outlives the transaction.
  view.dir->StartTransaction(true);
  view->LockTable();
  { WriteLock write(*view); }
  view.dir->Rollback();
  EXPECT_TRUE(free('r')) << "the regions go with the transaction";
  EXPECT_FALSE(free('m'));
  view->UnlockTable();
  EXPECT_TRUE(free('m'));
  view.dir->StartTransaction(true);
  view->LockTable();
  { WriteLock write(*view); }
  view.dir->Commit();
  EXPECT_TRUE(free('r'));
  view->UnlockTable();
  EXPECT_TRUE(free('m'));
  // A transaction of several statements never keeps them between writes.
  view.dir->StartTransaction();
  { WriteLock write(*view); }
  EXPECT_TRUE(free('r'));
  EXPECT_FALSE(free('m'));
  view.dir->Commit();
  EXPECT_TRUE(free('m'));
  // A read operation of the table running across the write gets its slots
  // back as always: the regions, which cover them, go.
  view->BeginRead();
  view.dir->StartTransaction(true);
  { WriteLock write(*view); }
  view->EndRead();
  EXPECT_TRUE(free('r'));
  view.dir->Rollback();
  EXPECT_TRUE(free('m'));
  prober.Send('q');
  EXPECT_EQ(prober.Wait(), 0);
}

TEST(TableLockLoop, GivesUpAfterTheGivenAttemptsAndDrawsSlotsInRange) {
  int attempts = 0;
  int calls = 0;
  EXPECT_FALSE(RunTableLockLoop([&] { return ++calls < 0; }, &attempts, 5));
  EXPECT_EQ(attempts, 5);
  EXPECT_EQ(calls, 5);
  calls = 0;
  EXPECT_TRUE(RunTableLockLoop([&] { return ++calls == 3; }, &attempts));
  EXPECT_EQ(attempts, 3);
  EXPECT_EQ(kTableLockAttempts, 32767);
  for (int i = 0; i < 1000; ++i) {
    uint16_t slot = DrawReadSlot(7);
    EXPECT_GE(slot, 1);
    EXPECT_NE(slot, 7);
  }
  EXPECT_EQ(ReadSlotOffset(1), 0xFFFFFFFEu);
  EXPECT_EQ(ReadSlotOffset(65535), 0xFFFF0000u);
  EXPECT_EQ(RecordLockOffset(1), 0xFFFFFFFDu);
}

}  // namespace
}  // namespace strata
