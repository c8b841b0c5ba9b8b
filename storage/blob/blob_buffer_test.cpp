#include "storage/blob/blob_buffer.h"

#include <gtest/gtest.h>

#include <string>

#include "storage/blob/blob_file.h"
#include "storage/engine_error.h"
#include "storage/test_temp_dir.h"

namespace strata {
namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

uint16_t ErrorCode(const std::function<void()>& action) {
  try {
    action();
  } catch (const EStrataEngineError& error) {
    EXPECT_EQ(error.ContextTable, "Links");
    return error.Code;
  }
  return 0;
}

TEST(BlobBufferTest, ReadsWritesAndTruncatesInMemory) {
  TBlobBuffer buffer("Links", 0, 1);
  EXPECT_EQ(buffer.Size(), 0u);
  EXPECT_FALSE(buffer.Modified());
  buffer.Write(0, Bytes("hello"));
  buffer.Write(5, Bytes(" world"));
  buffer.Write(1, Bytes("E"));
  EXPECT_TRUE(buffer.Modified());
  EXPECT_EQ(buffer.Bytes(), Bytes("hEllo world"));
  EXPECT_EQ(buffer.Read(6, 100), Bytes("world"));  // cut at the end
  EXPECT_TRUE(buffer.Read(11, 4).empty());
  uint8_t raw[3];
  EXPECT_EQ(buffer.Read(2, 3, raw), 3u);
  EXPECT_EQ(std::string(raw, raw + 3), "llo");

  EXPECT_EQ(ErrorCode([&] { buffer.Read(12, 1); }), STRATA_INVALIDBLOBOFFSET);
  EXPECT_EQ(ErrorCode([&] { buffer.Write(12, Bytes("x")); }), STRATA_INVALIDBLOBOFFSET);
  EXPECT_EQ(ErrorCode([&] { buffer.Truncate(12); }), STRATA_INVALIDBLOBOFFSET);
  EXPECT_EQ(ErrorCode([&] { buffer.Write(0xFFFFFFFF, {}); }), STRATA_INVALIDBLOBOFFSET);
  buffer.Truncate(5);
  EXPECT_EQ(buffer.Bytes(), Bytes("hEllo"));

  buffer.Revert();  // back to the (empty) value as read
  EXPECT_EQ(buffer.Size(), 0u);
  EXPECT_FALSE(buffer.Modified());
}

TEST(BlobBufferTest, CountsReferences) {
  TBlobBuffer buffer("Links", 0, 1);
  EXPECT_EQ(buffer.References(), 1);
  EXPECT_EQ(buffer.AddRef(), 2);
  EXPECT_EQ(buffer.Release(), 1);
}

class BlobBufferFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_.SetTableName("Links");
    file_.Create(dir_.File("Links.BLB"), 128);
    file_.Flush(false);
  }
  void TearDown() override { file_.Close(); }

  TEngineSettings settings_;
  testing::TTempDir dir_;
  TBlobFile file_{settings_};
};

TEST_F(BlobBufferFileTest, PostWritesChangedValuesAndLoadReadsThemBack) {
  TBlobBuffer buffer("Links", 0, 42);
  std::vector<uint8_t> gif(1000, 0x47);
  buffer.Write(0, gif);
  uint32_t first = buffer.Post(file_);
  EXPECT_NE(first, 0u);
  EXPECT_EQ(buffer.FirstBlock(), first);
  EXPECT_FALSE(buffer.Modified());

  TBlobBuffer loaded("Links", first, 42);
  loaded.Load(file_);
  EXPECT_EQ(loaded.Bytes(), gif);
  loaded.Write(990, Bytes("0123456789ABC"));
  EXPECT_EQ(loaded.Size(), 1003u);
  EXPECT_EQ(loaded.Post(file_), first);
  buffer.Load(file_);
  EXPECT_EQ(buffer.Read(998, 10), Bytes("89ABC"));
}

TEST_F(BlobBufferFileTest, UnchangedValuesAreNotWritten) {
  TBlobBuffer buffer("Links", 0, 7);
  buffer.Write(0, Bytes("abc"));
  uint32_t first = buffer.Post(file_);
  file_.Flush(true);
  uint32_t blocks = file_.BlockCount();

  TBlobBuffer same("Links", first, 7);
  same.Load(file_);
  EXPECT_EQ(same.Post(file_), first);  // never modified
  same.Write(0, Bytes("abc"));         // modified, yet equal to the value as read
  EXPECT_TRUE(same.Modified());
  EXPECT_FALSE(same.Changed());
  EXPECT_EQ(same.Post(file_), first);
  EXPECT_FALSE(file_.HeaderModified());
  EXPECT_FALSE(file_.Flush(false));  // nothing to write
  EXPECT_EQ(file_.BlockCount(), blocks);
}

TEST_F(BlobBufferFileTest, EmptyingOrFreeingReleasesTheChain) {
  TBlobBuffer buffer("Links", 0, 9);
  buffer.Write(0, std::vector<uint8_t>(500, 1));
  uint32_t first = buffer.Post(file_);
  buffer.Truncate(0);
  EXPECT_EQ(buffer.Post(file_), 0u);  // an empty value is stored as no value
  EXPECT_EQ(file_.FreeChain().size(), file_.BlockCount());

  buffer.Write(0, Bytes("again"));
  first = buffer.Post(file_);
  EXPECT_NE(first, 0u);
  buffer.Free(file_);
  EXPECT_EQ(buffer.FirstBlock(), 0u);
  EXPECT_EQ(buffer.Size(), 0u);
  EXPECT_EQ(file_.FreeChain().size(), file_.BlockCount());
}

TEST_F(BlobBufferFileTest, LoadingAnotherRowsValueFails) {
  TBlobBuffer buffer("Links", 0, 1);
  buffer.Write(0, Bytes("mine"));
  uint32_t first = buffer.Post(file_);
  TBlobBuffer stranger("Links", first, 2);
  EXPECT_EQ(ErrorCode([&] { stranger.Load(file_); }), STRATA_KEYORRECDELETED);
}

}  // namespace
}  // namespace strata
