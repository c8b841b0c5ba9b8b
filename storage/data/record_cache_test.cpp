#include "storage/data/record_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
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
  cache.MarkModified(cache.Find(1));
  cache.Pin(cache.Find(2));  // MRU: 2 1 6 5 4 3
  cache.Trim(3);
  EXPECT_EQ(cache.MruOrder(), (std::vector<uint32_t>{2, 1, 6}));
  cache.Trim(0, cache.Peek(6));
  EXPECT_EQ(cache.MruOrder(), (std::vector<uint32_t>{2, 1, 6}));  // none of them may go
  cache.MarkWritten(cache.Peek(1));
  cache.Trim(0);
  EXPECT_EQ(cache.MruOrder(), (std::vector<uint32_t>{2}));
  EXPECT_EQ(cache.Stack().Size(), 5u);
}

// Trims skip the unevictable records they passed over before (as inside a
// transaction, where every changed record stays cached); such records are
// still never evicted, and become evictable, oldest first, once written or
// unpinned.
TEST(RecordCache, RecordsPassedOverStayUntilWrittenOrUnpinned) {
  TRecordCache cache;
  for (uint32_t n = 1; n <= 8; ++n) cache.MarkModified(cache.Insert(nullptr, n, 16));
  cache.Pin(cache.Insert(nullptr, 9, 16));
  for (uint32_t n = 10; n <= 31; ++n) {
    TRecord* added = cache.Insert(nullptr, n, 16);
    cache.Trim(2, added);
    if (n % 2 == 0) cache.MarkModified(added);
    if (n < 31) cache.Trim(2);
  }
  // 1..9, the even ones from 10 on, and the last one (kept by its trim).
  for (uint32_t n = 1; n <= 31; ++n) {
    const bool kept = n <= 9 || n % 2 == 0 || n == 31;
    EXPECT_EQ(cache.Peek(n) != nullptr, kept) << n;
  }
  EXPECT_EQ(cache.Count(), 21u);

  cache.MarkWritten(cache.Peek(20));
  cache.MarkWritten(cache.Peek(5));
  cache.Trim(20);  // of the evictable 5, 20 and 31, the longest unused goes
  EXPECT_EQ(cache.Peek(5), nullptr);
  EXPECT_NE(cache.Peek(20), nullptr);
  cache.Trim(19);
  EXPECT_EQ(cache.Peek(20), nullptr);
  EXPECT_NE(cache.Peek(31), nullptr);

  cache.MarkModified(cache.Peek(31));
  cache.Unpin(cache.Peek(9));
  cache.Trim(0);
  EXPECT_EQ(cache.Peek(9), nullptr);
  EXPECT_EQ(cache.Count(), 18u);

  // A record passed over and used again is at the front; written, it is the
  // last to go.
  cache.Find(2);
  for (uint32_t n : {1u, 2u, 3u}) cache.MarkWritten(cache.Peek(n));
  cache.Trim(16);
  EXPECT_EQ(cache.Peek(1), nullptr);
  EXPECT_EQ(cache.Peek(3), nullptr);
  EXPECT_NE(cache.Peek(2), nullptr);
  EXPECT_EQ(cache.MruOrder().front(), 2u);
}

// Random use against a plain model of which records must stay: a trim never
// evicts a pinned, modified or kept record, evicts as many others as it
// needs, and the MRU chain and sorted list always hold the same records.
TEST(RecordCache, RandomUseKeepsEveryUnevictableRecord) {
  TRecordCache cache;
  std::mt19937 random(7);
  std::map<uint32_t, TRecord*> present;
  for (int step = 0; step < 20000; ++step) {
    const uint32_t number = 1 + random() % 200;
    TRecord* record = cache.Peek(number);
    switch (random() % 6) {
      case 0:
        if (!record) record = cache.Insert(nullptr, number, 8);
        break;
      case 1:
        if (record) cache.Find(number);
        break;
      case 2:
        if (record) cache.MarkModified(record);
        break;
      case 3:
        if (record) cache.MarkWritten(record);
        break;
      case 4:
        if (record && record->PinCount < 2 && random() % 2) {
          cache.Pin(record);
        } else if (record) {
          cache.Unpin(record);
        }
        break;
      default: {
        const size_t capacity = random() % 40;
        TRecord* keep = record && random() % 2 ? record : nullptr;
        size_t evictable = 0;
        std::vector<uint32_t> must_stay;
        for (const auto& r : cache.Sorted()) {
          if (r->PinCount > 0 || r->Modified() || r.get() == keep) {
            must_stay.push_back(r->RecordNumber);
          } else {
            ++evictable;
          }
        }
        const size_t before = cache.Count();
        cache.Trim(capacity, keep);
        for (uint32_t n : must_stay) ASSERT_NE(cache.Peek(n), nullptr) << step;
        const size_t expected =
            before <= capacity ? before : before - std::min(before - capacity, evictable);
        ASSERT_EQ(cache.Count(), expected) << step;
      }
    }
    if (step % 97 == 0) {
      std::vector<uint32_t> chain = cache.MruOrder();
      std::sort(chain.begin(), chain.end());
      std::vector<uint32_t> sorted;
      for (const auto& r : cache.Sorted()) sorted.push_back(r->RecordNumber);
      ASSERT_EQ(chain, sorted) << step;
    }
  }
}

TEST(RecordCache, ClearDetachesPinnedRecordsUntilUnpinned) {
  TRecordCache cache;
  TRecord* pinned = cache.Insert(nullptr, 4, 16);
  pinned->Data()[0] = 42;
  cache.Pin(pinned);
  cache.Pin(pinned);
  cache.MarkModified(cache.Insert(nullptr, 5, 16));
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
  EXPECT_FALSE(again->Modified());
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
