#include "storage/index/index_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "platform/nls.h"
#include "storage/engine_error.h"
#include "storage/index/index_check.h"
#include "storage/index/index_definition.h"
#include "storage/index/test_key_table.h"
#include "storage/index/test_page_store.h"

namespace strata {
namespace {

using testing::TKeyTable;
using testing::TMemoryPageStore;
using Bytes = std::vector<uint8_t>;

constexpr int kSlot = 1;

std::string Join(const std::vector<std::string>& lines) {
  std::string all;
  for (size_t i = 0; i < lines.size() && i < 20; ++i) all += lines[i] + "\n";
  return all;
}

// One index over a table, its pages in memory, and a model of what the
// index should hold (keys in index order with their record numbers).
class TreeFixture {
 public:
  TreeFixture(TKeyTable& table, TIndexDef def, uint32_t locale = 0)
      : table_(table), def_(std::move(def)) {
    TIndexHeader header = TIndexHeader::Fresh();
    AddSecondaryIndex(header, def_, table_.Fields(), "Test");
    descriptor_ = header.Indexes[kSlot];
    format_ = TIndexKeyFormat(kSlot, descriptor_, table_.Fields(), locale, "Test");
    store_ = std::make_unique<TMemoryPageStore>(format_.KeySize());
    model_ = Model(Less{&format_});
  }

  TIndexTree Tree() { return TIndexTree(*store_, kSlot, format_, true, def_.Name, "Test"); }
  const TIndexKeyFormat& Format() const { return format_; }
  TMemoryPageStore& Store() { return *store_; }
  size_t Size() const { return model_.size(); }

  Bytes KeyOf(const Bytes& record) const {
    Bytes key(format_.KeySize());
    format_.BuildFromRecord(record.data(), key.data());
    return key;
  }
  void Insert(const Bytes& record, uint32_t record_number) {
    Bytes key = KeyOf(record);
    Tree().Insert(key.data(), record_number);
    ASSERT_TRUE(model_.emplace(key, record_number).second);
  }
  void Delete(const Bytes& key) {
    auto it = model_.find(key);
    ASSERT_NE(it, model_.end());
    ASSERT_TRUE(Tree().Delete(key.data(), it->second));
    model_.erase(it);
  }
  std::vector<Bytes> Keys() const {
    std::vector<Bytes> keys;
    for (const auto& [key, record] : model_) keys.push_back(key);
    return keys;
  }

  // Every invariant of the tree, and its contents against the model, both
  // ways along the leaves.
  void Check(const std::string& phase) {
    SCOPED_TRACE(phase);
    std::vector<int> owners;
    TIndexCheckResult result =
        CheckIndexTree(*store_, kSlot, format_, true, store_->RootPage(kSlot),
                       store_->FreeHead(kSlot), store_->NextPage(), def_.Name, owners);
    ASSERT_TRUE(result.Sound()) << Join(result.Faults);
    EXPECT_EQ(result.Entries, model_.size());
    EXPECT_EQ(result.Pages + result.FreePages, store_->NextPage() - 1);
    EXPECT_EQ(Tree().CountEntries(), model_.size());
    if (model_.empty()) {
      EXPECT_EQ(store_->RootPage(kSlot), 0u);
    } else {
      const TPage& root = store_->Page(store_->RootPage(kSlot));
      EXPECT_EQ(root.Kind, result.Depth == 1 ? pkRootLeaf : pkRoot);
    }
    TIndexPosition pos;
    bool on = Tree().First(pos);
    for (const auto& [key, record] : model_) {
      ASSERT_TRUE(on);
      ASSERT_EQ(Bytes(pos.KeyData(), pos.KeyData() + format_.KeySize()), key);
      ASSERT_EQ(pos.RecordNumber, record);
      on = Tree().Next(pos);
    }
    EXPECT_FALSE(on);
    on = Tree().Last(pos);
    for (auto it = model_.rbegin(); it != model_.rend(); ++it) {
      ASSERT_TRUE(on);
      ASSERT_EQ(pos.RecordNumber, it->second);
      on = Tree().Prior(pos);
    }
    EXPECT_FALSE(on);
  }

