// Cursors in several processes on one table: real processes (fork) on real
// files in a temporary folder. Every process opens the table only after the
// fork, with its own engine session, so that each has its own file handles
// and locks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "storage/cursor/data_cursor.h"
#include "storage/test_child_process.h"
#include "storage/cursor/test_cursor_table.h"

namespace strata {
namespace {

using testing::CheckTableFiles;
using testing::ErrorCodeOf;
using testing::TChildProcess;
using testing::TCursorEnvironment;
using testing::TTableBuilder;
using testing::TTempDir;

// Shared: Row (auto-increment, primary), Owner, Seq (unique together),
// Counter, Payload (blob).
constexpr uint16_t kRow = 1;
constexpr uint16_t kOwner = 2;
constexpr uint16_t kSeq = 3;
constexpr uint16_t kCounter = 4;
constexpr uint16_t kPayload = 5;

TTableDefinition SharedTable() {
  return TTableBuilder("Shared")
      .Add("Row", fldINT32, 0, fldstAUTOINC)
      .Add("Owner", fldINT16)
      .Add("Seq", fldINT32)
      .Add("Counter", fldINT32)
      .Add("Payload", fldBLOB)
      .Primary({kRow})
      .Secondary("ByOwnerSeq", {kOwner, kSeq}, true)
      .BlobBlockSize(128)
      .Definition();
}

std::vector<uint8_t> Payload(int owner, int seq) {
  std::vector<uint8_t> bytes(100 + (seq % 7) * 40);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(owner * 31 + seq + i);
  return bytes;
}

void InsertRow(TDataCursor& cursor, int owner, int seq, int counter = 0) {
  cursor.InitRecord();
  cursor.PutFieldInt64(kOwner, owner);
  cursor.PutFieldInt64(kSeq, seq);
  cursor.PutFieldInt64(kCounter, counter);
  cursor.SetBlob(kPayload, Payload(owner, seq));
  cursor.InsertRecord();
}

// Positions on the row (owner, seq) through the unique index.
bool FindRow(TDataCursor& cursor, int owner, int seq) {
  const int16_t owner_value = static_cast<int16_t>(owner);
  const int32_t seq_value = seq;
  const std::vector<TKeyFieldValue> key = {{&owner_value, 2}, {&seq_value, 4}};
  return cursor.FindKey(key);
}

// Read-modify-write of the shared counter under its record lock, retried as
// a client would when another user got there first.
int AddToCounter(TDataCursor& cursor) {
  int retries = 0;
  for (;;) {
    try {
      if (!FindRow(cursor, 0, 0)) return -1;
      cursor.GetCurrentRecord(true);
      const int64_t value = *cursor.GetFieldInt64(kCounter);
      cursor.PutFieldInt64(kCounter, value + 1);
      cursor.ModifyRecord();
      return retries;
    } catch (const EStrataEngineError& error) {
      if (error.Code != STRATA_KEYORRECDELETED && error.Code != STRATA_RECLOCKFAILED) throw;
      ++retries;
    }
  }
}

class CursorProcessTest : public ::testing::Test {
 protected:
  CursorProcessTest() {
    TCursorEnvironment env(dir.Dir());
    TDataCursor cursor(env.directory);
    cursor.CreateTable(SharedTable());
    cursor.Open("Shared");
    cursor.SetIndex("ByOwnerSeq");
    InsertRow(cursor, 0, 0);  // the shared counter
  }                           // the table is closed again: children open it themselves

