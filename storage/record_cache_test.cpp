#include "storage/record_cache.h"

#include <gtest/gtest.h>

#include <vector>

namespace strata {
namespace {

TEST(RecordCache, FindPromotesToTheFrontAndKeepsNumbersSorted) {
  TRecordCache cache;
  for (uint32_t n : {5u, 1u, 9u, 3u, 7u}) cache.Insert(nullptr, n, 16);
  EXPECT_EQ(cache.MruOrder(), (std::vector<uint32_t>{7, 3, 9, 1, 5}));
  std::vector<uint32_t> sorted;
  for (const auto& record : cache.Sorted()) sorted.push_back(record->RecordNumber);
  EXPECT_EQ(sorted, (std::vector<uint32_t>{1, 3, 5, 7, 9}));

  EXPECT_EQ(cache.Find(5)->RecordNumber, 5u);  // beyond the first four: searched
  EXPECT_EQ(cache.MruOrder(), (std::vector<uint32_t>{5, 7, 3, 9, 1}));
  EXPECT_EQ(cache.Find(3)->RecordNumber, 3u);
  EXPECT_EQ(cache.MruOrder(), (std::vector<uint32_t>{3, 5, 7, 9, 1}));
  EXPECT_EQ(cache.Find(4), nullptr);
  EXPECT_EQ(cache.Peek(9)->RecordNumber, 9u);
  EXPECT_EQ(cache.MruOrder().front(), 3u);  // peeking leaves the order
}

TEST(RecordCache, TrimEvictsFromTheLeastRecentlyUsedEnd) {
  TRecordCache cache;
  for (uint32_t n = 1; n <= 6; ++n) cache.Insert(nullptr, n, 16);  // MRU: 6 5 4 3 2 1
  cache.Find(1)->Modified = true;
  cache.Pin(cache.Find(2));  // MRU: 2 1 6 5 4 3
  cache.Trim(3);
  EXPECT_EQ(cache.MruOrder(), (std::vector<uint32_t>{2, 1, 6}));
  cache.Trim(0, cache.Peek(6));
  EXPECT_EQ(cache.MruOrder(), (std::vector<uint32_t>{2, 1, 6}));  // none of them may go
  cache.Peek(1)->Modified = false;
  cache.Trim(0);
  EXPECT_EQ(cache.MruOrder(), (std::vector<uint32_t>{2}));
  EXPECT_EQ(cache.Stack().Size(), 5u);
}

TEST(RecordCache, ClearDetachesPinnedRecordsUntilUnpinned) {
  TRecordCache cache;
  TRecord* pinned = cache.Insert(nullptr, 4, 16);
  pinned->Data()[0] = 42;
  cache.Pin(pinned);
  cache.Pin(pinned);
  cache.Insert(nullptr, 5, 16)->Modified = true;
  cache.Clear();
  EXPECT_EQ(cache.Count(), 0u);
  EXPECT_EQ(cache.Find(4), nullptr);
  EXPECT_EQ(cache.DetachedCount(), 1u);
  EXPECT_EQ(pinned->Data()[0], 42);
  cache.Unpin(pinned);
  EXPECT_EQ(cache.DetachedCount(), 1u);
  cache.Unpin(pinned);
  EXPECT_EQ(cache.DetachedCount(), 0u);
  // A new record for the same number is a fresh, zero-filled one.
  TRecord* again = cache.Insert(nullptr, 4, 16);
  EXPECT_EQ(again->Data()[0], 0);
  EXPECT_FALSE(again->Modified);
  EXPECT_EQ(again->PinCount, 0u);
}

TEST(RecordStack, KeepsAtMost64Spares) {
  TRecordStack stack;
  for (int i = 0; i < 70; ++i) stack.Push(std::make_unique<TRecord>());
  EXPECT_EQ(stack.Size(), 64u);
  std::unique_ptr<TRecord> record = stack.Pop(10);
  EXPECT_EQ(record->Buffer.size(), 10u);
  EXPECT_EQ(stack.Size(), 63u);
}

}  // namespace
}  // namespace strata
