#include "storage/file/memory_copy.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "storage/byte_order.h"
#include "storage/engine_error.h"
#include "storage/test_temp_dir.h"

namespace strata {
namespace {

uint16_t CodeOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const EStrataEngineError& error) {
    return error.Code;
  }
  return 0;
}

// Bytes that compress well in parts and not at all in others.
std::vector<uint8_t> SampleBytes(size_t size) {
  std::vector<uint8_t> bytes(size);
  std::mt19937 random(7);
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = (i / 1000) % 2 == 0 ? static_cast<uint8_t>(i % 7) : static_cast<uint8_t>(random());
  }
  return bytes;
}

std::vector<uint8_t> Contents(TFileHandler& file) {
  std::vector<uint8_t> bytes(static_cast<size_t>(file.Size()));
  file.ReadAt(0, bytes.data(), bytes.size());
  return bytes;
}

class MemoryCopy : public ::testing::Test {
 protected:
  void SetUp() override {
    disk_.CreateFile(temp_.File("Copy.DAT"), false);
    memory_.CreateFile("mem/Copy.DAT", true);
    back_.CreateFile("mem/Back.DAT", true);
  }
  void TearDown() override {
    memory_.CloseFile();
    back_.CloseFile();
    TFileHandler::DeleteFile("mem/Copy.DAT", true);
    TFileHandler::DeleteFile("mem/Back.DAT", true);
  }

  testing::TTempDir temp_;
  TFileHandler disk_, memory_, back_;
};

TEST_F(MemoryCopy, PlainRoundTripInChunks) {
  const std::vector<uint8_t> bytes = SampleBytes(3 * kCopyChunkSize + 123);
  memory_.WriteAt(0, bytes.data(), bytes.size());
  disk_.WriteAt(0, "stale contents that are longer", 30);
  CopyFromMemory(memory_, disk_, false, 20);
  EXPECT_EQ(Contents(disk_), bytes);
  CopyToMemory(disk_, back_, false, 20);
  EXPECT_EQ(Contents(back_), bytes);
}

TEST_F(MemoryCopy, CompressedRoundTripUsesLengthFramedChunks) {
  const std::vector<uint8_t> bytes = SampleBytes(2 * kCopyChunkSize + 5);
  memory_.WriteAt(0, bytes.data(), bytes.size());
  CopyFromMemory(memory_, disk_, true, 20);
  const std::vector<uint8_t> stream = Contents(disk_);
  // Three frames: walk them by their length prefixes to the exact end.
  size_t offset = 0, frames = 0;
  while (offset < stream.size()) {
    offset += 4 + GetU32(stream.data() + offset);
    ++frames;
  }
  EXPECT_EQ(offset, stream.size());
  EXPECT_EQ(frames, 3u);

  CopyToMemory(disk_, back_, true, 20);
  EXPECT_EQ(Contents(back_), bytes);
}

TEST_F(MemoryCopy, EmptyFileCopiesToEmptyStream) {
  CopyFromMemory(memory_, disk_, true, 20);
  EXPECT_EQ(disk_.Size(), 0u);
  back_.WriteAt(0, "x", 1);
  CopyToMemory(disk_, back_, true, 20);
  EXPECT_EQ(back_.Size(), 0u);
}

TEST_F(MemoryCopy, DamagedStreamsGive15002) {
  const std::vector<uint8_t> bytes = SampleBytes(kCopyChunkSize + 10);
  memory_.WriteAt(0, bytes.data(), bytes.size());
  CopyFromMemory(memory_, disk_, true, 20);
  std::vector<uint8_t> stream = Contents(disk_);

  auto load = [&](const std::vector<uint8_t>& damaged) {
    disk_.Truncate(0);
    disk_.WriteAt(0, damaged.data(), damaged.size());
    return CodeOf([&] { CopyToMemory(disk_, back_, true, 20); });
  };
  std::vector<uint8_t> flipped = stream;
  flipped[10] ^= 0xFF;  // inside the first compressed chunk
  EXPECT_EQ(load(flipped), STRATA_UNCOMPRESS);
  std::vector<uint8_t> cut(stream.begin(), stream.end() - 3);
  EXPECT_EQ(load(cut), STRATA_UNCOMPRESS);
  std::vector<uint8_t> bad_length = stream;
  PutU32(bad_length.data(), 0x7FFFFFFF);
  EXPECT_EQ(load(bad_length), STRATA_UNCOMPRESS);
  std::vector<uint8_t> zero_length = stream;
  PutU32(zero_length.data(), 0);
  EXPECT_EQ(load(zero_length), STRATA_UNCOMPRESS);
  std::vector<uint8_t> stray = stream;
  stray.push_back(1);  // a partial frame header after the last frame
  EXPECT_EQ(load(stray), STRATA_UNCOMPRESS);
  // An uncompressed file read as a stream is damaged as well.
  EXPECT_EQ(load(bytes), STRATA_UNCOMPRESS);
  EXPECT_EQ(load(stream), 0);
}

TEST_F(MemoryCopy, ProgressStepsByTheSessionSetting) {
  const std::vector<uint8_t> bytes(10 * kCopyChunkSize, 1);
  memory_.WriteAt(0, bytes.data(), bytes.size());
  std::vector<int> seen;
  CopyFromMemory(memory_, disk_, false, 20, [&](int percent) { seen.push_back(percent); });
  EXPECT_EQ(seen, (std::vector<int>{20, 40, 60, 80, 100}));
  seen.clear();
  CopyFromMemory(memory_, disk_, false, 25, [&](int percent) { seen.push_back(percent); });
  EXPECT_EQ(seen, (std::vector<int>{30, 60, 90}));  // 100 is only 10 beyond 90
  seen.clear();
  CopyFromMemory(memory_, disk_, true, 0, [&](int percent) { seen.push_back(percent); });
  EXPECT_EQ(seen.size(), 10u);
  EXPECT_EQ(seen.back(), 100);
}

}  // namespace
}  // namespace strata
