#include "storage/data/data_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "storage/byte_order.h"
#include "storage/engine_error.h"
#include "storage/record/field_validation.h"
#include "storage/record/record_header.h"
#include "storage/test_process.h"
#include "storage/test_temp_dir.h"

namespace strata {
namespace {

uint16_t CodeOf(const std::function<void()>& call, std::string* message = nullptr) {
  try {
    call();
  } catch (const EStrataEngineError& error) {
    if (message) *message = error.what();
    return error.Code;
  }
  return 0;
}

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void PatchBytes(const std::string& path, size_t offset, const std::vector<uint8_t>& bytes) {
  std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
  out.seekp(static_cast<std::streamoff>(offset));
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// Id INT32 (flag at 9, value at 10) and Name ZSTRING(10) (flag at 14):
// record size 9 + 5 + 12 = 26.
std::vector<TFieldDescriptor> TwoFields() {
  std::vector<TFieldDescriptor> fields(2);
  fields[0].FieldNumber = 1;
  fields[0].Name = "Id";
  fields[0].TypeCode = fldINT32;
  fields[1].FieldNumber = 2;
  fields[1].Name = "Name";
  fields[1].TypeCode = fldZSTRING;
  fields[1].DeclaredSize = 10;
  ValidateFieldDescriptors(fields, "T", 0, 0);
  return fields;
}

constexpr size_t kRecordSize = 26;
constexpr size_t kHeaderArea = 127 + 2 * 768;

class DataFileTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name = "Ads") { return temp_.File(name + ".DAT"); }

  // A flushed table of `records` live records whose Id is their number.
  void MakeTable(TDataFile& file, uint32_t records, const std::string& name = "Ads",
                 bool encrypted = false) {
    file.SetTableName(name);
    file.Create(Path(name), 0, 0, TwoFields(), 0, "", encrypted ? "pw" : "", encrypted, 0, 0);
    for (uint32_t i = 0; i < records; ++i) SetId(file.AllocateSlot(), static_cast<int32_t>(i + 1));
    file.Flush(true);
  }
  static void SetId(TRecord* record, int32_t id) {
    record->Data()[9] = 1;
    PutI32(record->Data() + 10, id);
    record->Owner->MarkModified(record);
  }
  static int32_t IdOf(const TRecord* record) { return GetI32(record->Data() + 10); }