 private:
  struct Less {
    const TIndexKeyFormat* format;
    bool operator()(const Bytes& a, const Bytes& b) const {
      return format->Compare(a.data(), b.data()) < 0;
    }
  };
  using Model = std::map<Bytes, uint32_t, Less>;

  TKeyTable& table_;
  TIndexDef def_;
  TIndexDescriptor descriptor_;
  TIndexKeyFormat format_;
  std::unique_ptr<TMemoryPageStore> store_;
  Model model_{Less{nullptr}};
};

TIndexDef Def(std::vector<uint16_t> fields, bool unique, bool descending = false,
              bool case_insensitive = false) {
  TIndexDef def;
  def.Name = "Idx";
  def.FieldNumbers = std::move(fields);
  def.Unique = unique;
  def.Descending = descending;
  def.CaseInsensitive = case_insensitive;
  return def;
}

std::string RandomText(std::mt19937& rng, size_t max_length, const std::string& alphabet) {
  size_t length = 1 + rng() % max_length;
  std::string text;
  for (size_t i = 0; i < length; ++i) text += alphabet[rng() % alphabet.size()];
  return text;
}

TEST(IndexTreeTest, RootKindsThroughFirstSplitAndBack) {
  TKeyTable table;
  uint16_t id = table.Add("Id", fldINT32);
  TreeFixture tree(table, Def({id}, true));
  int max = tree.Tree().MaxEntries();
  ASSERT_EQ(max, 4083 / 13);
  auto record = [&](int32_t v) {
    Bytes r = table.NewRecord(v);
    table.SetInt32(r, id, v);
    return r;
  };
  tree.Insert(record(0), 1);
  uint32_t first_root = tree.Store().RootPage(kSlot);
  EXPECT_EQ(tree.Store().Page(first_root).Kind, pkRootLeaf);
  for (int i = 1; i < max; ++i) tree.Insert(record(i), i + 1);
  EXPECT_EQ(tree.Store().RootPage(kSlot), first_root);
  tree.Check("full root leaf");
  tree.Insert(record(max), max + 1);  // the first split
  const TPage& root = tree.Store().Page(tree.Store().RootPage(kSlot));
  ASSERT_EQ(root.Kind, pkRoot);
  ASSERT_EQ(root.Count, 2);
  const TPage& left = tree.Store().Page(root.Child(0));
  const TPage& right = tree.Store().Page(root.Child(1));
  EXPECT_EQ(left.Kind, pkLeaf);
  EXPECT_EQ(right.Kind, pkLeaf);
  EXPECT_EQ(left.Number, first_root);
  EXPECT_EQ(left.Next, right.Number);
  EXPECT_EQ(right.Prev, left.Number);
  EXPECT_EQ(right.Count, (max + 1) / 2);  // the upper half moved
  EXPECT_EQ(left.Count + right.Count, max + 1);
  tree.Check("after the first split");
  // Deleting down to one leaf collapses the root onto it.
  std::vector<Bytes> keys = tree.Keys();
  for (size_t i = 0; i + 10 < keys.size(); ++i) tree.Delete(keys[i]);
  const TPage& collapsed = tree.Store().Page(tree.Store().RootPage(kSlot));
  EXPECT_EQ(collapsed.Kind, pkRootLeaf);
  EXPECT_EQ(collapsed.Count, 10);
  tree.Check("collapsed root");
  for (size_t i = keys.size() - 10; i < keys.size(); ++i) tree.Delete(keys[i]);
  EXPECT_EQ(tree.Store().RootPage(kSlot), 0u);
  tree.Check("empty");
}

TEST(IndexTreeTest, UniqueIntegersRandomAndSortedOrder) {
  TKeyTable table;
  uint16_t id = table.Add("Id", fldINT32);
  TreeFixture tree(table, Def({id}, true));
  std::mt19937 rng(4711);
  std::vector<int32_t> values(40000);
  std::iota(values.begin(), values.end(), -20000);
  std::shuffle(values.begin(), values.end(), rng);
  uint32_t record_number = 0;
  for (int32_t v : values) {
    Bytes r = table.NewRecord(++record_number);
    table.SetInt32(r, id, v * 3);
    tree.Insert(r, record_number);
  }
  tree.Check("40000 random inserts");
  // Half of them deleted at random.
  std::vector<Bytes> keys = tree.Keys();
  std::shuffle(keys.begin(), keys.end(), rng);
  for (size_t i = 0; i < keys.size() / 2; ++i) tree.Delete(keys[i]);
  tree.Check("20000 random deletes");
  // Sorted inserts between the survivors, then sorted deletes of everything.
  for (int32_t v = -60000; v < 60000; v += 7) {
    if (v % 3 == 0) continue;
    Bytes r = table.NewRecord(++record_number);
    table.SetInt32(r, id, v);
    tree.Insert(r, record_number);
  }
  tree.Check("sorted inserts");
  keys = tree.Keys();
  for (size_t i = 0; i < keys.size(); i += 2) tree.Delete(keys[i]);
  tree.Check("every second key deleted in ascending order");
  keys = tree.Keys();
  for (auto it = keys.rbegin(); it != keys.rend(); ++it) tree.Delete(*it);
  tree.Check("all deleted in descending order");
  EXPECT_EQ(tree.Store().FreeHead(kSlot) != 0, true);
  // Freed pages are used again before the file grows.
  uint32_t pages = tree.Store().NextPage();
  for (int32_t v = 0; v < 20000; ++v) {
    Bytes r = table.NewRecord(++record_number);
    table.SetInt32(r, id, v);
    tree.Insert(r, record_number);
  }
  EXPECT_EQ(tree.Store().NextPage(), pages);
  tree.Check("sorted inserts into freed pages");
}

TEST(IndexTreeTest, NonUniqueTextsWithManyDuplicates) {
  TKeyTable table;
  uint16_t name = table.Add("Name", fldZSTRING, 40);
  TreeFixture tree(table, Def({name}, false));
  EXPECT_EQ(tree.Format().KeySize(), 41 + 1 + 4);
  std::mt19937 rng(7);
  std::vector<std::string> words;
  for (int i = 0; i < 300; ++i) words.push_back(RandomText(rng, 30, "abcdefghij"));
  for (uint32_t row = 1; row <= 25000; ++row) {
    Bytes r = table.NewRecord(static_cast<int32_t>(row), row);
    table.SetText(r, name, words[rng() % words.size()]);
    tree.Insert(r, row);
  }
  tree.Check("25000 inserts over 300 texts");
  std::vector<Bytes> keys = tree.Keys();
  std::shuffle(keys.begin(), keys.end(), rng);
  for (size_t i = 0; i < 20000; ++i) tree.Delete(keys[i]);
  tree.Check("20000 random deletes");
  // All entries of one text are adjacent and found by a one-field search.
  const std::string& word = words[0];
  Bytes probe = table.NewRecord(0);
  table.SetText(probe, name, word);
  Bytes sought = tree.KeyOf(probe);
  TIndexPosition pos;
  size_t found = 0;
  bool on = tree.Tree().Seek(sought.data(), TKeyLimit::FirstFields(1), TSeekMode::kNotBelow, pos);
  while (on &&
         tree.Format().Compare(pos.KeyData(), sought.data(), TKeyLimit::FirstFields(1)) == 0) {
    ++found;
    on = tree.Tree().Next(pos);
  }
  size_t expected = 0;
  for (const Bytes& key : tree.Keys()) {
    if (tree.Format().Compare(key.data(), sought.data(), TKeyLimit::FirstFields(1)) == 0) {
      ++expected;
    }
  }
  EXPECT_EQ(found, expected);
}

TEST(IndexTreeTest, DescendingIndexWithWideKeysGrowsDeep) {
  TKeyTable table;
  uint16_t name = table.Add("Name", fldZSTRING, 250);
  uint16_t id = table.Add("Id", fldINT32);
  TreeFixture tree(table, Def({name, id}, false, true));
  ASSERT_EQ(tree.Tree().MaxEntries(), 4083 / (252 + 5 + 4 + 8));
  std::mt19937 rng(99);
  for (uint32_t row = 1; row <= 12000; ++row) {
    Bytes r = table.NewRecord(static_cast<int32_t>(row), row);
    table.SetText(r, name, RandomText(rng, 6, "xyz") + std::string(200, 'p'));
    table.SetInt32(r, id, static_cast<int32_t>(rng() % 50) - 25);
    tree.Insert(r, row);
  }
  tree.Check("12000 wide keys");
  std::vector<int> owners;
  TIndexCheckResult result =
      CheckIndexTree(tree.Store(), kSlot, tree.Format(), true, tree.Store().RootPage(kSlot), 0,
                     tree.Store().NextPage(), "Idx", owners);
  EXPECT_GE(result.Depth, 4);
  // Descending: the first entry holds the highest text.
  TIndexPosition first;
  ASSERT_TRUE(tree.Tree().First(first));
  std::vector<Bytes> keys = tree.Keys();
  for (const Bytes& key : keys) {
    EXPECT_GE(std::memcmp(first.KeyData() + 1, key.data() + 1, 251), 0);
  }
  std::shuffle(keys.begin(), keys.end(), rng);
  for (size_t i = 0; i < keys.size(); ++i) {
    tree.Delete(keys[i]);
    if (i % 3000 == 2999) tree.Check("wide deletes " + std::to_string(i + 1));
  }
  tree.Check("all wide keys deleted");
}

TEST(IndexTreeTest, CaseInsensitiveLocaleIndex) {
  TKeyTable table;
  uint16_t name = table.Add("Name", fldZSTRING, 20);
  const uint32_t german = platform::nls::MakeLocaleId(1031, 0);
  TreeFixture tree(table, Def({name}, false, false, true), german);
  ASSERT_FALSE(tree.Format().ComparesBytes());
  std::mt19937 rng(3);
  for (uint32_t row = 1; row <= 6000; ++row) {
    Bytes r = table.NewRecord(static_cast<int32_t>(row), row);
    table.SetText(r, name, RandomText(rng, 8, "aAbBcC\xe4\xc4\xf6 -"));
    tree.Insert(r, row);
  }
  Bytes abc = table.NewRecord(6001, 6001);
  table.SetText(abc, name, "abc");
  tree.Insert(abc, 6001);
  tree.Check("6000 texts in German order");
  // Searched as "ABC", found.
  std::string upper = "ABC";
  TKeyFieldValue value = TKeyFieldValue::Text(upper);
  Bytes sought(tree.Format().KeySize());
  tree.Format().BuildFromValues({&value, 1}, sought.data());
  TIndexPosition pos;
  ASSERT_TRUE(
      tree.Tree().Seek(sought.data(), TKeyLimit::FirstFields(1), TSeekMode::kNotBelow, pos));
  EXPECT_EQ(tree.Format().Compare(pos.KeyData(), sought.data(), TKeyLimit::FirstFields(1)), 0);
  uint32_t record = 0;
  EXPECT_TRUE(tree.Tree().Contains(sought.data(), TKeyLimit::FirstFields(1), &record));
  std::vector<Bytes> keys = tree.Keys();
  std::shuffle(keys.begin(), keys.end(), rng);
  for (size_t i = 0; i < 5000; ++i) tree.Delete(keys[i]);
  tree.Check("5000 deleted");
}

TEST(IndexTreeTest, DuplicateKeyRaises9729NamingTheIndex) {
  TKeyTable table;
  uint16_t id = table.Add("Id", fldINT32);
  TreeFixture tree(table, Def({id}, true));
  Bytes r = table.NewRecord(1);
  table.SetInt32(r, id, 5);
  tree.Insert(r, 1);
  Bytes key = tree.KeyOf(r);
  try {
    tree.Tree().Insert(key.data(), 2);
    FAIL() << "no error";
  } catch (const EStrataEngineError& e) {
    EXPECT_EQ(e.Code, STRATA_KEYVIOL);
    EXPECT_EQ(e.ContextIndex, "Idx");
    EXPECT_EQ(e.ContextTable, "Test");
  }
  EXPECT_FALSE(tree.Tree().Delete(key.data(), 2));  // wrong record number
  Bytes other = key;
  other[4] ^= 1;
  EXPECT_FALSE(tree.Tree().Delete(other.data(), 1));
  tree.Check("unchanged");
}

class PositionTest : public ::testing::Test {
 protected:
  PositionTest()
      : tree(table, Def({(a = table.Add("A", fldINT32)), (b = table.Add("B", fldINT32))}, true)) {
    // (a, b) for a in 0..99, b in 0..49: 5000 entries over many leaves.
    uint32_t n = 0;
    for (int32_t i = 0; i < 100; ++i) {
      for (int32_t j = 0; j < 50; ++j) {
        tree.Insert(Record(i, j), ++n);
      }
    }
  }
  Bytes Record(int32_t x, int32_t y) {
    Bytes r = table.NewRecord(1);
    table.SetInt32(r, a, x);
    table.SetInt32(r, b, y);
    return r;
  }
  Bytes Key(int32_t x, int32_t y) { return tree.KeyOf(Record(x, y)); }
  int32_t AOf(const TIndexPosition& pos) {
    return static_cast<int32_t>(GetBigEndian(pos.KeyData() + 1, 4) ^ 0x80000000u);
  }
  int32_t BOf(const TIndexPosition& pos) {
    return static_cast<int32_t>(GetBigEndian(pos.KeyData() + 6, 4) ^ 0x80000000u);
  }

