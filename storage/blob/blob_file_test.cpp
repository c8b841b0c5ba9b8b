#include "storage/blob/blob_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <random>
#include <set>

#include "storage/byte_order.h"
#include "storage/engine_error.h"
#include "storage/scramble.h"
#include "storage/test_temp_dir.h"

namespace strata {
namespace {

#define EXPECT_ENGINE_ERROR(statement, code)               \
  do {                                                     \
    try {                                                  \
      statement;                                           \
      ADD_FAILURE() << "expected engine error " << (code); \
    } catch (const EStrataEngineError& error) {            \
      EXPECT_EQ(error.Code, (code)) << error.what();       \
      EXPECT_EQ(error.ContextTable, "Banner");             \
    }                                                      \
  } while (0)

std::vector<uint8_t> Pattern(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 31 + seed * 17 + i / 7));
  return bytes;
}

class BlobFileTest : public ::testing::Test {
 protected:
  std::unique_ptr<TBlobFile> Make() {
    auto file = std::make_unique<TBlobFile>(settings_);
    file->SetTableName("Banner");
    return file;
  }
  std::unique_ptr<TBlobFile> CreateFile(uint32_t block_size = 512, bool encrypted = false) {
    auto file = Make();
    file->Create(path_, block_size, encrypted);
    file->Flush(false);
    return file;
  }
  std::unique_ptr<TBlobFile> OpenFile(uint32_t block_size = 512, bool encrypted = false) {
    auto file = Make();
    file->Open(path_, false, false, false, block_size, encrypted);
    return file;
  }

