#include "storage/blob/blob_cache.h"

#include <gtest/gtest.h>

namespace strata {
namespace {

const auto kNoWrite = [] { return false; };

TEST(BlockCacheTest, KeepsBlocksSortedAndMostRecentFirst) {
  TBlockCache cache;
  cache.Reset(64, 8);
  for (uint32_t n : {5u, 2u, 9u, 1u}) cache.Add(n, kNoWrite);
  std::vector<uint32_t> sorted;
  for (const auto& block : cache.Blocks()) sorted.push_back(block->Number);
  EXPECT_EQ(sorted, (std::vector<uint32_t>{1, 2, 5, 9}));
  EXPECT_EQ(cache.MruOrder(), (std::vector<uint32_t>{1, 9, 2, 5}));

  ASSERT_NE(cache.Find(5), nullptr);  // fourth in the chain: found by the probe
  EXPECT_EQ(cache.MruOrder(), (std::vector<uint32_t>{5, 1, 9, 2}));
  EXPECT_EQ(cache.Find(3), nullptr);
  EXPECT_EQ(cache.Hits(), 1u);
  EXPECT_EQ(cache.Peek(9)->Number, 9u);
  EXPECT_EQ(cache.MruOrder(), (std::vector<uint32_t>{5, 1, 9, 2}));  // Peek leaves the order
}

TEST(BlockCacheTest, FindsBlocksBehindTheProbeWindowByBinarySearch) {
  TBlockCache cache;
  cache.Reset(64, 16);
  for (uint32_t n = 1; n <= 10; ++n) cache.Add(n, kNoWrite);
  ASSERT_NE(cache.Find(1), nullptr);  // least recently used, tenth in the chain
  EXPECT_EQ(cache.MruOrder().front(), 1u);
  EXPECT_EQ(cache.MruOrder().size(), 10u);
}

TEST(BlockCacheTest, ReusesTheLeastRecentlyUsedUnpinnedCleanBlock) {
  TBlockCache cache;
  cache.Reset(64, 3);
  TBlock* one = cache.Add(1, kNoWrite);
  cache.Add(2, kNoWrite);
  TBlock* three = cache.Add(3, kNoWrite);
  one->Modified = true;
  TBlockPin pin(cache.Find(2));
  three->Bytes[0] = 0x55;
  TBlock* four = cache.Add(4, kNoWrite);  // 1 modified, 2 pinned: 3 goes
  EXPECT_EQ(four, three);                 // the object is reused ...
  EXPECT_EQ(four->Bytes[0], 0);           // ... zero-filled
  EXPECT_EQ(cache.Peek(3), nullptr);
  EXPECT_EQ(cache.Size(), 3u);
  EXPECT_EQ(cache.Capacity(), 3u);
}

TEST(BlockCacheTest, WritesModifiedBlocksWhenNothingElseCanGo) {
  TBlockCache cache;
  cache.Reset(64, 2);
  cache.Add(1, kNoWrite)->Modified = true;
  cache.Add(2, kNoWrite)->Modified = true;
  int calls = 0;
  cache.Add(3, [&] {
    ++calls;
    for (const auto& block : cache.Blocks()) block->Modified = false;
    return true;
  });
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(cache.Size(), 2u);
  EXPECT_EQ(cache.Peek(1), nullptr);  // the least recently used one went
}

TEST(BlockCacheTest, GrowsBy32WhenNothingCanBeReusedAndTrimsBack) {
  TBlockCache cache;
  cache.Reset(64, 2);
  TBlockPin a(cache.Add(1, kNoWrite));
  cache.Add(2, kNoWrite)->Modified = true;
  cache.Add(3, kNoWrite);  // the writer writes nothing (a transaction)
  EXPECT_EQ(cache.Capacity(), 2u + TBlockCache::kGrowth);
  EXPECT_EQ(cache.Size(), 3u);
  cache.Trim();  // 3 is clean and unpinned: it goes; 1 is pinned, 2 modified
  EXPECT_EQ(cache.Size(), 2u);
  EXPECT_EQ(cache.Capacity(), 2u);
  EXPECT_NE(cache.Peek(1), nullptr);
  EXPECT_NE(cache.Peek(2), nullptr);
}

TEST(BlockCacheTest, KeepsAtMost32Spares) {
  TBlockCache cache;
  cache.Reset(64, 100);
  for (uint32_t n = 1; n <= 40; ++n) cache.Add(n, kNoWrite);
  cache.Clear();
  EXPECT_EQ(cache.Size(), 0u);
  EXPECT_EQ(cache.SpareCount(), TBlockCache::kMaxSpareBlocks);
  EXPECT_TRUE(cache.MruOrder().empty());
  cache.Add(7, kNoWrite);
  EXPECT_EQ(cache.SpareCount(), TBlockCache::kMaxSpareBlocks - 1);
}

}  // namespace
}  // namespace strata
