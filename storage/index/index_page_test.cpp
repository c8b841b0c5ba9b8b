#include "storage/index/index_page.h"

#include <gtest/gtest.h>

#include <vector>

#include "storage/index/page_cache.h"

namespace strata {
namespace {

std::vector<uint8_t> K(uint8_t a, uint8_t b = 0) { return {a, b, 0, 0, 0}; }

TEST(IndexPageTest, MaximumEntries) {
  EXPECT_EQ(TPage::MaxEntriesFor(5, true), 4083 / 13);
  EXPECT_EQ(TPage::MaxEntriesFor(9, true), 4083 / 17);
  EXPECT_EQ(TPage::MaxEntriesFor(526, true), 7);
  EXPECT_EQ(TPage::MaxEntriesFor(5, false), 4083 / 9);
}

TEST(IndexPageTest, EncodedBytes) {
  TPage page;
  page.SetLayout(5, true);
  page.Clear();
  page.Kind = pkLeaf;
  page.Prev = 0x01020304;
  page.Next = 0x0A0B0C0D;
  page.InsertEntry(0, K(2).data(), 0x11, 0);
  page.InsertEntry(0, K(1).data(), 0x22, 0x33);
  std::vector<uint8_t> out(kIndexPageSize, 0xEE);
  page.Encode(out.data());
  EXPECT_EQ(out[0], pkLeaf);
  EXPECT_EQ(out[1], 2);  // entries
  EXPECT_EQ(out[2], 0);
  EXPECT_EQ(out[3], 0x04);  // previous, little-endian
  EXPECT_EQ(out[6], 0x01);
  EXPECT_EQ(out[7], 0x0D);  // next
  EXPECT_EQ(out[11], 26);   // bytes used: 2 x 13
  EXPECT_EQ(out[12], 0);
  // Entry 0 at 13: key, record number, child.
  EXPECT_EQ(out[13], 1);
  EXPECT_EQ(out[18], 0x22);
  EXPECT_EQ(out[22], 0x33);
  // Entry 1 at 26.
  EXPECT_EQ(out[26], 2);
  EXPECT_EQ(out[31], 0x11);
  EXPECT_EQ(out[39], 0);  // rest of the page zero

  TPage back;
  back.SetLayout(5, true);
  ASSERT_TRUE(back.Decode(out.data()));
  EXPECT_EQ(back.Count, 2);
  EXPECT_EQ(back.Prev, page.Prev);
  EXPECT_EQ(back.Next, page.Next);
  EXPECT_EQ(back.RecordNumber(0), 0x22u);
  EXPECT_EQ(back.Child(0), 0x33u);
  EXPECT_EQ(back.Key(1)[0], 2);
}

TEST(IndexPageTest, EntriesWithoutRecordNumbers) {
  TPage page;
  page.SetLayout(5, false);
  page.Clear();
  page.InsertEntry(0, K(7).data(), 99, 42);
  EXPECT_EQ(page.EntrySize(), 9);
  EXPECT_EQ(page.RecordNumber(0), 0u);
  EXPECT_EQ(page.Child(0), 42u);
}

TEST(IndexPageTest, DecodeRefusesACountThatCannotFit) {
  std::vector<uint8_t> bytes(kIndexPageSize, 0);
  bytes[1] = 0x40;  // 320 entries of 13 bytes > 4083
  bytes[2] = 0x01;
  TPage page;
  page.SetLayout(5, true);
  EXPECT_FALSE(page.Decode(bytes.data()));
}

TEST(IndexPageTest, MovingEntriesKeepsOrder) {
  TPage a, b;
  a.SetLayout(5, true);
  b.SetLayout(5, true);
  a.Clear();
  b.Clear();
  for (uint8_t i = 0; i < 10; ++i) a.InsertEntry(i, K(i).data(), i, 0);
  a.MoveTailTo(6, b);  // 6..9 to b
  EXPECT_EQ(a.Count, 6);
  EXPECT_EQ(b.Count, 4);
  EXPECT_EQ(b.Key(0)[0], 6);
  a.MoveTailToFront(4, b);  // 4, 5 to the front of b
  EXPECT_EQ(b.Count, 6);
  EXPECT_EQ(b.Key(0)[0], 4);
  EXPECT_EQ(b.Key(5)[0], 9);
  b.MoveHeadTo(3, a);  // 4, 5, 6 back to the end of a
  EXPECT_EQ(a.Count, 7);
  EXPECT_EQ(a.Key(6)[0], 6);
  EXPECT_EQ(b.Key(0)[0], 7);
  EXPECT_EQ(a.Used, 7 * 13);
  a.RemoveEntry(0);
  EXPECT_EQ(a.Key(0)[0], 1);
  EXPECT_EQ(a.RecordNumber(5), 6u);
}

TEST(PageCacheTest, FindAddRemoveAndOrder) {
  TPageCache cache;
  TPageStack spare;
  for (uint32_t n : {5u, 1u, 9u, 3u}) {
    auto page = spare.Take();
    page->Number = n;
    cache.Add(std::move(page));
  }
  ASSERT_EQ(cache.Size(), 4u);
  EXPECT_EQ(cache.Pages()[0]->Number, 1u);
  EXPECT_EQ(cache.Pages()[3]->Number, 9u);
  EXPECT_EQ(cache.Find(9)->Number, 9u);
  EXPECT_EQ(cache.Find(4), nullptr);
  EXPECT_NE(cache.Remove(3), nullptr);
  EXPECT_EQ(cache.Remove(3), nullptr);
  EXPECT_EQ(cache.Size(), 3u);
}

TEST(PageCacheTest, TrimEvictsLeastRecentUnmodifiedPages) {
  TPageCache cache;
  TPageStack spare;
  for (uint32_t n = 1; n <= 6; ++n) {
    auto page = spare.Take();
    page->Number = n;
    page->Modified = n == 1;  // the oldest page has changes
    cache.Add(std::move(page));
  }
  cache.Find(2);  // 2 becomes the most recent
  cache.Trim(3, spare);
  ASSERT_EQ(cache.Size(), 3u);
  EXPECT_NE(cache.Find(1), nullptr);  // modified: kept
  EXPECT_NE(cache.Find(2), nullptr);  // recent
  EXPECT_NE(cache.Find(6), nullptr);
  EXPECT_EQ(cache.Find(3), nullptr);
  cache.Trim(0, spare);
  EXPECT_EQ(cache.Size(), 1u);  // only the modified page stays
  EXPECT_GT(spare.Size(), 0u);
  cache.Clear(spare);
  EXPECT_EQ(cache.Size(), 0u);
}

}  // namespace
}  // namespace strata