  TKeyTable table;
  uint16_t a, b;
  TreeFixture tree;
};

TEST_F(PositionTest, SeekWithPartialKeys) {
  TIndexPosition pos;
  Bytes k = Key(42, 0);
  ASSERT_TRUE(tree.Tree().Seek(k.data(), TKeyLimit::FirstFields(1), TSeekMode::kNotBelow, pos));
  EXPECT_EQ(AOf(pos), 42);
  EXPECT_EQ(BOf(pos), 0);
  ASSERT_TRUE(tree.Tree().Seek(k.data(), TKeyLimit::FirstFields(1), TSeekMode::kAbove, pos));
  EXPECT_EQ(AOf(pos), 43);
  EXPECT_EQ(BOf(pos), 0);
  ASSERT_TRUE(tree.Tree().Prior(pos));
  EXPECT_EQ(AOf(pos), 42);
  EXPECT_EQ(BOf(pos), 49);
  // Nearest: (42, 100) does not exist; the next key is (43, 0).
  Bytes missing = Key(42, 100);
  ASSERT_TRUE(tree.Tree().Seek(missing.data(), TKeyLimit::Whole(), TSeekMode::kNotBelow, pos));
  EXPECT_EQ(AOf(pos), 43);
  // Byte limits: the first 5 bytes are field A.
  ASSERT_TRUE(tree.Tree().Seek(k.data(), TKeyLimit::FirstBytes(5), TSeekMode::kAbove, pos));
  EXPECT_EQ(AOf(pos), 43);
  // Beyond the end.
  Bytes high = Key(1000, 0);
  EXPECT_FALSE(tree.Tree().Seek(high.data(), TKeyLimit::Whole(), TSeekMode::kNotBelow, pos));
  EXPECT_EQ(pos.State, psAfterLast);
  ASSERT_TRUE(tree.Tree().Prior(pos));
  EXPECT_EQ(AOf(pos), 99);
  EXPECT_EQ(BOf(pos), 49);
  EXPECT_FALSE(tree.Tree().Next(pos));
  EXPECT_EQ(AOf(pos), 99);  // stays at the end
}

TEST_F(PositionTest, PositionsSurviveChangesOfTheIndex) {
  TIndexPosition pos;
  Bytes k = Key(10, 10);
  ASSERT_TRUE(tree.Tree().Locate(k.data(), 10 * 50 + 11, pos));
  // Another user deletes the entry under the position and its successor.
  tree.Delete(Key(10, 10));
  tree.Delete(Key(10, 11));
  ASSERT_TRUE(tree.Tree().Next(pos));
  EXPECT_EQ(AOf(pos), 10);
  EXPECT_EQ(BOf(pos), 12);
  // Inserts that split pages do not lose the position either.
  for (int32_t j = 1000; j < 1400; ++j) tree.Insert(Record(10, j), 100000 + j);
  ASSERT_TRUE(tree.Tree().Next(pos));
  EXPECT_EQ(BOf(pos), 13);
  ASSERT_TRUE(tree.Tree().Prior(pos));
  EXPECT_EQ(BOf(pos), 12);
  tree.Delete(Key(10, 12));
  ASSERT_TRUE(tree.Tree().Prior(pos));  // from the gone entry back to (10, 9)
  EXPECT_EQ(BOf(pos), 9);
  tree.Check("after the changes");
}

TEST_F(PositionTest, OrdinalsBothWays) {
  TIndexTree t = tree.Tree();
  uint32_t total = t.CountEntries();
  ASSERT_EQ(total, 5000u);
  for (uint32_t ordinal : {1u, 2u, 50u, 51u, 2499u, 2500u, 2501u, 4000u, 4999u, 5000u}) {
    TIndexPosition pos;
    ASSERT_TRUE(t.SeekOrdinal(ordinal, pos, total)) << ordinal;
    EXPECT_EQ(static_cast<uint32_t>(AOf(pos) * 50 + BOf(pos) + 1), ordinal);
    EXPECT_EQ(t.Ordinal(pos, total), ordinal);
    EXPECT_EQ(t.Ordinal(pos), ordinal);  // walking from the left
  }
  TIndexPosition pos;
  EXPECT_FALSE(t.SeekOrdinal(5001, pos, total));
  EXPECT_FALSE(t.SeekOrdinal(0, pos, total));
  EXPECT_FALSE(t.SeekOrdinal(5001, pos));
}

TEST(IndexTreePositionTest, EveryWayPastTheEndTakesTheCurrentGeneration) {
  // A position after the last entry is up to date: it is not re-found.
  TKeyTable table;
  uint16_t id = table.Add("Id", fldINT32);
  TreeFixture tree(table, Def({id}, true));
  tree.Store().AdvanceGeneration(kSlot);
  tree.Store().AdvanceGeneration(kSlot);
  const uint64_t generation = tree.Store().Generation(kSlot);
  TIndexTree t = tree.Tree();
  TIndexPosition pos;
  EXPECT_FALSE(t.SeekOrdinal(1, pos));  // the empty index
  EXPECT_EQ(pos.State, psAfterLast);
  EXPECT_EQ(pos.Generation, generation);
  TIndexPosition first;
  EXPECT_FALSE(t.First(first));
  EXPECT_EQ(first.Generation, generation);
  Bytes key(tree.Format().KeySize());
  TIndexPosition sought;
  EXPECT_FALSE(t.Seek(key.data(), TKeyLimit::Whole(), TSeekMode::kNotBelow, sought));
  EXPECT_EQ(sought.Generation, generation);
}

TEST(IndexTreeCorruptionTest, CyclesAndBrokenLinksAreFound) {
  TKeyTable table;
  uint16_t id = table.Add("Id", fldINT32);
  TreeFixture tree(table, Def({id}, true));
  for (int32_t v = 0; v < 2000; ++v) {
    Bytes r = table.NewRecord(v);
    table.SetInt32(r, id, v);
    tree.Insert(r, v + 1);
  }
  TMemoryPageStore& store = tree.Store();
  TPage& root = store.Page(store.RootPage(kSlot));
  ASSERT_EQ(root.Kind, pkRoot);
  // A broken sibling link is reported, the tree still searchable.
  TPage& leaf = store.Page(root.Child(1));
  uint32_t saved = leaf.Prev;
  leaf.Prev = 0;
  std::vector<int> owners;
  TIndexCheckResult result = CheckIndexTree(
      store, kSlot, tree.Format(), true, store.RootPage(kSlot), 0, store.NextPage(), "Idx", owners);
  ASSERT_FALSE(result.Sound());
  EXPECT_NE(Join(result.Faults).find("previous link"), std::string::npos);
  leaf.Prev = saved;
  // An inner page pointing to itself through a child makes the path too deep.
  TPage& other = store.Page(root.Child(0));
  other.Kind = pkInner;
  other.SetChild(0, root.Number);
  root.Kind = pkInner;  // so that it passes as an inner page below itself
  TIndexPosition pos;
  try {
    tree.Tree().First(pos);
    FAIL() << "no error";
  } catch (const EStrataEngineError& e) {
    EXPECT_EQ(e.Code, STRATA_INDEXCORRUPT);
  }
  owners.clear();
  result = CheckIndexTree(store, kSlot, tree.Format(), true, store.RootPage(kSlot), 0,
                          store.NextPage(), "Idx", owners);
  EXPECT_FALSE(result.Sound());
}

}  // namespace
}  // namespace strata
