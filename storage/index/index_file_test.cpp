#include "storage/index/index_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/file.h"
#include "storage/engine_error.h"
#include "storage/file/rollback_journal.h"
#include "storage/index/test_key_table.h"
#include "storage/scramble.h"
#include "storage/test_temp_dir.h"

namespace strata {
namespace {

using testing::TKeyTable;
using testing::TTempDir;
using Bytes = std::vector<uint8_t>;

constexpr int kByName = 1;

Bytes ReadBytes(const std::string& path, uint64_t offset, size_t count) {
  auto file = platform::File::Open(path, platform::Access::kReadOnly, platform::Share::kShared);
  Bytes bytes(count);
  bytes.resize(file->ReadAt(offset, bytes.data(), count));
  return bytes;
}

void WriteBytes(const std::string& path, uint64_t offset, const Bytes& bytes) {
  auto file = platform::File::Open(path, platform::Access::kReadWrite, platform::Share::kShared);
  file->WriteAt(offset, bytes.data(), bytes.size());
}

uint64_t FileSize(const std::string& path) {
  return platform::File::Open(path, platform::Access::kReadOnly, platform::Share::kShared)->Size();
}

template <class F>
uint16_t CodeOf(F body) {
  try {
    body();
  } catch (const EStrataEngineError& e) {
    return e.Code;
  }
  return 0;
}

// A table "Links" with a primary index on Id and a case-insensitive,
// non-unique secondary index "ByName".
class IndexFileTest : public ::testing::Test {
 protected:
  IndexFileTest() {
    id = table.Add("Id", fldINT32);
    name = table.Add("Name", fldZSTRING, 30);
    path = dir.File("Links.IDX");
  }

  std::vector<TIndexDef> Definitions() {
    TIndexDef primary;
    primary.Primary = true;
    primary.FieldNumbers = {id};
    TIndexDef by_name;
    by_name.Name = "ByName";
    by_name.FieldNumbers = {name};
    by_name.CaseInsensitive = true;
    return {primary, by_name};
  }

  std::unique_ptr<TIndexFile> NewFile(bool encrypted = false) {
    auto file = std::make_unique<TIndexFile>(settings);
    file->SetTableName("Links");
    file->SetTableContext(table.Fields(), 0, encrypted);
    return file;
  }
  std::unique_ptr<TIndexFile> Created(bool encrypted = false) {
    auto file = NewFile(encrypted);
    std::vector<TIndexDef> defs = Definitions();
    file->Create(path, defs);
    return file;
  }
  std::unique_ptr<TIndexFile> Opened(bool encrypted = false, bool verify = true) {
    auto file = NewFile(encrypted);
    file->Open(path, false, false, false);
    if (verify) file->Verify();
    return file;
  }

  Bytes Record(int32_t value, uint32_t row) {
    Bytes r = table.NewRecord(static_cast<int32_t>(row), row);
    table.SetInt32(r, id, value);
    table.SetText(r, name, "name " + std::to_string(value % 97));
    return r;
  }
  // Inserts the record's keys into all three trees.
  void InsertRecord(TIndexFile& file, const Bytes& record, uint32_t number) {
    for (int index : {kPrimaryIndex, kByName, kSysDeletedIndex}) {
      file.Insert(index, file.BuildKey(index, record.data()).data(), number);
    }
  }
  void DeleteRecord(TIndexFile& file, const Bytes& record, uint32_t number) {
    for (int index : {kPrimaryIndex, kByName, kSysDeletedIndex}) {
      EXPECT_TRUE(file.Delete(index, file.BuildKey(index, record.data()).data(), number));
    }
  }
  void ExpectSound(TIndexFile& file) {
    TIndexCheckResult result = file.CheckStructure();
    std::string faults;
    for (const std::string& f : result.Faults) faults += f + "\n";
    EXPECT_TRUE(result.Sound()) << faults;
  }