  TTempDir dir;
};

TEST_F(CursorProcessTest, FourWritersInsertAndCountExactly) {
  constexpr int kWriters = 4;
  constexpr int kInserts = 2000;
  constexpr int kUpdates = 500;
  std::vector<std::unique_ptr<TChildProcess>> writers;
  for (int writer = 1; writer <= kWriters; ++writer) {
    writers.push_back(std::make_unique<TChildProcess>([&, writer](TChildProcess& parent) {
      parent.Receive();  // start together
      TCursorEnvironment env(dir.Dir());
      TDataCursor cursor(env.directory);
      cursor.Open("Shared");
      cursor.SetIndex("ByOwnerSeq");
      for (int seq = 0; seq < kInserts; ++seq) {
        InsertRow(cursor, writer, seq);
        if (seq % (kInserts / kUpdates) == 0 && AddToCounter(cursor) < 0) return 2;
      }
      return 0;
    }));
  }
  for (auto& writer : writers) writer->Send();
  for (auto& writer : writers) EXPECT_EQ(writer->Wait(), 0);

  TCursorEnvironment env(dir.Dir());
  TDataCursor cursor(env.directory);
  cursor.Open("Shared");
  EXPECT_EQ(cursor.RecordCount(), 1u + kWriters * kInserts);
  cursor.SetIndex("ByOwnerSeq");
  ASSERT_TRUE(FindRow(cursor, 0, 0));
  EXPECT_EQ(cursor.GetFieldInt64(kCounter), kWriters * kUpdates);
  for (int writer = 1; writer <= kWriters; ++writer) {
    const int16_t owner = static_cast<int16_t>(writer);
    const std::vector<TKeyFieldValue> key = {{&owner, 2}};
    cursor.SetRange(key, key);
    EXPECT_EQ(cursor.RecordCount(), static_cast<uint32_t>(kInserts));
    cursor.Last();
    cursor.Prior();
    EXPECT_EQ(cursor.GetFieldInt64(kSeq), kInserts - 1);
    EXPECT_EQ(cursor.ReadBlob(kPayload), Payload(writer, kInserts - 1));
  }
  cursor.CancelRange();
  const std::vector<std::string> faults = CheckTableFiles(cursor);
  EXPECT_TRUE(faults.empty()) << faults.front();
}

TEST_F(CursorProcessTest, AKilledProcessLeavesNoLockBehind) {
  TChildProcess holder([&](TChildProcess& parent) {
    TCursorEnvironment env(dir.Dir());
    TDataCursor cursor(env.directory);
    cursor.Open("Shared");
    cursor.SetIndex("ByOwnerSeq");
    env.directory->StartTransaction();  // the table mutex
    InsertRow(cursor, 9, 9);            // held in this process only
    if (!FindRow(cursor, 0, 0)) return 2;
    cursor.GetCurrentRecord(true);  // the counter's record lock
    parent.Send();
    parent.Receive();  // killed while waiting here
    return 0;
  });
  ASSERT_EQ(holder.Receive(), '.');

  TCursorEnvironment env(dir.Dir());
  env.session->Settings().LockRetryCount = 2;
  TDataCursor cursor(env.directory);
  cursor.Open("Shared");
  cursor.SetIndex("ByOwnerSeq");
  ASSERT_TRUE(FindRow(cursor, 0, 0));
  EXPECT_EQ(ErrorCodeOf([&] { cursor.GetCurrentRecord(true); }), STRATA_RECLOCKFAILED);

  holder.Kill();
  holder.Wait();
  cursor.GetCurrentRecord(true);  // the record lock went with the process
  cursor.PutFieldInt64(kCounter, 7);
  cursor.ModifyRecord();
  InsertRow(cursor, 1, 1);              // and so did the table mutex
  EXPECT_EQ(cursor.RecordCount(), 2u);  // the uncommitted insert never reached the files
  EXPECT_FALSE(FindRow(cursor, 9, 9));
  EXPECT_TRUE(CheckTableFiles(cursor).empty());
}

TEST_F(CursorProcessTest, AWaitForARecordLockDoesNotHoldOffItsHolder) {
  // This process holds the counter's lock for an edit; the other waits for
  // it (long enough), and must get it once the edit is posted: its waits
  // must not keep this process out of the write lock it needs to post.
  TChildProcess waiter([&](TChildProcess& parent) {
    TCursorEnvironment env(dir.Dir());
    env.session->Settings().LockRetryCount = 250;
    env.session->Settings().LockWaitTime = 20;
    TDataCursor cursor(env.directory);
    cursor.Open("Shared");
    cursor.SetIndex("ByOwnerSeq");
    if (!FindRow(cursor, 0, 0)) return 2;
    parent.Receive();
    parent.Send();
    cursor.GetCurrentRecord(true);
    return cursor.GetFieldInt64(kCounter) == 41 ? 0 : 3;
  });
  TCursorEnvironment env(dir.Dir());
  TDataCursor cursor(env.directory);
  cursor.Open("Shared");
  cursor.SetIndex("ByOwnerSeq");
  ASSERT_TRUE(FindRow(cursor, 0, 0));
  cursor.GetCurrentRecord(true);
  waiter.Send();
  ASSERT_EQ(waiter.Receive(), '.');
  usleep(100000);  // let the waiter start its tries
  cursor.PutFieldInt64(kCounter, 41);
  cursor.ModifyRecord();
  EXPECT_EQ(waiter.Wait(), 0);
}

TEST_F(CursorProcessTest, AChangeByAnotherProcessIsSeenAndGives8708) {
  TChildProcess other([&](TChildProcess& parent) {
    parent.Receive();
    TCursorEnvironment env(dir.Dir());
    TDataCursor cursor(env.directory);
    cursor.Open("Shared");
    cursor.SetIndex("ByOwnerSeq");
    if (!FindRow(cursor, 0, 0)) return 2;
    cursor.PutFieldInt64(kCounter, 100);
    cursor.ModifyRecord();
    InsertRow(cursor, 5, 5);
    parent.Send();
    return 0;
  });
  TCursorEnvironment env(dir.Dir());
  TDataCursor cursor(env.directory);
  cursor.Open("Shared");
  cursor.SetIndex("ByOwnerSeq");
  ASSERT_TRUE(FindRow(cursor, 0, 0));
  cursor.PutFieldInt64(kCounter, 1);  // an edit in progress ...
  other.Send();
  ASSERT_EQ(other.Receive(), '.');
  // ... meets the other process's change.
  EXPECT_EQ(ErrorCodeOf([&] { cursor.ModifyRecord(); }), STRATA_KEYORRECDELETED);
  EXPECT_EQ(cursor.GetFieldInt64(kCounter), 100);
  EXPECT_FALSE(cursor.Table().IsRecordLocked(cursor.CurrentRecordNumber()));
  cursor.Next();  // the new record is there
  EXPECT_EQ(cursor.GetFieldInt64(kOwner), 5);
  EXPECT_EQ(other.Wait(), 0);
}

TEST_F(CursorProcessTest, TransactionChangesAreInvisibleElsewhereUntilCommit) {
  TChildProcess reader([&](TChildProcess& parent) {
    TCursorEnvironment env(dir.Dir());
    TDataCursor cursor(env.directory);
    for (char message = parent.Receive(); message != 'q'; message = parent.Receive()) {
      if (!cursor.IsOpen()) cursor.Open("Shared");
      parent.Send(static_cast<char>('0' + cursor.RecordCount()));
    }
    return 0;
  });
  TCursorEnvironment env(dir.Dir());
  TDataCursor cursor(env.directory);
  cursor.Open("Shared");
  env.directory->StartTransaction();
  InsertRow(cursor, 1, 1);
  InsertRow(cursor, 1, 2);
  EXPECT_EQ(cursor.RecordCount(), 3u);  // this process sees its changes
  reader.Send();
  EXPECT_EQ(reader.Receive(), '1');  // the other does not
  env.directory->Commit();
  reader.Send();
  EXPECT_EQ(reader.Receive(), '3');
  reader.Send('q');
  EXPECT_EQ(reader.Wait(), 0);
  EXPECT_TRUE(CheckTableFiles(cursor).empty());
}

TEST_F(CursorProcessTest, RollbackRestoresFreeChainSlotsAndRowNumbers) {
  TCursorEnvironment env(dir.Dir());
  TDataCursor cursor(env.directory);
  cursor.Open("Shared");
  cursor.SetIndex("ByOwnerSeq");
  for (int seq = 1; seq <= 5; ++seq) InsertRow(cursor, 1, seq);
  ASSERT_TRUE(FindRow(cursor, 1, 2));
  cursor.DeleteRecord();
  ASSERT_TRUE(FindRow(cursor, 1, 4));
  cursor.DeleteRecord();
  TDataFile& data = cursor.Table().DataFile();
  TBlobFile& blob = *cursor.Table().BlobFile();
  const uint32_t free_head = data.FreeChainHead();
  const uint32_t slots = data.SlotCount();
  const int32_t last_row = data.LastAutoIncrement();
  const std::vector<uint32_t> blob_free = blob.FreeChain();
  const uint32_t blocks = blob.BlockCount();

  env.directory->StartTransaction();
  for (int seq = 10; seq < 14; ++seq) InsertRow(cursor, 2, seq);  // reuses both free slots
  ASSERT_TRUE(FindRow(cursor, 1, 3));
  cursor.PutFieldInt64(kCounter, 33);
  cursor.SetBlob(kPayload, std::vector<uint8_t>(1000, 1));
  cursor.ModifyRecord();
  ASSERT_TRUE(FindRow(cursor, 1, 5));
  cursor.DeleteRecord();
  EXPECT_EQ(cursor.RecordCount(), 1u + 3u + 4u - 1u);
  EXPECT_NE(data.FreeChainHead(), free_head);
  env.directory->Rollback();

  EXPECT_EQ(data.FreeChainHead(), free_head);
  EXPECT_EQ(data.SlotCount(), slots);
  EXPECT_EQ(data.LastAutoIncrement(), last_row);
  EXPECT_EQ(blob.FreeChain(), blob_free);
  EXPECT_EQ(blob.BlockCount(), blocks);
  EXPECT_EQ(cursor.RecordCount(), 4u);
  ASSERT_TRUE(FindRow(cursor, 1, 3));
  EXPECT_EQ(cursor.GetFieldInt64(kCounter), 0);
  EXPECT_EQ(cursor.ReadBlob(kPayload), Payload(1, 3));
  EXPECT_TRUE(FindRow(cursor, 1, 5));
  EXPECT_FALSE(FindRow(cursor, 2, 10));
  EXPECT_TRUE(CheckTableFiles(cursor).empty());
  // The table goes on from its state before the transaction.
  InsertRow(cursor, 3, 1);
  EXPECT_EQ(cursor.GetFieldInt64(kRow), last_row + 1);
  EXPECT_EQ(cursor.CurrentRecordNumber(), free_head);
  EXPECT_TRUE(CheckTableFiles(cursor).empty());
}

}  // namespace
}  // namespace strata