  testing::TTempDir temp_;
  TEngineSettings settings_;
};

// --- layout on disk -------------------------------------------------------------

TEST_F(DataFileTest, FreshTableBytesAfterTheFirstFlush) {
  TDataFile file(settings_);
  file.Create(Path(), 0, 0, TwoFields(), 1024, "Ads", "", false, 0x1234, 9);
  EXPECT_EQ(file.NextSlot(), 1u);
  EXPECT_TRUE(file.HeaderModified());
  EXPECT_EQ(std::filesystem::file_size(Path()), 0u);  // nothing on disk before the flush
  EXPECT_TRUE(file.Flush(false));
  EXPECT_FALSE(file.HeaderModified());

  const std::vector<uint8_t> bytes = FileBytes(Path());
  ASSERT_EQ(bytes.size(), 127u + 1536u);
  EXPECT_EQ(GetI32(&bytes[0]), 1);      // counter advanced by the write
  EXPECT_EQ(GetU32(&bytes[4]), 1024u);  // blob block size
  EXPECT_EQ(bytes[8], 5);               // version
  EXPECT_EQ(GetU32(&bytes[9]), 0u);     // free chain head
  EXPECT_EQ(GetU32(&bytes[13]), 1u);    // next slot
  EXPECT_EQ(GetU32(&bytes[17]), 0u);    // last auto-increment
  EXPECT_EQ(GetU16(&bytes[21]), 26);    // record size
  EXPECT_EQ(GetU16(&bytes[23]), 2);     // field count
  EXPECT_EQ(GetU16(&bytes[25]), 0);     // blob fields
  EXPECT_EQ(bytes[35], 3);              // "Ads"
  EXPECT_EQ(bytes[36], 'A');
  EXPECT_EQ(GetU16(&bytes[107]), 0x1234);
  EXPECT_EQ(GetU16(&bytes[109]), 9);
  EXPECT_EQ(bytes[111], 1);  // it needed writing
  EXPECT_EQ(GetU32(&bytes[116]), 31500u);
  EXPECT_EQ(GetU32(&bytes[120]), 0u);
  // The time stamp: today as days since 30 December 1899, less 693594.
  const double stored = GetF64(&bytes[27]);
  EXPECT_GT(stored, 40000.0 - 693594.0);
  EXPECT_LT(stored, 80000.0 - 693594.0);
  EXPECT_DOUBLE_EQ(file.LastUpdated(), stored + 693594.0);

  // Descriptor 1 at 127: number 1, name "Id", type 6, data size 4, offset 9.
  EXPECT_EQ(GetU16(&bytes[127]), 1);
  EXPECT_EQ(bytes[129], 2);
  EXPECT_EQ(bytes[130], 'I');
  EXPECT_EQ(bytes[127 + 84], fldINT32);
  EXPECT_EQ(bytes[127 + 88], 4);
  EXPECT_EQ(GetU16(&bytes[127 + 90]), 9);
  // Descriptor 2 at 895: string of 10, data size 11, offset 14.
  EXPECT_EQ(GetU16(&bytes[895]), 2);
  EXPECT_EQ(bytes[895 + 84], fldZSTRING);
  EXPECT_EQ(bytes[895 + 86], 10);
  EXPECT_EQ(bytes[895 + 88], 11);
  EXPECT_EQ(GetU16(&bytes[895 + 90]), 14);

  // A forced header write without changes: counter 2, modified mark 0.
  EXPECT_TRUE(file.Flush(true));
  const std::vector<uint8_t> again = FileBytes(Path());
  EXPECT_EQ(GetI32(&again[0]), 2);
  EXPECT_EQ(again[111], 0);
  EXPECT_FALSE(file.Flush(false));  // nothing to write
}

TEST_F(DataFileTest, RecordsLandInTheirSlots) {
  TDataFile file(settings_);
  MakeTable(file, 3);
  const std::vector<uint8_t> bytes = FileBytes(Path());
  ASSERT_EQ(bytes.size(), kHeaderArea + 3 * kRecordSize);
  for (uint32_t n = 1; n <= 3; ++n) {
    const uint8_t* slot = &bytes[kHeaderArea + (n - 1) * kRecordSize];
    EXPECT_EQ(slot[0], 0);           // live
    EXPECT_EQ(GetU32(slot + 1), n);  // its own number
    EXPECT_EQ(GetI32(slot + 10), static_cast<int32_t>(n));
  }
  EXPECT_EQ(GetU32(&bytes[13]), 4u);  // next slot
}

TEST_F(DataFileTest, CreateRefusesTooManyBlobFieldsAndTooLargeRecords) {
  std::vector<TFieldDescriptor> blobs(129);
  for (size_t i = 0; i < blobs.size(); ++i) {
    blobs[i].FieldNumber = static_cast<uint16_t>(i + 1);
    blobs[i].Name = "B" + std::to_string(i);
    blobs[i].TypeCode = fldBLOB;
  }
  TDataFile file(settings_);
  file.SetTableName("Blobs");
  EXPECT_EQ(CodeOf([&] { file.Create(Path("Blobs"), 0, 0, blobs, 0, "", "", false, 0, 0); }),
            STRATA_BLOBLIMIT);
  std::vector<TFieldDescriptor> wide(262);  // 9 + 262 x 251 > 65535
  for (size_t i = 0; i < wide.size(); ++i) {
    wide[i].FieldNumber = static_cast<uint16_t>(i + 1);
    wide[i].Name = "S" + std::to_string(i);
    wide[i].TypeCode = fldZSTRING;
    wide[i].DeclaredSize = 249;
  }
  std::string message;
  EXPECT_EQ(
      CodeOf([&] { file.Create(Path("Blobs"), 0, 0, wide, 0, "", "", false, 0, 0); }, &message),
      STRATA_RECTOOBIG);
  EXPECT_NE(message.find("'Blobs'"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(Path("Blobs")));  // nothing created
}

// --- free chain and row numbers -------------------------------------------------

TEST_F(DataFileTest, FreeChainIsReusedLastFreedFirst) {
  TDataFile file(settings_);
  MakeTable(file, 6);
  file.FreeSlot(3);
  file.FreeSlot(5);
  file.Flush(true);
  const std::vector<uint8_t> bytes = FileBytes(Path());
  EXPECT_EQ(GetU32(&bytes[9]), 5u);  // head
  const uint8_t* slot5 = &bytes[kHeaderArea + 4 * kRecordSize];
  const uint8_t* slot3 = &bytes[kHeaderArea + 2 * kRecordSize];
  EXPECT_EQ(slot5[0], 1);
  EXPECT_EQ(GetU32(slot5 + 1), 3u);  // 5 -> 3
  EXPECT_EQ(slot3[0], 1);
  EXPECT_EQ(GetU32(slot3 + 1), 0u);  // 3 -> 0
  EXPECT_EQ(GetI32(slot3 + 10), 3);  // the rest stays until reuse

  EXPECT_EQ(CodeOf([&] { file.FreeSlot(5); }), STRATA_FILECORRUPT);  // already free

  // The chain survives reopening and hands out 5, then 3, then appends 7.
  file.Close();
  file.Open(Path(), false, false, false);
  file.Verify();
  TRecord* first = file.AllocateSlot();
  EXPECT_EQ(first->RecordNumber, 5u);
  EXPECT_EQ(first->Data()[0], 0);
  EXPECT_EQ(GetU32(first->Data() + 1), 5u);
  EXPECT_EQ(IdOf(first), 0);  // handed out blank
  EXPECT_EQ(file.AllocateSlot()->RecordNumber, 3u);
  EXPECT_EQ(file.FreeChainHead(), 0u);
  EXPECT_EQ(file.AllocateSlot()->RecordNumber, 7u);
  EXPECT_EQ(file.NextSlot(), 8u);
  file.Flush(true);
  EXPECT_EQ(FileBytes(Path()).size(), kHeaderArea + 7 * kRecordSize);
}

TEST_F(DataFileTest, DamagedFreeChainIsRefused) {
  TDataFile file(settings_);
  MakeTable(file, 2);
  file.Close();
  std::vector<uint8_t> head(4);
  PutU32(head.data(), 2);  // slot 2 is live, not free
  PatchBytes(Path(), 9, head);
  file.Open(Path(), false, false, false);
  EXPECT_EQ(CodeOf([&] { file.AllocateSlot(); }), STRATA_FILECORRUPT);
}

TEST_F(DataFileTest, RowNumbersWrapAfterTheLargest) {
  TDataFile file(settings_);
  MakeTable(file, 0);
  EXPECT_EQ(file.AllocateRowNumber(), 1);
  EXPECT_EQ(file.AllocateRowNumber(), 2);
  file.SetLastAutoIncrement(2147483646);
  file.Flush(false);
  EXPECT_EQ(file.AllocateRowNumber(), 2147483647);
  EXPECT_TRUE(file.HeaderModified());
  EXPECT_EQ(file.AllocateRowNumber(), 1);
  file.Flush(false);
  EXPECT_EQ(GetI32(&FileBytes(Path())[17]), 1);
}

// --- reading: bounds, read-ahead, cache ----------------------------------------

TEST_F(DataFileTest, RecordNumberBounds) {
  TDataFile file(settings_);
  MakeTable(file, 3, "Links");
  std::string message;
  EXPECT_EQ(CodeOf([&] { file.ReadRecord(0); }, &message), STRATA_FILECORRUPT);
  EXPECT_EQ(message, "Strata Engine Error # 8962 Data record buffers corrupt in the table 'Links'");
  EXPECT_EQ(CodeOf([&] { file.ReadRecord(5); }), STRATA_FILECORRUPT);
  TRecord* append = file.ReadRecord(4);  // the append position: blank, not read
  EXPECT_EQ(GetU32(append->Data() + 1), 4u);
  EXPECT_EQ(IdOf(append), 0);
  EXPECT_EQ(file.Statistics().Reads, 0u);
  EXPECT_EQ(file.NextSlot(), 4u);
}

TEST_F(DataFileTest, AppendingBeyondTheLimitsIsTableFull) {
  TDataFile file(settings_);
  MakeTable(file, 1, "Full");
  file.Close();
  std::vector<uint8_t> next(4);
  PutU32(next.data(), 200000001);
  PatchBytes(Path("Full"), 13, next);
  file.SetTableName("Full");
  file.Open(Path("Full"), false, false, false);
  std::string message;
  EXPECT_EQ(CodeOf([&] { file.AllocateSlot(); }, &message), STRATA_TABLEFULL);
  EXPECT_NE(message.find("'Full'"), std::string::npos);
}

TEST_F(DataFileTest, MissingSlotBytesAreAReadError) {
  TDataFile file(settings_);
  MakeTable(file, 3);
  file.Close();
  std::filesystem::resize_file(Path(), kHeaderArea + 2 * kRecordSize);
  file.Open(Path(), false, false, false);  // not verified
  EXPECT_EQ(file.ReadRecord(2)->RecordNumber, 2u);
  EXPECT_EQ(CodeOf([&] { file.ReadRecord(3); }), STRATA_READERR);
}

TEST_F(DataFileTest, ReadAheadRunsForwardsBackwardsAndCounted) {
  TDataFile file(settings_);
  MakeTable(file, 100);
  file.Close();
  file.Open(Path(), false, false, false);
  EXPECT_EQ(file.ReadAheadRecords(), 8192u / 26u);

  // Forwards from 1: one read brings all 100 (fewer than the read-ahead size).
  EXPECT_EQ(IdOf(file.ReadRecord(1, TReadAhead::kForward)), 1);
  EXPECT_EQ(file.Statistics().Reads, 1u);
  EXPECT_EQ(file.Statistics().RecordsRead, 100u);
  for (uint32_t n = 2; n <= 100; ++n) EXPECT_EQ(IdOf(file.ReadRecord(n, TReadAhead::kForward)), n);
  EXPECT_EQ(file.Statistics().Reads, 1u);
  EXPECT_EQ(file.Statistics().Hits, 99u);

  // Backwards from 50 after the cache was dropped: 1..50 in one read.
  file.DiscardChanges();
  EXPECT_EQ(IdOf(file.ReadRecord(50, TReadAhead::kBackward)), 50);
  EXPECT_EQ(file.Statistics().Reads, 2u);
  EXPECT_EQ(file.Statistics().RecordsRead, 150u);
  EXPECT_EQ(file.CachedCount(), 50u);
  EXPECT_NE(file.Cache().Peek(1), nullptr);
  EXPECT_EQ(file.Cache().Peek(51), nullptr);

  // A single fetch reads one; a counted run reads what the scan needs.
  file.ReadRecord(60);
  EXPECT_EQ(file.Statistics().RecordsRead, 151u);
  file.ReadRecord(70, TReadAhead::kForward, 5);
  EXPECT_EQ(file.Statistics().RecordsRead, 156u);
  EXPECT_NE(file.Cache().Peek(74), nullptr);
  EXPECT_EQ(file.Cache().Peek(75), nullptr);
  // A run reads over records already cached but keeps their cached contents.
  SetId(file.ReadRecord(72), 7200);
  file.ReadRecord(69, TReadAhead::kForward, 5);
  EXPECT_EQ(IdOf(file.ReadRecord(72)), 7200);
  EXPECT_EQ(file.Statistics().RecordsRead, 157u);  // only 69 was new
}

TEST_F(DataFileTest, SingleFetchesOfOneSlotAfterAnotherReadAheadFromTheSecond) {
  TDataFile file(settings_);
  MakeTable(file, 100);
  file.Close();
  file.Open(Path(), false, false, false);
  // Look-ups here and there read one record each.
  file.ReadRecord(10);
  file.ReadRecord(30);
  file.ReadRecord(20);
  EXPECT_EQ(file.Statistics().Reads, 3u);
  EXPECT_EQ(file.Statistics().RecordsRead, 3u);
  // The slot right after the last fetched one reads on as a scan would.
  EXPECT_EQ(IdOf(file.ReadRecord(21)), 21);
  EXPECT_EQ(file.Statistics().Reads, 4u);
  EXPECT_EQ(file.Statistics().RecordsRead, 3u + 79u);  // 21..100 but 30, cached already
  for (uint32_t n = 22; n <= 29; ++n) EXPECT_EQ(IdOf(file.ReadRecord(n)), n);
  EXPECT_EQ(IdOf(file.ReadRecord(100)), 100);
  EXPECT_EQ(file.Statistics().Reads, 4u);
  // The run passes over cached records, which keep their contents.
  file.DiscardChanges();
  SetId(file.ReadRecord(62), 6200);
  file.ReadRecord(60);
  EXPECT_EQ(IdOf(file.ReadRecord(61)), 61);
  EXPECT_EQ(IdOf(file.ReadRecord(62)), 6200);
  EXPECT_EQ(IdOf(file.ReadRecord(63)), 63);
  EXPECT_EQ(file.Statistics().Reads, 7u);
  EXPECT_EQ(file.Statistics().RecordsRead, 82u + 2u + 39u);
}

TEST_F(DataFileTest, CacheIsBoundedAndKeepsPinnedAndModifiedRecords) {
  settings_.RecordCacheBytes = 26 * 4;  // four records by bytes ...
  settings_.RecordCacheCount = 100;     // ... fewer than the count allows
  TDataFile file(settings_);
  MakeTable(file, 20);
  EXPECT_EQ(file.CacheCapacity(), 4u);
  EXPECT_LE(file.CachedCount(), 4u);

  TRecord* pinned = file.ReadRecord(1);
  file.PinRecord(pinned);
  for (uint32_t n = 2; n <= 8; ++n) file.ReadRecord(n);
  EXPECT_LE(file.CachedCount(), 4u);
  EXPECT_EQ(file.Cache().Peek(1), pinned);  // pinned: never evicted
  EXPECT_EQ(file.Cache().Peek(8)->RecordNumber, 8u);

  // Modified records stay until written, then the flush trims the cache.
  for (uint32_t n = 10; n <= 15; ++n) SetId(file.ReadRecord(n), static_cast<int32_t>(n * 10));
  EXPECT_GE(file.CachedCount(), 7u);  // 6 modified + the pinned one
  file.Flush(true);
  EXPECT_LE(file.CachedCount(), 4u);
  EXPECT_EQ(file.Cache().Peek(1), pinned);
  file.UnpinRecord(pinned);

  // The cache can be limited by count as well.
  settings_.RecordCacheBytes = 1000000;
  settings_.RecordCacheCount = 3;
  TDataFile counted(settings_);
  MakeTable(counted, 2, "Counted");
  EXPECT_EQ(counted.CacheCapacity(), 3u);
}

TEST_F(DataFileTest, ModifiedRecordsAreWrittenInRuns) {
  TDataFile file(settings_);
  MakeTable(file, 10);
  const uint64_t writes = file.Statistics().Writes;
  for (uint32_t n : {2u, 3u, 4u, 7u, 8u}) SetId(file.ReadRecord(n), static_cast<int32_t>(n + 100));
  TRecord* pinned = file.ReadRecord(9);
  file.PinRecord(pinned);
  SetId(pinned, 999);  // being edited: not written while pinned
  file.Flush(true);
  EXPECT_EQ(file.Statistics().Writes - writes, 2u);  // 2..4 and 7..8
  const std::vector<uint8_t> bytes = FileBytes(Path());
  EXPECT_EQ(GetI32(&bytes[kHeaderArea + 1 * kRecordSize + 10]), 102);
  EXPECT_EQ(GetI32(&bytes[kHeaderArea + 7 * kRecordSize + 10]), 108);
  EXPECT_EQ(GetI32(&bytes[kHeaderArea + 8 * kRecordSize + 10]), 9);
  file.UnpinRecord(pinned);
  file.Flush(true);
  EXPECT_EQ(GetI32(&FileBytes(Path())[kHeaderArea + 8 * kRecordSize + 10]), 999);
}

// --- encrypted tables ------------------------------------------------------------

TEST_F(DataFileTest, EncryptedTablesStoreScrambledSlotsAndDescriptors) {
  TDataFile file(settings_);
  MakeTable(file, 2, "Secret", true);
  EXPECT_TRUE(file.PasswordMatches("pw"));
  EXPECT_FALSE(file.PasswordMatches("PW"));
  file.Close();
  const std::vector<uint8_t> bytes = FileBytes(Path("Secret"));
  // Record seed 0x5B/0xC3: a live slot's status byte 0 is stored as 0x5B ^ 0xC3.
  EXPECT_EQ(bytes[kHeaderArea], 0x98);
  EXPECT_EQ(bytes[127], 1 ^ 0x98);  // field number 1, low byte
  EXPECT_NE(bytes[129], 2);         // name length scrambled

  file.Open(Path("Secret"), false, false, false);
  file.Verify();
  EXPECT_EQ(file.Fields()[1].Name, "Name");
  EXPECT_EQ(IdOf(file.ReadRecord(2, TReadAhead::kForward)), 2);
  EXPECT_EQ(file.Header().Password, "pw");
}

TEST_F(DataFileTest, EncryptedDescriptorAreaOfWholeBlocksReadsEitherWay) {
  // 256 fields: a descriptor area of 3 x 65536 bytes.
  std::vector<TFieldDescriptor> fields(256);
  for (size_t i = 0; i < fields.size(); ++i) {
    fields[i].FieldNumber = static_cast<uint16_t>(i + 1);
    fields[i].Name = "F" + std::to_string(i);
    fields[i].TypeCode = fldINT16;
  }
  ValidateFieldDescriptors(fields, "Wide", 0, 0);
  TDataFile file(settings_);
  file.Create(Path("Wide"), 0, 0, fields, 0, "", "pw", true, 0, 0);
  file.Flush(true);
  file.Close();
  std::vector<uint8_t> bytes = FileBytes(Path("Wide"));
  EXPECT_NE(bytes[127], 1);  // scrambled like every other area
  file.Open(Path("Wide"), false, false, false);
  file.Verify();
  EXPECT_EQ(file.Fields()[255].Name, "F255");
  file.Close();

  // A file whose writer left such an area as it was still opens.
  std::vector<uint8_t> plain(fields.size() * 768);
  for (size_t i = 0; i < fields.size(); ++i) fields[i].Encode(plain.data() + i * 768);
  PatchBytes(Path("Wide"), 127, plain);
  file.Open(Path("Wide"), false, false, false);
  file.Verify();
  EXPECT_EQ(file.Fields()[255].Name, "F255");
}

// --- verification ----------------------------------------------------------------

class VerifyTest : public DataFileTest {
 protected:
  void SetUp() override {
    TDataFile file(settings_);
    MakeTable(file, 3, "Check");
  }
  uint16_t OpenAndVerify(std::string* message = nullptr) {
    TDataFile file(settings_);
    file.SetTableName("Check");
    return CodeOf(
        [&] {
          file.Open(Path("Check"), false, false, false);
          file.Verify();
        },
        message);
  }
  void Patch(size_t offset, std::vector<uint8_t> bytes) {
    PatchBytes(Path("Check"), offset, bytes);
  }
};

TEST_F(VerifyTest, SoundFilePasses) { EXPECT_EQ(OpenAndVerify(), 0); }

TEST_F(VerifyTest, LengthNotAWholeNumberOfSlots) {
  std::string message;
  std::filesystem::resize_file(Path("Check"), kHeaderArea + 3 * kRecordSize - 1);
  EXPECT_EQ(OpenAndVerify(&message), STRATA_HEADERCORRUPT);  // off by one record byte
  EXPECT_EQ(message, "Strata Engine Error # 8961 Header information corrupt in the table 'Check'");
  std::filesystem::resize_file(Path("Check"), kHeaderArea + 3 * kRecordSize + 1);
  EXPECT_EQ(OpenAndVerify(), STRATA_HEADERCORRUPT);
}

TEST_F(VerifyTest, NextSlotMustMatchTheLength) {
  std::filesystem::resize_file(Path("Check"), kHeaderArea + 4 * kRecordSize);
  EXPECT_EQ(OpenAndVerify(), STRATA_HEADERCORRUPT);
}

TEST_F(VerifyTest, FreeChainHeadBeyondTheSlots) {
  Patch(9, {4, 0, 0, 0});
  EXPECT_EQ(OpenAndVerify(), STRATA_HEADERCORRUPT);
  Patch(9, {3, 0, 0, 0});
  EXPECT_EQ(OpenAndVerify(), 0);
}

TEST_F(VerifyTest, WrongVersion) {
  Patch(8, {4});
  std::string message;
  EXPECT_EQ(OpenAndVerify(&message), STRATA_OLDVERSION);
  EXPECT_NE(message.find("'Check'"), std::string::npos);
}

TEST_F(VerifyTest, LocaleNotInstalled) {
  Patch(103, {0xFF, 0x7F});
  EXPECT_EQ(OpenAndVerify(), STRATA_CANNOTLOADLDDRV);
  Patch(103, {0x07, 0x04});  // German
  EXPECT_EQ(OpenAndVerify(), 0);
}

TEST_F(VerifyTest, FieldCountAboveTheLimitFailsAtOpen) {
  Patch(23, {0x01, 0x04});  // 1025
  EXPECT_EQ(OpenAndVerify(), STRATA_HEADERCORRUPT);
}

TEST_F(VerifyTest, RecordSizeMustMatchTheFields) {
  Patch(21, {27, 0});
  EXPECT_EQ(OpenAndVerify(), STRATA_HEADERCORRUPT);
  Patch(21, {0, 0});  // unusable at all: refused at open
  EXPECT_EQ(OpenAndVerify(), STRATA_HEADERCORRUPT);
}

TEST_F(VerifyTest, ShortHeader) {
  std::filesystem::resize_file(Path("Check"), 100);
  EXPECT_EQ(OpenAndVerify(), STRATA_HEADERCORRUPT);
}

TEST_F(VerifyTest, DescriptorChecks) {
  const size_t second = 127 + 768;
  Patch(second + 2, {2, 'i', 'D'});  // "iD": the same name as "Id" but for case
  EXPECT_EQ(OpenAndVerify(), STRATA_HEADERCORRUPT);
  Patch(second + 2, {4, 'N', 'a', 'm'});
  EXPECT_EQ(OpenAndVerify(), 0);
  Patch(second + 2, {4, '1', 'a', 'm'});  // begins with a digit
  EXPECT_EQ(OpenAndVerify(), STRATA_HEADERCORRUPT);
  Patch(second + 2, {31});  // longer than 30
  EXPECT_EQ(OpenAndVerify(), STRATA_HEADERCORRUPT);
  Patch(second + 2, {4, 'N', 'a', 'm'});
  Patch(second, {1, 0});  // field number 1 twice
  EXPECT_EQ(OpenAndVerify(), STRATA_HEADERCORRUPT);
  Patch(second, {2, 0});
  Patch(second + 86, {251});  // declared size above 250
  EXPECT_EQ(OpenAndVerify(), STRATA_HEADERCORRUPT);
  Patch(second + 86, {10});
  Patch(second + 90, {15, 0});  // not at the running offset 14
  EXPECT_EQ(OpenAndVerify(), STRATA_HEADERCORRUPT);
  Patch(second + 90, {14, 0});
  Patch(127 + 86, {4});  // a declared size on an integer field
  EXPECT_EQ(OpenAndVerify(), STRATA_HEADERCORRUPT);
  Patch(127 + 86, {0});
  Patch(127 + 196, {3, 'a', 'b', 'c'});  // default "abc" is no integer
  EXPECT_EQ(OpenAndVerify(), STRATA_HEADERCORRUPT);
  Patch(127 + 196, {2, '4', '2'});
  EXPECT_EQ(OpenAndVerify(), 0);
}

TEST_F(VerifyTest, AutoIncrementFieldLivesAtOffsetFive) {
  std::vector<TFieldDescriptor> fields(2);
  fields[0].FieldNumber = 1;
  fields[0].Name = "Row";
  fields[0].TypeCode = fldINT32;
  fields[0].SubType = fldstAUTOINC;
  fields[1].FieldNumber = 2;
  fields[1].Name = "Hits";
  fields[1].TypeCode = fldINT16;
  ValidateFieldDescriptors(fields, "Auto", 0, 0);
  TDataFile file(settings_);
  file.Create(Path("Check"), 0, 0, fields, 0, "", "", false, 0, 0);
  EXPECT_EQ(file.RecordSize(), 9 + 3);
  file.Flush(true);
  file.Close();
  EXPECT_EQ(OpenAndVerify(), 0);
  Patch(127 + 90, {9, 0});
  EXPECT_EQ(OpenAndVerify(), STRATA_HEADERCORRUPT);
}

// --- flush, transactions, empty, change detection --------------------------------

TEST_F(DataFileTest, TransactionsWriteNothingUntilCommit) {
  TDataFile file(settings_);
  MakeTable(file, 2);
  const std::vector<uint8_t> before = FileBytes(Path());
  const uint32_t counter = file.ChangeCounter();
  file.SetInTransaction(true);
  SetId(file.AllocateSlot(), 3);
  SetId(file.ReadRecord(1), 100);
  EXPECT_FALSE(file.Flush(true));
  EXPECT_EQ(file.ChangeCounter(), counter + 1);
  EXPECT_TRUE(file.HeaderModified());
  EXPECT_EQ(FileBytes(Path()), before);

  // Rollback restores the header from disk and drops the changes.
  file.DiscardChanges();
  EXPECT_EQ(file.NextSlot(), 3u);
  EXPECT_EQ(file.ChangeCounter(), counter);
  EXPECT_EQ(IdOf(file.ReadRecord(1)), 1);

  // Commit: leave the mode and flush with a forced header write.
  SetId(file.AllocateSlot(), 3);
  EXPECT_FALSE(file.Flush(true));
  file.SetInTransaction(false);
  EXPECT_TRUE(file.Flush(true));
  const std::vector<uint8_t> after = FileBytes(Path());
  EXPECT_EQ(after.size(), kHeaderArea + 3 * kRecordSize);
  EXPECT_EQ(static_cast<uint32_t>(GetI32(&after[0])), file.ChangeCounter());
}

TEST_F(DataFileTest, EmptyKeepsTheDescriptors) {
  TDataFile file(settings_);
  MakeTable(file, 5);
  file.AllocateRowNumber();
  file.Empty();
  EXPECT_EQ(file.NextSlot(), 1u);
  EXPECT_EQ(file.LastAutoIncrement(), 0);
  EXPECT_EQ(file.CachedCount(), 0u);
  file.Flush(false);
  const std::vector<uint8_t> bytes = FileBytes(Path());
  EXPECT_EQ(bytes.size(), kHeaderArea);
  EXPECT_EQ(GetI32(&bytes[0]), 1);  // counter reset, then written once
  file.Close();
  file.Open(Path(), false, false, false);
  file.Verify();
  EXPECT_EQ(file.Fields()[0].Name, "Id");
}

TEST_F(DataFileTest, ChangeByAnotherProcessIsDetected) {
  TDataFile file(settings_);
  TRecord* pinned = nullptr;
  const bool child_ok = testing::RunInChildAfter(
      [&] {
        MakeTable(file, 3);
        EXPECT_FALSE(file.DetectChange());
        EXPECT_EQ(IdOf(file.ReadRecord(2)), 2);
        pinned = file.ReadRecord(1);
        file.PinRecord(pinned);
      },
      [&] {
        // A process of its own: open, change record 2, append one, flush.
        TDataFile other(settings_);
        other.Open(Path(), false, false, false);
        other.Verify();
        TRecord* record = other.ReadRecord(2);
        PutI32(record->Data() + 10, 222);
        other.MarkModified(record);
        PutI32(other.AllocateSlot()->Data() + 10, 4);
        other.Flush(true);
        return other.ChangeCounter() == 2;
      });
  ASSERT_TRUE(child_ok);
  EXPECT_TRUE(file.DetectChange());
  EXPECT_EQ(file.CachedCount(), 0u);
  EXPECT_EQ(file.NextSlot(), 5u);
  EXPECT_EQ(IdOf(file.ReadRecord(2)), 222);
  EXPECT_EQ(IdOf(file.ReadRecord(4)), 4);
  EXPECT_FALSE(file.DetectChange());
  // The record pinned before the change is still valid, though detached.
  EXPECT_FALSE(pinned->Cached());
  EXPECT_EQ(IdOf(pinned), 1);
  EXPECT_EQ(file.Cache().DetachedCount(), 1u);
  file.UnpinRecord(pinned);
  EXPECT_EQ(file.Cache().DetachedCount(), 0u);
}

TEST_F(DataFileTest, MemoryTablesWorkTheSameWay) {
  TDataFile file(settings_);
  file.SetTableName("MemAds");
  file.Create("MemAds.DAT", 0, 0, TwoFields(), 0, "", "", false, 0, 0, true);
  SetId(file.AllocateSlot(), 1);
  file.Flush(true);
  file.Close();
  file.Open("memads.dat", true, false, false);
  file.Verify();
  EXPECT_EQ(IdOf(file.ReadRecord(1)), 1);
  file.Close();
  TFileHandler::DeleteFile("MemAds.DAT", true);
}

}  // namespace
}  // namespace strata