  TTempDir dir;
  TKeyTable table;
  uint16_t id = 0, name = 0;
  std::string path;
  TEngineSettings settings;
};

TEST_F(IndexFileTest, HeaderReachesTheDiskAtTheFirstFlush) {
  auto file = Created();
  EXPECT_EQ(FileSize(path), 0u);
  EXPECT_TRUE(file->Flush(false));
  EXPECT_FALSE(file->Flush(false));  // nothing left to write
  ASSERT_EQ(FileSize(path), kIndexHeaderSize);
  Bytes h = ReadBytes(path, 0, kIndexHeaderSize);
  EXPECT_EQ(h[0], 1);   // change counter
  EXPECT_EQ(h[8], 5);   // version
  EXPECT_EQ(h[9], 1);   // next page
  EXPECT_EQ(h[13], 1);  // one secondary index
  // Slot 0 at 14: no name, key size 5 at 45, unique at 49, one field (Id = 1).
  EXPECT_EQ(h[14], 0);
  EXPECT_EQ(h[45], 5);
  EXPECT_EQ(h[49], 1);
  EXPECT_EQ(h[51], 1);
  EXPECT_EQ(h[68], 1);
  // Slot 1 at 134: "ByName", key size 32 + 4 at 165, case-insensitive at 168.
  EXPECT_EQ(h[134], 6);
  EXPECT_EQ(std::memcmp(&h[135], "ByName", 6), 0);
  EXPECT_EQ(h[165], 36);
  EXPECT_EQ(h[167], 0);
  EXPECT_EQ(h[168], 1);
  EXPECT_EQ(h[169], 0);
  EXPECT_EQ(h[188], 2);  // field Name
  EXPECT_EQ(h[3765], 5);
  EXPECT_EQ(h[3978], 0);
  EXPECT_EQ(h[3979], 1);  // written because it needed writing
  file->Close();
}

TEST_F(IndexFileTest, EntriesPersistAcrossCloseAndReopen) {
  {
    auto file = Created();
    std::mt19937 rng(1);
    std::vector<int32_t> values(6000);
    for (int i = 0; i < 6000; ++i) values[i] = i * 2;
    std::shuffle(values.begin(), values.end(), rng);
    for (uint32_t n = 1; n <= values.size(); ++n) InsertRecord(*file, Record(values[n - 1], n), n);
    // Every third record deleted again.
    for (uint32_t n = 3; n <= values.size(); n += 3)
      DeleteRecord(*file, Record(values[n - 1], n), n);
    EXPECT_EQ(file->EntryCount(kPrimaryIndex), 4000u);
    file->Close();
  }
  auto file = Opened();
  EXPECT_EQ(FileSize(path), static_cast<uint64_t>(file->Header().NextPage) * kIndexPageSize);
  EXPECT_EQ(file->EntryCount(kPrimaryIndex), 4000u);
  EXPECT_EQ(file->EntryCount(kByName), 4000u);
  EXPECT_EQ(file->EntryCount(kSysDeletedIndex), 4000u);
  ExpectSound(*file);
  // Primary order is numeric order.
  TIndexPosition pos;
  int32_t previous = -1;
  for (bool on = file->First(kPrimaryIndex, pos); on; on = file->Next(pos)) {
    int32_t value = static_cast<int32_t>(GetBigEndian(pos.KeyData() + 1, 4) ^ 0x80000000u);
    EXPECT_GT(value, previous);
    previous = value;
  }
  // Case-insensitive secondary: searched in another case, found.
  std::string sought = "NAME 5";
  TKeyFieldValue value = TKeyFieldValue::Text(sought);
  Bytes key = file->BuildKeyFromValues(kByName, {&value, 1});
  ASSERT_TRUE(
      file->Seek(kByName, key.data(), TKeyLimit::FirstFields(1), TSeekMode::kNotBelow, pos));
  EXPECT_TRUE(file->Matches(pos, key.data(), TKeyLimit::FirstFields(1)));
  uint32_t ordinal = file->Ordinal(pos);
  TIndexPosition again;
  ASSERT_TRUE(file->SeekOrdinal(kByName, ordinal, again));
  EXPECT_EQ(again.RecordNumber, pos.RecordNumber);
  file->Close();
}

TEST_F(IndexFileTest, ChangeCounterAndForcedHeaderWrites) {
  auto file = Created();
  file->Flush(false);
  EXPECT_EQ(file->ChangeCounter(), 1u);
  EXPECT_TRUE(file->Flush(true));
  EXPECT_EQ(file->ChangeCounter(), 2u);
  InsertRecord(*file, Record(1, 1), 1);
  EXPECT_TRUE(file->Flush(false));  // pages and the header (roots changed)
  EXPECT_EQ(file->ChangeCounter(), 3u);
  EXPECT_EQ(ReadBytes(path, 0, 1)[0], 3);
  EXPECT_EQ(FileSize(path), 4u * kIndexPageSize);  // header + three roots
  file->Close();
}

TEST_F(IndexFileTest, UniquenessCheck) {
  auto file = Created();
  Bytes r = Record(7, 1);
  InsertRecord(*file, r, 1);
  Bytes key = file->BuildKey(kPrimaryIndex, r.data());
  EXPECT_EQ(CodeOf([&] { file->CheckUnique(kPrimaryIndex, key.data()); }), STRATA_KEYVIOL);
  try {
    file->CheckUnique(kPrimaryIndex, key.data(), 2);
  } catch (const EStrataEngineError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Strata Engine Error # 9729 Duplicate key found in the index '' of the table "
              "'Links'");
  }
  EXPECT_EQ(CodeOf([&] { file->CheckUnique(kPrimaryIndex, key.data(), 1); }), 0);
  // A non-unique index takes equal field values.
  Bytes twin = Record(7 + 97, 2);
  EXPECT_EQ(
      CodeOf([&] { file->CheckUnique(kByName, file->BuildKey(kByName, twin.data()).data()); }), 0);
  EXPECT_EQ(CodeOf([&] { file->Insert(kPrimaryIndex, key.data(), 3); }), STRATA_KEYVIOL);
  file->Close();
}

TEST_F(IndexFileTest, DiscardChangesRestoresTheFileState) {
  auto file = Created();
  for (uint32_t n = 1; n <= 100; ++n) InsertRecord(*file, Record(static_cast<int32_t>(n), n), n);
  file->Flush(true);
  uint32_t pages = file->Header().NextPage;
  for (uint32_t n = 101; n <= 3000; ++n) InsertRecord(*file, Record(static_cast<int32_t>(n), n), n);
  EXPECT_GT(file->Header().NextPage, pages);
  file->DiscardChanges();
  EXPECT_EQ(file->Header().NextPage, pages);
  EXPECT_EQ(file->EntryCount(kPrimaryIndex), 100u);
  ExpectSound(*file);
  file->Close();
}

// A flush looks through the caches only when some page may be modified;
// every kind of change must still reach the disk: a leaf changed in place,
// pages changed after a flush that found nothing, after discarded changes.
TEST_F(IndexFileTest, EveryModifiedPageIsWrittenAfterFlushesThatFoundNothing) {
  auto file = Created();
  for (uint32_t n = 1; n <= 2000; ++n) InsertRecord(*file, Record(static_cast<int32_t>(n), n), n);
  EXPECT_TRUE(file->Flush(false));
  EXPECT_FALSE(file->Flush(false));
  DeleteRecord(*file, Record(7, 7), 7);  // one leaf per index, no new pages
  EXPECT_TRUE(file->Flush(false));
  EXPECT_FALSE(file->Flush(false));
  InsertRecord(*file, Record(5000, 5000), 5000);
  file->DiscardChanges();
  DeleteRecord(*file, Record(8, 8), 8);
  EXPECT_TRUE(file->Flush(false));
  file->Close();
  auto reopened = Opened();
  EXPECT_EQ(reopened->EntryCount(kPrimaryIndex), 1998u);
  ExpectSound(*reopened);
  reopened->Close();
}

TEST_F(IndexFileTest, TransactionHoldsEverythingUntilCommit) {
  settings.BlockCacheCount = 1;  // the smallest cache: 64 pages per index
  auto file = Created();
  file->Flush(true);
  uint32_t counter = file->ChangeCounter();
  file->SetInTransaction(true);
  // Wide enough that the secondary index outgrows its cache.
  for (uint32_t n = 1; n <= 20000; ++n) {
    InsertRecord(*file, Record(static_cast<int32_t>(n), n), n);
    EXPECT_FALSE(file->Flush(true));
  }
  EXPECT_EQ(file->ChangeCounter(), counter + 20000);
  EXPECT_GT(file->CachedPages(kPrimaryIndex), file->CacheLimit());  // nothing evicted
  EXPECT_EQ(FileSize(path), kIndexHeaderSize);                      // nothing written
  EXPECT_FALSE(file->DetectChange());                               // the cache is newer
  {
    // Another opener sees the old state.
    auto other = Opened();
    EXPECT_EQ(other->EntryCount(kPrimaryIndex), 0u);
    other->Close();
  }
  file->SetInTransaction(false);
  EXPECT_TRUE(file->Flush(true));
  EXPECT_EQ(file->ChangeCounter(), counter + 20001);
  EXPECT_LE(file->CachedPages(kPrimaryIndex), file->CacheLimit());
  file->Close();
  auto reopened = Opened();
  EXPECT_EQ(reopened->EntryCount(kPrimaryIndex), 20000u);
  ExpectSound(*reopened);
  reopened->Close();
}

TEST_F(IndexFileTest, RollbackDropsTheTransaction) {
  auto file = Created();
  InsertRecord(*file, Record(1, 1), 1);
  file->Flush(true);
  file->SetInTransaction(true);
  for (uint32_t n = 2; n <= 500; ++n) InsertRecord(*file, Record(static_cast<int32_t>(n), n), n);
  DeleteRecord(*file, Record(1, 1), 1);
  file->Flush(true);
  file->SetInTransaction(false);
  file->DiscardChanges();
  EXPECT_EQ(file->EntryCount(kPrimaryIndex), 1u);
  EXPECT_EQ(file->ChangeCounter(), ReadBytes(path, 0, 1)[0]);
  ExpectSound(*file);
  file->Close();
}

TEST_F(IndexFileTest, EmptyTruncatesToTheHeader) {
  auto file = Created();
  for (uint32_t n = 1; n <= 2000; ++n) InsertRecord(*file, Record(static_cast<int32_t>(n), n), n);
  for (uint32_t n = 1; n <= 2000; n += 2)
    DeleteRecord(*file, Record(static_cast<int32_t>(n), n), n);
  file->Flush(true);
  file->Empty();
  EXPECT_EQ(FileSize(path), kIndexHeaderSize);
  file->Flush(false);
  const TIndexHeader& h = file->Header();
  EXPECT_EQ(h.NextPage, 1u);
  for (const TIndexDescriptor& d : h.Indexes) {
    EXPECT_EQ(d.RootPage, 0u);
    EXPECT_EQ(d.FreeHead, 0u);
  }
  EXPECT_EQ(h.Indexes[kByName].Name, "ByName");  // definitions stay
  EXPECT_EQ(file->EntryCount(kByName), 0u);
  TIndexPosition pos;
  EXPECT_FALSE(file->First(kByName, pos));
  InsertRecord(*file, Record(5, 1), 1);
  file->Close();
  auto reopened = Opened();
  EXPECT_EQ(reopened->EntryCount(kPrimaryIndex), 1u);
  ExpectSound(*reopened);
  reopened->Close();
}

TEST_F(IndexFileTest, ChangeByAnotherProcessIsDetected) {
  {
    auto file = Created();
    for (uint32_t n = 1; n <= 1000; ++n) InsertRecord(*file, Record(static_cast<int32_t>(n), n), n);
    file->Close();
  }
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The child opens the file only after the parent has read it.
    close(go[1]);
    char byte;
    bool ok = read(go[0], &byte, 1) == 1;
    try {
      auto file = Opened();
      InsertRecord(*file, Record(5000, 1001), 1001);
      DeleteRecord(*file, Record(3, 3), 3);
      file->Flush(true);
      file->Close();
    } catch (...) {
      ok = false;
    }
    _exit(ok ? 0 : 1);
  }
  close(go[0]);
  auto file = Opened();
  EXPECT_EQ(file->EntryCount(kPrimaryIndex), 1000u);
  TIndexPosition pos;
  ASSERT_TRUE(file->Last(kPrimaryIndex, pos));
  EXPECT_EQ(pos.RecordNumber, 1000u);
  EXPECT_FALSE(file->DetectChange());
  char byte = 'g';
  ASSERT_EQ(write(go[1], &byte, 1), 1);
  close(go[1]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  // The old position is re-found after the change.
  EXPECT_TRUE(file->DetectChange());
  EXPECT_FALSE(file->DetectChange());
  EXPECT_EQ(file->EntryCount(kPrimaryIndex), 1000u);
  ASSERT_TRUE(file->Next(pos));
  EXPECT_EQ(pos.RecordNumber, 1001u);
  Bytes gone = file->BuildKey(kPrimaryIndex, Record(3, 3).data());
  EXPECT_FALSE(file->Contains(kPrimaryIndex, gone.data()));
  ExpectSound(*file);
  file->Close();
}

// The header as stored, decoded without the object that wrote it.
TIndexHeader StoredHeader(const std::string& path) {
  Bytes raw = ReadBytes(path, 0, kIndexHeaderSize);
  EXPECT_EQ(raw.size(), kIndexHeaderSize);
  raw.resize(kIndexHeaderSize);
  return TIndexHeader::Decode(raw.data());
}

// Whether the stored header holds every value of `held`: a header write
// that covers only what changed must leave nothing of an older header.
void ExpectStoredHeaderIs(const std::string& path, const TIndexHeader& held) {
  const TIndexHeader stored = StoredHeader(path);
  EXPECT_EQ(stored.ChangeCounter, held.ChangeCounter);
  EXPECT_EQ(stored.NextPage, held.NextPage);
  EXPECT_EQ(stored.SecondaryCount, held.SecondaryCount);
  EXPECT_EQ(stored.NoPrimaryFields, held.NoPrimaryFields);
  for (int i = 0; i < kIndexSlotCount; ++i) {
    EXPECT_TRUE(stored.Indexes[i] == held.Indexes[i]) << "slot " << i;
  }
}

// Header writes that encode only the changed descriptors into the bytes
// last written store exactly what encoding the whole header stores: checked
// after every flush of a run of inserts and deletes that splits and frees
// pages in all three trees (roots, free chains and the page count move).
TEST_F(IndexFileTest, HeaderWritesStoreTheWholeHeaderEncoding) {
  auto file = Created();
  std::mt19937 random(7);
  std::vector<uint32_t> present;
  uint32_t next = 1;
  for (int round = 0; round < 40; ++round) {
    const bool grow = round % 4 != 3;
    for (int k = 0; k < 60; ++k) {
      if (grow || present.empty()) {
        InsertRecord(*file, Record(static_cast<int32_t>(next), next), next);
        present.push_back(next++);
      } else {
        const size_t at = random() % present.size();
        const uint32_t n = present[at];
        DeleteRecord(*file, Record(static_cast<int32_t>(n), n), n);
        present.erase(present.begin() + static_cast<std::ptrdiff_t>(at));
      }
    }
    file->Flush(round % 5 == 0);
    const Bytes stored = ReadBytes(path, 0, kIndexHeaderSize);
    ASSERT_EQ(stored.size(), kIndexHeaderSize);
    TIndexHeader expected = file->Header();
    expected.ModifiedMark = stored[3979] != 0;
    Bytes encoded(kIndexHeaderSize);
    expected.Encode(encoded.data());
    ASSERT_EQ(stored, encoded) << "round " << round;
  }
  ExpectSound(*file);
  file->Close();
}

// A header write covers only the bytes that differ from the header as
// this object last read or wrote it. Another process emptied the table
// in between (page count and roots back to their start): after seeing the
// change, this process's next write, whose page count and roots equal what
// it wrote before, must still store them whole.
TEST_F(IndexFileTest, AHeaderWriteAfterAnotherProcessChangedTheTableStoresTheWholeHeader) {
  auto file = Created();
  InsertRecord(*file, Record(1, 1), 1);
  file->Flush(false);
  const TIndexHeader first = file->Header();
  ASSERT_GT(first.NextPage, 1u);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    bool ok = true;
    try {
      auto other = Opened();
      other->Empty();
      other->Flush(false);
      other->Close();
    } catch (...) {
      ok = false;
    }
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(StoredHeader(path).NextPage, 1u);
  EXPECT_TRUE(file->DetectChange());
  EXPECT_EQ(file->EntryCount(kPrimaryIndex), 0u);
  InsertRecord(*file, Record(1, 1), 1);
  file->Flush(false);
  EXPECT_EQ(file->Header().NextPage, first.NextPage);
  ExpectStoredHeaderIs(path, file->Header());
  // A forced write of an unchanged header moves the counter alone.
  file->Flush(true);
  ExpectStoredHeaderIs(path, file->Header());
  file->Close();
  auto reopened = Opened();
  EXPECT_EQ(reopened->EntryCount(kPrimaryIndex), 1u);
  ExpectSound(*reopened);
}

// A change rolled back by the journal puts the older header back under
// the object that wrote the newer one: its next header write must store
// its header whole, whether or not it read the file again in between.
TEST_F(IndexFileTest, AHeaderWriteAfterARolledBackChangeStoresTheWholeHeader) {
  for (bool discard : {false, true}) {
    SCOPED_TRACE(discard ? "changes discarded" : "changes kept");
    auto file = Created();
    file->Flush(false);
    TRollbackJournal journal(dir.File("Links.JNL"), "Links");
    journal.Attach(nullptr, file.get(), nullptr);
    for (uint32_t n = 1; n <= 300; ++n) {
      InsertRecord(*file, Record(static_cast<int32_t>(n), n), n);
    }
    file->Flush(false);
    // A forced write too, so that the last header written carries the
    // same modified mark as the forced write after the rollback.
    file->Flush(true);
    EXPECT_GT(StoredHeader(path).NextPage, 1u);
    ASSERT_TRUE(journal.Rollback());
    EXPECT_EQ(StoredHeader(path).NextPage, 1u);
    if (discard) {
      file->DiscardChanges();
      EXPECT_EQ(file->Header().NextPage, 1u);
      InsertRecord(*file, Record(1, 1), 1);
      file->Flush(false);
    } else {
      // Only the counter moves from the header last written.
      file->Flush(true);
    }
    journal.Commit();
    ExpectStoredHeaderIs(path, file->Header());
    if (discard) {
      file->Close();
      auto reopened = Opened();
      EXPECT_EQ(reopened->EntryCount(kPrimaryIndex), 1u);
      ExpectSound(*reopened);
    } else {
      file->Abandon();
    }
    journal.Detach();
  }
}

// Change detection reads the (scrambled) counter alone while it stands
// still; a moved counter brings the whole header and drops the pages. The
// second flush writes longer runs of pages than the first.
TEST_F(IndexFileTest, AnEncryptedFileChangesForAnotherHandleOnlyWithItsCounter) {
  auto writer = Created(true);
  for (uint32_t i = 1; i <= 10; ++i) InsertRecord(*writer, Record(static_cast<int32_t>(i), i), i);
  writer->Flush(true);
  auto reader = Opened(true);
  EXPECT_FALSE(reader->DetectChange());
  EXPECT_EQ(reader->EntryCount(kPrimaryIndex), 10u);
  for (uint32_t i = 11; i <= 3000; ++i) {
    InsertRecord(*writer, Record(static_cast<int32_t>(i), i), i);
  }
  EXPECT_FALSE(reader->DetectChange());  // nothing on disk yet
  writer->Flush(true);
  EXPECT_TRUE(reader->DetectChange());
  EXPECT_FALSE(reader->DetectChange());
  EXPECT_EQ(reader->EntryCount(kPrimaryIndex), 3000u);
  EXPECT_EQ(reader->EntryCount(kByName), 3000u);
  ExpectSound(*reader);
  writer->Close();
  reader->Close();
  auto reopened = Opened(true);
  EXPECT_EQ(reopened->EntryCount(kSysDeletedIndex), 3000u);
  ExpectSound(*reopened);
}

// The key formats follow the table's fields: an index over a field the
// table does not have is a fault, and giving the table its fields again
// mends the formats (they are built from the fields in force at use).
TEST_F(IndexFileTest, KeyFormatsFollowTheTableFields) {
  {
    auto file = Created();
    for (uint32_t n = 1; n <= 50; ++n) InsertRecord(*file, Record(static_cast<int32_t>(n), n), n);
    file->Close();
  }
  TKeyTable only_id;
  only_id.Add("Id", fldINT32);
  auto file = NewFile();
  file->SetTableContext(only_id.Fields(), 0, false);
  file->Open(path, false, false, false);
  EXPECT_EQ(CodeOf([&] { file->Verify(); }), STRATA_HEADERCORRUPT);
  EXPECT_EQ(CodeOf([&] { file->KeyFormat(kByName); }), STRATA_HEADERCORRUPT);
  EXPECT_EQ(CodeOf([&] { file->KeyFormat(kPrimaryIndex); }), 0);
  const TIndexCheckResult check = file->CheckStructure();
  ASSERT_FALSE(check.Sound());
  EXPECT_NE(check.Faults.front().find("a key field is not a field of the table"),
            std::string::npos);
  file->SetTableContext(table.Fields(), 0, false);
  EXPECT_EQ(CodeOf([&] { file->Verify(); }), 0);
  EXPECT_EQ(file->EntryCount(kByName), 50u);
  ExpectSound(*file);
}

TEST_F(IndexFileTest, VerifyRejectsAWrongVersionAndShortFiles) {
  {
    auto file = Created();
    for (uint32_t n = 1; n <= 500; ++n) InsertRecord(*file, Record(static_cast<int32_t>(n), n), n);
    file->Close();
  }
  WriteBytes(path, 8, {4});
  EXPECT_EQ(CodeOf([&] { Opened(); }), STRATA_OLDVERSION);
  WriteBytes(path, 8, {5});
  EXPECT_EQ(CodeOf([&] { Opened(); }), 0);
  WriteBytes(path, 13, {31});  // too many secondary indexes
  EXPECT_EQ(CodeOf([&] { Opened(); }), STRATA_HEADERCORRUPT);
  WriteBytes(path, 13, {1});
  {
    auto file = platform::File::Open(path, platform::Access::kReadWrite, platform::Share::kShared);
    file->Truncate(file->Size() - kIndexPageSize);
  }
  try {
    Opened();
    FAIL() << "no error";
  } catch (const EStrataEngineError& e) {
    EXPECT_EQ(e.Code, STRATA_HEADERCORRUPT);
    EXPECT_EQ(e.ContextTable, "Links");
  }
  WriteBytes(path, 0, Bytes(100, 0));  // a header too short to read is corrupt too
  auto file = platform::File::Open(path, platform::Access::kReadWrite, platform::Share::kShared);
  file->Truncate(100);
  file.reset();
  EXPECT_EQ(CodeOf([&] { Opened(false, false); }), STRATA_HEADERCORRUPT);
}

TEST_F(IndexFileTest, EncryptedFilesAreScrambled) {
  {
    auto file = Created(true);
    for (uint32_t n = 1; n <= 300; ++n) InsertRecord(*file, Record(static_cast<int32_t>(n), n), n);
    file->Close();
  }
  Bytes header = ReadBytes(path, 0, kIndexHeaderSize);
  EXPECT_NE(header[8], 5);
  Bytes plain = header;
  Scramble(plain.data(), plain.size(), kRecordSeed);  // the data file's record seed
  EXPECT_EQ(plain[8], 5);
  EXPECT_EQ(plain[134], 6);  // "ByName"
  Bytes page = ReadBytes(path, kIndexPageSize, kIndexPageSize);
  Scramble(page.data(), page.size(), kRecordSeed);
  EXPECT_LE(page[0], pkRootLeaf);  // each page scrambled on its own
  EXPECT_EQ(std::search(header.begin(), header.end(), std::begin("ByName"), std::end("ByName") - 1),
            header.end());
  auto file = Opened(true);
  EXPECT_EQ(file->EntryCount(kByName), 300u);
  ExpectSound(*file);
  file->Close();
  EXPECT_NE(CodeOf([&] { Opened(false); }), 0);  // unscrambled, it makes no sense
}

TEST_F(IndexFileTest, StructureCheckNamesFaults) {
  {
    auto file = Created();
    for (uint32_t n = 1; n <= 3000; ++n) InsertRecord(*file, Record(static_cast<int32_t>(n), n), n);
    file->Close();
  }
  uint32_t root = 0, pages = 0;
  {
    auto file = Opened();
    ExpectSound(*file);
    root = file->Descriptor(kPrimaryIndex).RootPage;
    pages = file->Header().NextPage;
    file->Close();
  }
  // Swap the first two keys of the primary index's first leaf.
  Bytes root_page = ReadBytes(path, uint64_t{root} * kIndexPageSize, kIndexPageSize);
  ASSERT_EQ(root_page[0], pkRoot);
  uint32_t leaf = GetU32(&root_page[13 + 13 - 4]);
  Bytes page = ReadBytes(path, uint64_t{leaf} * kIndexPageSize, kIndexPageSize);
  std::swap_ranges(page.begin() + 13, page.begin() + 18, page.begin() + 26);
  WriteBytes(path, uint64_t{leaf} * kIndexPageSize, page);
  // And one page more than any index uses.
  Bytes next(4);
  PutU32(next.data(), pages + 1);
  WriteBytes(path, 9, next);
  WriteBytes(path, uint64_t{pages} * kIndexPageSize, Bytes(kIndexPageSize, 0));
  auto file = Opened();
  TIndexCheckResult result = file->CheckStructure();
  ASSERT_FALSE(result.Sound());
  std::string all;
  for (const std::string& f : result.Faults) all += f + "\n";
  EXPECT_NE(all.find("out of order"), std::string::npos) << all;
  EXPECT_NE(all.find("page " + std::to_string(pages) + " belongs to no index"), std::string::npos)
      << all;
  EXPECT_TRUE(file->CheckIndex(kByName).Sound());
  file->Close();
}

TEST_F(IndexFileTest, DefinitionsOnAnOpenFile) {
  auto file = Created();
  TIndexDef second;
  second.Primary = true;
  second.FieldNumbers = {name};
  EXPECT_EQ(CodeOf([&] { file->DefinePrimary(second); }), STRATA_PRIMARYKEYREDEFINE);
  TIndexDef by_both;
  by_both.Name = "ByBoth";
  by_both.FieldNumbers = {name, id};
  by_both.Unique = true;
  EXPECT_EQ(file->AddSecondary(by_both), 2);
  EXPECT_EQ(file->FindIndex("byboth"), 2);
  EXPECT_EQ(file->FindIndex("BYNAME"), kByName);
  EXPECT_EQ(file->FindIndex("sys deleted"), kSysDeletedIndex);
  EXPECT_EQ(file->FindIndex("nothing"), -1);
  EXPECT_EQ(file->FindIndex(""), kPrimaryIndex);
  Bytes r = Record(1, 1);
  file->Insert(2, file->BuildKey(2, r.data()).data(), 1);
  file->Close();
  auto reopened = Opened();
  EXPECT_EQ(reopened->SecondaryCount(), 2);
  EXPECT_EQ(reopened->KeySize(2), 32 + 5);
  EXPECT_EQ(reopened->EntryCount(2), 1u);
  EXPECT_TRUE(reopened->IsMaintained(2));
  EXPECT_FALSE(reopened->IsMaintained(3));
  EXPECT_FALSE(reopened->IsMaintained(kSysTextIndex));
  reopened->Close();
}

TEST_F(IndexFileTest, CompressedIndexesAreRefusedClearly) {
  auto file = Created();
  file->Close();
  WriteBytes(path, 14 + kIndexDescriptorSize + 36, {1});  // slot 1: compression mode 1
  auto opened = Opened();
  Bytes key = opened->BuildKey(kByName, Record(1, 1).data());
  try {
    opened->Insert(kByName, key.data(), 1);
    FAIL() << "no error";
  } catch (const EStrataEngineError& e) {
    EXPECT_EQ(e.Code, STRATA_OLDVERSION);
    EXPECT_EQ(e.ContextIndex, "ByName");
    EXPECT_NE(e.ContextDetail.find("compression"), std::string::npos);
  }
  opened->Close();
}

TEST_F(IndexFileTest, TableFullBeyondFourGigabytes) {
  auto file = Created();
  file->Close();
  Bytes next(4);
  PutU32(next.data(), 976562);  // page 976562 would end beyond 4,000,000,000 bytes
  WriteBytes(path, 9, next);
  auto opened = Opened(false, false);
  Bytes key = opened->BuildKey(kPrimaryIndex, Record(1, 1).data());
  EXPECT_EQ(CodeOf([&] { opened->Insert(kPrimaryIndex, key.data(), 1); }), STRATA_TABLEFULL);
  opened->DiscardChanges();
}

TEST_F(IndexFileTest, CacheStaysWithinItsLimit) {
  settings.BlockCacheCount = 1;  // 64 pages per index
  auto file = Created();
  for (uint32_t n = 1; n <= 30000; ++n) {
    InsertRecord(*file, Record(static_cast<int32_t>(n), n), n);
    if (n % 1000 == 0) file->Flush(true);
  }
  file->Flush(true);
  EXPECT_LE(file->CachedPages(kByName), 64u);
  EXPECT_GT(file->Header().NextPage, 3u * 64u);
  // Reading everything back through the small cache.
  TIndexPosition pos;
  uint32_t count = 0;
  for (bool on = file->First(kByName, pos); on; on = file->Next(pos)) ++count;
  EXPECT_EQ(count, 30000u);
  EXPECT_LE(file->CachedPages(kByName), 64u);
  ExpectSound(*file);
  file->Close();
}

}  // namespace
}  // namespace strata