  std::vector<uint8_t> DiskBytes() {
    std::ifstream in(path_, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }
  void Patch(uint64_t offset, const std::vector<uint8_t>& bytes) {
    std::fstream io(path_, std::ios::binary | std::ios::in | std::ios::out);
    io.seekp(static_cast<std::streamoff>(offset));
    io.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  }
  void PatchU32(uint64_t offset, uint32_t value) {
    std::vector<uint8_t> bytes(4);
    PutU32(bytes.data(), value);
    Patch(offset, bytes);
  }

  // Every block belongs to exactly one live chain or to the free chain, and
  // each chain is linked both ways with full blocks before its last one.
  void CheckBlocks(TBlobFile& file,
                   const std::map<uint32_t, std::pair<uint32_t, std::vector<uint8_t>>>& live) {
    std::set<uint32_t> seen;
    const uint32_t data_size = file.BlockSize() - 18;
    for (const auto& [row, entry] : live) {
      const auto& [first, value] = entry;
      ASSERT_EQ(file.ReadValue(first, row), value) << "row " << row;
      if (value.empty()) {
        EXPECT_EQ(first, 0u);
        continue;
      }
      std::vector<uint32_t> chain = file.ValueChain(first, row);
      ASSERT_EQ(chain.size(), (value.size() + data_size - 1) / data_size);
      for (size_t i = 0; i < chain.size(); ++i) {
        EXPECT_TRUE(seen.insert(chain[i]).second) << "block " << chain[i] << " used twice";
        TBlockHeader header = file.BlockHeader(chain[i]);
        EXPECT_EQ(header.Prev, i == 0 ? 0 : chain[i - 1]);
        EXPECT_EQ(header.TotalLength, i == 0 ? value.size() : 0);
        EXPECT_EQ(header.Used, i + 1 < chain.size() ? data_size : value.size() - i * data_size);
      }
    }
    for (uint32_t free_block : file.FreeChain()) {
      EXPECT_TRUE(seen.insert(free_block).second) << "free block " << free_block << " in use";
    }
    EXPECT_EQ(seen.size(), file.BlockCount());
  }

  void RunChurn(uint32_t seed);

  TEngineSettings settings_;
  testing::TTempDir dir_;
  std::string path_ = dir_.File("Banner.BLB");
};

TEST_F(BlobFileTest, FreshFileHasOnlyAHeader) {
  auto file = Make();
  file->Create(path_, 0);  // 0 means 512
  EXPECT_EQ(file->BlockSize(), 512u);
  EXPECT_TRUE(file->HeaderModified());
  EXPECT_EQ(DiskBytes().size(), 0u);  // written at the next flush
  EXPECT_TRUE(file->Flush(false));
  std::vector<uint8_t> disk = DiskBytes();
  ASSERT_EQ(disk.size(), 512u);
  EXPECT_EQ(GetU32(&disk[0]), 1u);   // change counter
  EXPECT_EQ(disk[8], 5);             // version
  EXPECT_EQ(GetU32(&disk[9]), 0u);   // free chain head
  EXPECT_EQ(GetU32(&disk[13]), 1u);  // next block
  EXPECT_EQ(disk[17], 1);            // written after a change
  EXPECT_FALSE(file->Flush(false));  // nothing left to write
  EXPECT_TRUE(file->Flush(true));
  EXPECT_EQ(GetU32(&DiskBytes()[0]), 2u);
  EXPECT_EQ(DiskBytes()[17], 0);  // a forced write of an unchanged header
  file->Close();

  auto reopened = OpenFile();
  reopened->Verify();
  EXPECT_EQ(reopened->ChangeCounter(), 2u);
  EXPECT_EQ(reopened->BlockCount(), 0u);
}

TEST_F(BlobFileTest, RefusesBlockSizesOutsideTheFormat) {
  auto file = Make();
  EXPECT_ENGINE_ERROR(file->Create(path_, 63), STRATA_BLOBLIMIT);
  EXPECT_ENGINE_ERROR(file->Create(path_, 65554), STRATA_BLOBLIMIT);
  file->Create(path_, 64);
  file->Create(path_, 65553);
}

TEST_F(BlobFileTest, ThousandBytesTakeThreeBlocksOnDisk) {
  std::vector<uint8_t> value = Pattern(1000, 1);
  {
    auto file = CreateFile(512);
    EXPECT_EQ(file->WriteValue(0, 7, value), 1u);
    file->Flush(true);
  }
  std::vector<uint8_t> disk = DiskBytes();
  ASSERT_EQ(disk.size(), 512u + 3 * 512);
  EXPECT_EQ(GetU32(&disk[13]), 4u);  // next block
  EXPECT_EQ(GetU32(&disk[9]), 0u);

  // Block 1 at 512: prev 0, next 2, 494 bytes used, row 7, total 1000.
  EXPECT_EQ(
      std::vector<uint8_t>(disk.begin() + 512, disk.begin() + 530),
      (std::vector<uint8_t>{0, 0, 0, 0, 2, 0, 0, 0, 0xEE, 0x01, 7, 0, 0, 0, 0xE8, 0x03, 0, 0}));
  // Block 2 at 1024: prev 1, next 3, 494 bytes, row 7, total 0.
  EXPECT_EQ(std::vector<uint8_t>(disk.begin() + 1024, disk.begin() + 1042),
            (std::vector<uint8_t>{1, 0, 0, 0, 3, 0, 0, 0, 0xEE, 0x01, 7, 0, 0, 0, 0, 0, 0, 0}));
  // Block 3 at 1536: prev 2, next 0, 12 bytes, row 7, total 0.
  EXPECT_EQ(std::vector<uint8_t>(disk.begin() + 1536, disk.begin() + 1554),
            (std::vector<uint8_t>{2, 0, 0, 0, 0, 0, 0, 0, 12, 0, 7, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(std::equal(value.begin(), value.begin() + 494, disk.begin() + 530));
  EXPECT_TRUE(std::equal(value.begin() + 494, value.begin() + 988, disk.begin() + 1042));
  EXPECT_TRUE(std::equal(value.begin() + 988, value.end(), disk.begin() + 1554));
  EXPECT_TRUE(std::all_of(disk.begin() + 1566, disk.end(), [](uint8_t b) { return b == 0; }));

  auto file = OpenFile(512);
  file->Verify();
  EXPECT_EQ(file->ReadValue(1, 7), value);
}

TEST_F(BlobFileTest, ShrinkingFreesTheTailWhichIsReusedInReverseOrder) {
  auto file = CreateFile(512);
  uint32_t first = file->WriteValue(0, 7, Pattern(1000, 2));
  ASSERT_EQ(first, 1u);
  EXPECT_EQ(file->WriteValue(first, 7, Pattern(100, 3)), 1u);  // the first block stays
  EXPECT_EQ(file->BlockHeader(1).Next, 0u);
  EXPECT_EQ(file->BlockHeader(1).TotalLength, 100u);
  EXPECT_EQ(file->FreeChain(), (std::vector<uint32_t>{3, 2}));  // 2 freed first, then 3

  EXPECT_EQ(file->WriteValue(0, 8, Pattern(10, 4)), 3u);
  EXPECT_EQ(file->WriteValue(0, 9, Pattern(10, 5)), 2u);
  EXPECT_EQ(file->WriteValue(0, 10, Pattern(10, 6)), 4u);  // free chain empty: append
  EXPECT_EQ(file->FreeChainHead(), 0u);
  EXPECT_EQ(file->ReadValue(1, 7), Pattern(100, 3));
  EXPECT_EQ(file->ReadValue(3, 8), Pattern(10, 4));
  EXPECT_EQ(file->ReadValue(2, 9), Pattern(10, 5));
  // A reused block comes back clean: no trace of the old chain.
  EXPECT_EQ(file->BlockHeader(3).Prev, 0u);
  EXPECT_EQ(file->BlockHeader(3).Next, 0u);
}

TEST_F(BlobFileTest, GrowingFollowsTheOldChainAndAppends) {
  auto file = CreateFile(128);                            // 110 data bytes per block
  uint32_t a = file->WriteValue(0, 1, Pattern(200, 1));   // blocks 1, 2
  uint32_t b = file->WriteValue(0, 2, Pattern(50, 2));    // block 3
  EXPECT_EQ(file->WriteValue(a, 1, Pattern(500, 3)), a);  // 1, 2, then 4, 5, 6
  EXPECT_EQ(file->ValueChain(a, 1), (std::vector<uint32_t>{1, 2, 4, 5, 6}));
  EXPECT_EQ(file->ReadValue(a, 1), Pattern(500, 3));
  EXPECT_EQ(file->ReadValue(b, 2), Pattern(50, 2));
}

TEST_F(BlobFileTest, EmptyValuesHaveNoBlocks) {
  auto file = CreateFile(512);
  uint32_t counter = file->ChangeCounter();
  EXPECT_EQ(file->WriteValue(0, 5, {}), 0u);
  EXPECT_EQ(file->BlockCount(), 0u);
  EXPECT_FALSE(file->HeaderModified());
  EXPECT_TRUE(file->ReadValue(0, 5).empty());

  uint32_t first = file->WriteValue(0, 5, Pattern(1200, 1));
  EXPECT_EQ(file->WriteValue(first, 5, {}), 0u);  // the old chain is freed
  EXPECT_EQ(file->FreeChain().size(), 3u);
  file->Flush(false);
  EXPECT_EQ(file->ChangeCounter(), counter + 1);
}

TEST_F(BlobFileTest, BlocksOfAnotherRowGive8708) {
  auto file = CreateFile(512);
  uint32_t first = file->WriteValue(0, 7, Pattern(1000, 1));
  file->Flush(true);
  EXPECT_ENGINE_ERROR(file->ReadValue(first, 8), STRATA_KEYORRECDELETED);
  EXPECT_ENGINE_ERROR(file->ValueChain(first, 8), STRATA_KEYORRECDELETED);

  // Writing through a reference to someone else's chain must not touch it.
  uint32_t counter = file->ChangeCounter();
  EXPECT_ENGINE_ERROR(file->WriteValue(first, 8, Pattern(10, 2)), STRATA_KEYORRECDELETED);
  EXPECT_FALSE(file->Flush(false));
  EXPECT_EQ(file->ChangeCounter(), counter);
  EXPECT_EQ(file->ReadValue(first, 7), Pattern(1000, 1));

  // A continuation block of another row: STRATA_KEYORRECDELETED (8708) while
  // reading.
  file->Close();
  PatchU32(512 + 512 + 10, 99);  // row number of block 2
  auto reopened = OpenFile(512);
  EXPECT_ENGINE_ERROR(reopened->ReadValue(first, 7), STRATA_KEYORRECDELETED);
}

TEST_F(BlobFileTest, FreeingChecksRowNumbersUnlessOverwriting) {
  auto file = CreateFile(512);
  uint32_t first = file->WriteValue(0, 7, Pattern(1000, 1));
  EXPECT_ENGINE_ERROR(file->FreeValue(first, 8), STRATA_MEMOCORRUPT);
  EXPECT_EQ(file->FreeChainHead(), 0u);  // nothing freed
  file->FreeValue(first, 8, true);
  EXPECT_EQ(file->FreeChain(), (std::vector<uint32_t>{3, 2, 1}));
  // A stale reference to the freed chain no longer passes for a value.
  EXPECT_ENGINE_ERROR(file->ReadValue(first, 7), STRATA_KEYORRECDELETED);
}

TEST_F(BlobFileTest, BrokenChainsGive8963AndShortChains8711) {
  {
    auto file = CreateFile(512);
    file->WriteValue(0, 7, Pattern(1000, 1));
  }  // closing flushes
  {
    auto file = OpenFile(512);
    EXPECT_ENGINE_ERROR(file->ReadValue(0x7FFF, 7), STRATA_MEMOCORRUPT);  // beyond the file
  }
  PatchU32(512 + 4, 99);  // block 1's next link leaves the file
  {
    auto file = OpenFile(512);
    EXPECT_ENGINE_ERROR(file->ReadValue(1, 7), STRATA_MEMOCORRUPT);
    EXPECT_ENGINE_ERROR(file->WriteValue(1, 7, Pattern(5, 1)), STRATA_MEMOCORRUPT);
    EXPECT_ENGINE_ERROR(file->FreeValue(1, 7), STRATA_MEMOCORRUPT);
  }
  PatchU32(512 + 4, 2);
  PatchU32(1024 + 4, 1);  // block 2 links back to block 1: a loop
  {
    auto file = OpenFile(512);
    EXPECT_ENGINE_ERROR(file->ReadValue(1, 7), STRATA_MEMOCORRUPT);
    EXPECT_ENGINE_ERROR(file->FreeValue(1, 7), STRATA_MEMOCORRUPT);
  }
  PatchU32(1024 + 4, 0);  // the chain ends after block 2: 988 of 1000 bytes
  {
    auto file = OpenFile(512);
    EXPECT_ENGINE_ERROR(file->ReadValue(1, 7), STRATA_ENDOFBLOB);
  }
  PatchU32(1024 + 4, 3);
  PatchU32(512 + 14, 0xFFFFFFF0);  // a total length no chain of this file could hold
  {
    auto file = OpenFile(512);
    EXPECT_ENGINE_ERROR(file->ReadValue(1, 7), STRATA_ENDOFBLOB);
  }
}

TEST_F(BlobFileTest, AFirstBlockWithATotalLengthOfZeroReadsAsAnEmptyValue) {
  {
    auto file = CreateFile(512);
    file->WriteValue(0, 7, Pattern(1000, 1));
  }
  PatchU32(512 + 14, 0);  // a damaged total length: nothing to copy
  auto file = OpenFile(512);
  EXPECT_TRUE(file->ReadValue(1, 7).empty());
}

TEST_F(BlobFileTest, BlockRequestsBeyondTheDataAreaGive10029) {
  auto file = CreateFile(512);
  file->WriteValue(0, 7, Pattern(600, 1));
  std::vector<uint8_t> value = Pattern(600, 1);
  EXPECT_EQ(file->BlockData(1, 494), std::vector<uint8_t>(value.begin(), value.begin() + 494));
  EXPECT_ENGINE_ERROR(file->BlockData(1, 495), STRATA_INVALIDBLOBLEN);
}

TEST_F(BlobFileTest, AppendingStopsAtFourBillionBytes) {
  CreateFile(512)->Close();
  PatchU32(13, 7812500);  // block 7812500 would end at 4,000,000,512
  auto file = OpenFile(512);
  EXPECT_ENGINE_ERROR(file->WriteValue(0, 1, Pattern(10, 1)), STRATA_TABLEFULL);
  file->Close();
  PatchU32(13, 7812499);  // room for one more block, ending at 4,000,000,000
  file = OpenFile(512);
  // Two blocks do not fit: refused before anything changes.
  EXPECT_ENGINE_ERROR(file->WriteValue(0, 1, Pattern(600, 1)), STRATA_TABLEFULL);
  EXPECT_FALSE(file->HeaderModified());
  EXPECT_EQ(file->BlockCount(), 7812498u);
  EXPECT_EQ(file->Cache().Size(), 0u);
}

TEST_F(BlobFileTest, VerifyChecksVersionFreeChainAndLength) {
  {
    auto file = CreateFile(512);
    file->WriteValue(0, 1, Pattern(1000, 1));
  }
  OpenFile()->Verify();
  Patch(8, {4});
  EXPECT_ENGINE_ERROR(OpenFile()->Verify(), STRATA_OLDVERSION);
  Patch(8, {5});
  PatchU32(9, 4);  // free chain head beyond the 3 blocks
  EXPECT_ENGINE_ERROR(OpenFile()->Verify(), STRATA_HEADERCORRUPT);
  PatchU32(9, 3);
  OpenFile()->Verify();
  PatchU32(13, 1);  // no blocks, but a free chain head
  EXPECT_ENGINE_ERROR(OpenFile()->Verify(), STRATA_HEADERCORRUPT);
  PatchU32(9, 0);
  PatchU32(13, 5);  // four blocks counted, three on disk
  EXPECT_ENGINE_ERROR(OpenFile()->Verify(), STRATA_HEADERCORRUPT);
}

// Random writes, rewrites and frees of values of up to ~110 blocks, checked
// against a model of the live values.
void BlobFileTest::RunChurn(uint32_t seed) {
  std::mt19937 random(seed);
  auto file = CreateFile(128);
  std::map<uint32_t, std::pair<uint32_t, std::vector<uint8_t>>> live;
  uint32_t peak_blocks_needed = 0;
  for (int step = 0; step < 800; ++step) {
    uint32_t row = 1 + random() % 30;
    auto& [first, value] = live[row];
    switch (random() % 6) {
      case 0:  // free
        file->FreeValue(first, row);
        first = 0;
        value.clear();
        break;
      case 1:  // empty
        value.clear();
        first = file->WriteValue(first, row, value);
        break;
      default: {
        size_t size = random() % 4 == 0 ? random() % 12000 : random() % 800;
        value = Pattern(size, random());
        first = file->WriteValue(first, row, value);
      }
    }
    uint32_t needed = 0;
    for (const auto& [r, entry] : live) needed += (entry.second.size() + 109) / 110;
    peak_blocks_needed = std::max(peak_blocks_needed, needed);
    if (step % 97 == 0) file->Flush(true);
    if (step % 211 == 0) {
      file->Close();
      file = OpenFile(128);
      file->Verify();
    }
    if (step % 50 == 0) CheckBlocks(*file, live);
    if (HasFatalFailure()) return;
  }
  CheckBlocks(*file, live);
  // Freed blocks are reused: the file never holds more than the live peak.
  EXPECT_LE(file->BlockCount(), peak_blocks_needed);
  for (auto& [row, entry] : live) {
    file->FreeValue(entry.first, row);
    entry = {0, {}};
  }
  CheckBlocks(*file, live);
  EXPECT_EQ(file->FreeChain().size(), file->BlockCount());
}

TEST_F(BlobFileTest, ValuesSpanningManyBlocksGrowShrinkAndAreFreed) { RunChurn(1234); }

TEST_F(BlobFileTest, ValuesSpanningManyBlocksWithATinyCache) {
  settings_.BlockCacheBytes = 3 * 128;
  settings_.ReadAheadBytes = 8 * 128;
  RunChurn(99);
}

TEST_F(BlobFileTest, ACacheSmallerThanTheValueStillWorks) {
  settings_.BlockCacheBytes = 2 * 128;  // two blocks
  settings_.ReadAheadBytes = 5 * 128;
  auto file = CreateFile(128);
  EXPECT_EQ(file->Cache().NominalCapacity(), 2u);
  std::vector<uint8_t> big = Pattern(50 * 110 + 3, 1);
  uint32_t first = file->WriteValue(0, 1, big);
  EXPECT_LE(file->Cache().Size(), 2u);  // evicting meant writing modified blocks
  uint32_t other = file->WriteValue(0, 2, Pattern(700, 2));
  EXPECT_EQ(file->ReadValue(first, 1), big);
  big.resize(20 * 110);
  EXPECT_EQ(file->WriteValue(first, 1, big), first);
  file->Flush(true);
  file->Close();

  auto reopened = OpenFile(128);
  EXPECT_EQ(reopened->ReadValue(first, 1), big);
  EXPECT_EQ(reopened->ReadValue(other, 2), Pattern(700, 2));
  std::map<uint32_t, std::pair<uint32_t, std::vector<uint8_t>>> live = {
      {1, {first, big}}, {2, {other, Pattern(700, 2)}}};
  CheckBlocks(*reopened, live);
}

TEST_F(BlobFileTest, ReadsAheadAlongAChainAndWritesInRuns) {
  {
    auto file = CreateFile(512);
    file->WriteValue(0, 1, Pattern(494 * 2, 1));  // blocks 1, 2
    file->WriteValue(0, 2, Pattern(494 * 2, 2));  // blocks 3, 4
    file->WriteValue(0, 3, Pattern(494 * 2, 3));  // blocks 5, 6
    uint64_t writes = file->Stats().Writes;
    file->Flush(false);
    EXPECT_EQ(file->Stats().Writes - writes, 2u);  // blocks 1..6 in one run, then the header

    file->WriteValue(1, 1, Pattern(494 * 2, 4));
    file->WriteValue(5, 3, Pattern(494 * 2, 5));
    writes = file->Stats().Writes;
    file->Flush(false);
    EXPECT_EQ(file->Stats().Writes - writes, 2u);  // runs 1..2 and 5..6; the header is unchanged
  }
  auto file = OpenFile(512);
  EXPECT_EQ(file->ReadAheadCount(), 32u);
  EXPECT_EQ(file->ReadValue(1, 1), Pattern(494 * 2, 4));
  EXPECT_EQ(file->ReadValue(3, 2), Pattern(494 * 2, 2));
  EXPECT_EQ(file->ReadValue(5, 3), Pattern(494 * 2, 5));
  EXPECT_EQ(file->Stats().Reads, 1u);  // one run brought all six blocks
  EXPECT_EQ(file->Cache().Size(), 6u);

  settings_.ReadAheadBytes = 0;  // still one block at a time
  auto single = OpenFile(512);
  EXPECT_EQ(single->ReadAheadCount(), 1u);
  single->ReadValue(1, 1);
  EXPECT_EQ(single->Stats().Reads, 2u);
}

TEST_F(BlobFileTest, TransactionsHoldChangesUntilCommit) {
  auto file = CreateFile(512);
  uint32_t kept = file->WriteValue(0, 1, Pattern(600, 1));
  file->Flush(true);
  std::vector<uint8_t> before = DiskBytes();
  uint32_t counter = file->ChangeCounter();

  file->SetInTransaction(true);
  uint32_t added = file->WriteValue(0, 2, Pattern(3000, 2));
  file->WriteValue(kept, 1, {});
  EXPECT_FALSE(file->Flush(true));
  EXPECT_EQ(file->ChangeCounter(), counter + 1);  // advanced in memory only
  EXPECT_EQ(DiskBytes(), before);
  EXPECT_FALSE(file->DetectChange());  // our own pending counter is no change
  EXPECT_EQ(file->ReadValue(added, 2), Pattern(3000, 2));

  file->DiscardChanges();  // rollback
  file->SetInTransaction(false);
  EXPECT_EQ(file->ChangeCounter(), counter);
  EXPECT_EQ(file->BlockCount(), 2u);
  EXPECT_EQ(file->FreeChainHead(), 0u);
  EXPECT_EQ(file->ReadValue(kept, 1), Pattern(600, 1));

  file->SetInTransaction(true);
  added = file->WriteValue(0, 2, Pattern(3000, 3));
  EXPECT_FALSE(file->Flush(true));
  file->SetInTransaction(false);  // commit
  EXPECT_TRUE(file->Flush(true));
  file->Close();
  auto reopened = OpenFile(512);
  EXPECT_GT(reopened->ChangeCounter(), counter);
  EXPECT_EQ(reopened->ReadValue(added, 2), Pattern(3000, 3));
  EXPECT_EQ(reopened->ReadValue(kept, 1), Pattern(600, 1));
}

TEST_F(BlobFileTest, ATransactionLargerThanTheCacheGrowsIt) {
  settings_.BlockCacheBytes = 4 * 128;
  auto file = CreateFile(128);
  file->SetInTransaction(true);
  uint32_t first = file->WriteValue(0, 1, Pattern(100 * 110, 1));
  EXPECT_GE(file->Cache().Size(), 100u);  // nothing may be written yet
  EXPECT_EQ(DiskBytes().size(), 512u);
  file->SetInTransaction(false);
  file->Flush(true);
  EXPECT_EQ(file->Cache().Size(), 4u);  // trimmed back after the flush
  EXPECT_EQ(DiskBytes().size(), 512u + 100 * 128);
  EXPECT_EQ(file->ReadValue(first, 1), Pattern(100 * 110, 1));
}

TEST_F(BlobFileTest, DetectsWritesOfAnotherProcess) {
  auto file = CreateFile(512);
  uint32_t first = file->WriteValue(0, 1, Pattern(800, 1));
  file->Flush(true);
  EXPECT_FALSE(file->DetectChange());  // our own write is no change
  EXPECT_EQ(file->ReadValue(first, 1), Pattern(800, 1));

  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int status = 0;
    try {
      TBlobFile other(settings_);
      other.Open(path_, false, false, false, 512);
      other.WriteValue(first, 1, Pattern(2000, 9));
      other.WriteValue(0, 2, Pattern(100, 8));
      other.Flush(true);
      other.Close();
    } catch (...) {
      status = 1;
    }
    _exit(status);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  EXPECT_TRUE(file->DetectChange());
  EXPECT_EQ(file->Cache().Size(), 0u);
  EXPECT_EQ(file->BlockCount(), 6u);
  EXPECT_EQ(file->ReadValue(first, 1), Pattern(2000, 9));
  EXPECT_EQ(file->ReadValue(6, 2), Pattern(100, 8));
  EXPECT_FALSE(file->DetectChange());
}

TEST_F(BlobFileTest, EncryptedFilesAreStoredScrambled) {
  std::vector<uint8_t> value = Pattern(700, 1);
  {
    auto file = CreateFile(512, true);
    file->WriteValue(0, 3, value);
  }
  std::vector<uint8_t> disk = DiskBytes();
  ASSERT_EQ(disk.size(), 512u + 2 * 512);
  Scramble(disk.data(), 512, kRecordSeed);
  Scramble(disk.data() + 512, 512, kRecordSeed);
  Scramble(disk.data() + 1024, 512, kRecordSeed);
  EXPECT_EQ(disk[8], 5);
  EXPECT_EQ(GetU32(&disk[13]), 3u);
  EXPECT_EQ(GetU32(&disk[512 + 14]), 700u);
  EXPECT_TRUE(std::equal(value.begin(), value.begin() + 494, disk.begin() + 530));
  EXPECT_NE(DiskBytes()[8], 5);  // not readable as is

  auto file = OpenFile(512, true);
  file->Verify();
  EXPECT_EQ(file->ReadValue(1, 3), value);
  EXPECT_FALSE(file->DetectChange());
}

TEST_F(BlobFileTest, AnEncryptedFileChangesForAnotherHandleOnlyWithItsCounter) {
  auto writer = CreateFile(512, true);
  const uint32_t first = writer->WriteValue(0, 1, Pattern(900, 1));
  writer->Flush(true);
  auto reader = OpenFile(512, true);
  EXPECT_FALSE(reader->DetectChange());
  EXPECT_EQ(reader->ReadValue(first, 1), Pattern(900, 1));
  const uint32_t second = writer->WriteValue(0, 2, Pattern(1500, 2));
  writer->Flush(true);
  EXPECT_TRUE(reader->DetectChange());
  EXPECT_FALSE(reader->DetectChange());
  EXPECT_EQ(reader->BlockCount(), writer->BlockCount());
  EXPECT_EQ(reader->ReadValue(second, 2), Pattern(1500, 2));
}

TEST_F(BlobFileTest, EmptyingDropsEveryBlockAndKeepsTheCounterRunning) {
  auto file = CreateFile(512);
  file->WriteValue(0, 1, Pattern(5000, 1));
  file->Flush(true);
  uint32_t counter = file->ChangeCounter();
  file->Empty();
  EXPECT_EQ(file->BlockCount(), 0u);
  EXPECT_EQ(file->FreeChainHead(), 0u);
  EXPECT_EQ(DiskBytes().size(), 512u);
  file->Flush(false);
  EXPECT_GT(file->ChangeCounter(), counter);
  EXPECT_EQ(file->WriteValue(0, 2, Pattern(10, 2)), 1u);
  file->Close();
  auto reopened = OpenFile(512);
  reopened->Verify();
  EXPECT_EQ(reopened->ReadValue(1, 2), Pattern(10, 2));
}

TEST_F(BlobFileTest, InMemoryFilesAreSharedWithinTheProcess) {
  const std::string path = "MEMORY/BlobTest.BLB";
  TBlobFile writer(settings_);
  writer.Create(path, 256, false, true);
  uint32_t first = writer.WriteValue(0, 1, Pattern(1000, 1));
  writer.Flush(true);
  {
    TBlobFile reader(settings_);
    reader.Open(path, true, false, false, 256);
    reader.Verify();
    EXPECT_EQ(reader.ReadValue(first, 1), Pattern(1000, 1));
    writer.WriteValue(first, 1, Pattern(300, 2));
    writer.Flush(true);
    EXPECT_TRUE(reader.DetectChange());
    EXPECT_EQ(reader.ReadValue(first, 1), Pattern(300, 2));
  }
  writer.Close();
  TFileHandler::DeleteFile(path, true);
}

TEST_F(BlobFileTest, ReadOnlyFilesReadButRefuseToWrite) {
  {
    auto file = CreateFile(512);
    file->WriteValue(0, 1, Pattern(100, 1));
  }
  auto file = Make();
  file->Open(path_, false, false, true, 512);
  EXPECT_EQ(file->ReadValue(1, 1), Pattern(100, 1));
  file->WriteValue(1, 1, Pattern(50, 2));                    // only the cache changes ...
  EXPECT_ENGINE_ERROR(file->Flush(false), STRATA_OSEACCES);  // ... the file does not
  file->DiscardChanges();
  EXPECT_EQ(file->ReadValue(1, 1), Pattern(100, 1));
}

TEST_F(BlobFileTest, ErrorsNameTheTable) {
  auto file = CreateFile(512);
  try {
    file->ReadValue(1, 1);
    FAIL();
  } catch (const EStrataEngineError& error) {
    EXPECT_EQ(std::string(error.what()),
              "Strata Engine Error # 8963 BLOB block buffers corrupt in the table 'Banner'");
  }
}

}  // namespace
}  // namespace strata
