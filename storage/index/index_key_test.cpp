#include "storage/index/index_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/nls.h"
#include "storage/engine_error.h"
#include "storage/index/index_definition.h"
#include "storage/index/test_key_table.h"
#include "storage/record/bcd.h"

namespace strata {
namespace {

using testing::TKeyTable;
using Bytes = std::vector<uint8_t>;

// A descriptor over `fields` as the definition rules would make it.
TIndexDescriptor Index(const TKeyTable& table, std::vector<uint16_t> fields, bool unique,
                       bool descending = false, bool case_insensitive = false,
                       std::vector<bool> field_descending = {}) {
  TIndexHeader header = TIndexHeader::Fresh();
  TIndexDef def;
  def.Name = "Idx";
  def.FieldNumbers = std::move(fields);
  def.Unique = unique;
  def.Descending = descending;
  def.CaseInsensitive = case_insensitive;
  def.FieldDescending = std::move(field_descending);
  int slot = AddSecondaryIndex(header, def, table.Fields(), "Test");
  return header.Indexes[slot];
}

Bytes Key(const TIndexKeyFormat& format, const Bytes& record) {
  Bytes key(format.KeySize());
  format.BuildFromRecord(record.data(), key.data());
  return key;
}

TEST(IndexKeyTest, KeySizeOfUniqueAndNonUniqueIntegerIndex) {
  TKeyTable t;
  uint16_t id = t.Add("Id", fldINT32);
  EXPECT_EQ(Index(t, {id}, true).KeySize, 5);
  EXPECT_EQ(Index(t, {id}, false).KeySize, 9);
}

TEST(IndexKeyTest, IntegerKeysSortNegativeFirst) {
  TKeyTable t;
  uint16_t id = t.Add("Id", fldINT32);
  TIndexKeyFormat format(1, Index(t, {id}, true), t.Fields(), 0, "Test");
  Bytes minus = t.NewRecord(1), plus = t.NewRecord(2);
  t.SetInt32(minus, id, -1);
  t.SetInt32(plus, id, 1);
  EXPECT_EQ(Key(format, minus), (Bytes{0x01, 0x7F, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Key(format, plus), (Bytes{0x01, 0x80, 0x00, 0x00, 0x01}));
  EXPECT_LT(format.Compare(Key(format, minus).data(), Key(format, plus).data()), 0);
}

TEST(IndexKeyTest, FloatKeysSortNumerically) {
  TKeyTable t;
  uint16_t f = t.Add("Amount", fldFLOAT);
  TIndexKeyFormat format(1, Index(t, {f}, true), t.Fields(), 0, "Test");
  auto key_of = [&](double v) {
    Bytes r = t.NewRecord(1);
    t.SetDouble(r, f, v);
    return Key(format, r);
  };
  // -2.5 = C0 04 00..; negative: every bit inverted. 0.0: sign bit set.
  EXPECT_EQ(key_of(-2.5), (Bytes{0x01, 0x3F, 0xFB, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(key_of(0.0), (Bytes{0x01, 0x80, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(key_of(-0.0), key_of(0.0));
  std::vector<double> values{-1e300, -2.5, -1e-300, 0.0, 1e-300, 2.5, 1e300};
  for (size_t i = 1; i < values.size(); ++i) {
    EXPECT_LT(format.Compare(key_of(values[i - 1]).data(), key_of(values[i]).data()), 0)
        << values[i - 1] << " vs " << values[i];
  }
}

TEST(IndexKeyTest, KeyValueFormsOfEachType) {
  TKeyTable t;
  uint16_t small = t.Add("Small", fldINT16);
  uint16_t word = t.Add("Word", fldUINT16);
  uint16_t flag = t.Add("Flag", fldBOOL);
  uint16_t big = t.Add("Big", fldINT64);
  uint16_t date = t.Add("Day", fldDATE);
  uint16_t money = t.Add("Money", fldBCD);
  uint16_t raw = t.Add("Raw", fldBYTES, 3);
  uint16_t name = t.Add("Name", fldZSTRING, 5);
  TIndexKeyFormat format(1, Index(t, {small, word, flag, big, date, money, raw, name}, false),
                         t.Fields(), 0, "Test");
  // Widths + flags: 3 + 3 + 3 + 9 + 5 + 9 + 4 + 7, then the row number.
  ASSERT_EQ(format.KeySize(), 43 + 4);
  Bytes r = t.NewRecord(0x01020304);
  t.SetInt16(r, small, -2);
  uint8_t word_bytes[2] = {0x34, 0x12};
  t.SetRaw(r, word, Bytes(word_bytes, word_bytes + 2));
  t.SetRaw(r, flag, Bytes{7, 0});
  t.SetInt64(r, big, 1);
  t.SetInt32(r, date, 693594);
  Bytes bcd(TBcd::kSize);
  TBcd::FromText("-12.5").Encode(bcd.data());
  t.SetRaw(r, money, bcd);
  t.SetRaw(r, raw, Bytes{0xAA, 0xBB, 0xCC});
  t.SetText(r, name, "ab");
  Bytes key = Key(format, r);
  Bytes expected{
      0x01, 0x7F, 0xFE,                                      // int16 -2
      0x01, 0x12, 0x34,                                      // uint16 0x1234
      0x01, 0x00, 0x01,                                      // boolean 7 stored as 1
      0x01, 0x80, 0,    0,    0,    0,    0,    0,    0x01,  // int64 1
      0x01, 0x80, 0x0A, 0x95, 0x5A,                          // date 693594 = 0x000A955A
      0x01, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x17, 0xB8,  // -12.5 = -125000 units
      0x01, 0xAA, 0xBB, 0xCC,                                // raw bytes
      0x01, 'a',  'b',  0,    0,    0,    0,                 // text padded to 6
      0x81, 0x02, 0x03, 0x04,                                // row number
  };
  EXPECT_EQ(key, expected);
}

TEST(IndexKeyTest, BlankFieldsAreZeroAndSortFirst) {
  TKeyTable t;
  uint16_t id = t.Add("Id", fldINT32);
  uint16_t name = t.Add("Name", fldZSTRING, 4);
  TIndexKeyFormat format(1, Index(t, {id, name}, true), t.Fields(), 0, "Test");
  Bytes blank = t.NewRecord(1);
  t.SetText(blank, name, "   ");  // only blanks: stored blank
  EXPECT_EQ(Key(format, blank), Bytes(11, 0));
  Bytes zero = t.NewRecord(2);
  t.SetInt32(zero, id, std::numeric_limits<int32_t>::min());
  EXPECT_LT(format.Compare(Key(format, blank).data(), Key(format, zero).data()), 0);
}

TEST(IndexKeyTest, AutoIncrementKeyComesFromTheRowNumber) {
  TKeyTable t;
  uint16_t id = t.Add("Id", fldINT32, 0, fldstAUTOINC);
  TIndexKeyFormat format(1, Index(t, {id}, true), t.Fields(), 0, "Test");
  EXPECT_EQ(Key(format, t.NewRecord(258)), (Bytes{0x01, 0x80, 0x00, 0x01, 0x02}));
}

TEST(IndexKeyTest, SysDeletedKeyIsStatusAndRowNumber) {
  TKeyTable t;
  t.Add("Id", fldINT32);
  TIndexHeader header = TIndexHeader::Fresh();
  TIndexKeyFormat format(kSysDeletedIndex, header.Indexes[kSysDeletedIndex], t.Fields(), 1031,
                         "Test");
  Bytes r = t.NewRecord(5);
  EXPECT_EQ(Key(format, r), (Bytes{0x00, 0x80, 0, 0, 5}));
  r[0] = 1;
  EXPECT_EQ(Key(format, r), (Bytes{0x01, 0x80, 0, 0, 5}));
  EXPECT_TRUE(format.ComparesBytes());  // even in a table with a locale
}

TEST(IndexKeyTest, DescendingFieldIsComplementedInAnAscendingIndex) {
  TKeyTable t;
  uint16_t id = t.Add("Id", fldINT32);
  uint16_t name = t.Add("Name", fldZSTRING, 3);
  TIndexKeyFormat format(1, Index(t, {id, name}, true, false, false, {true, true}), t.Fields(), 0,
                         "Test");
  Bytes r = t.NewRecord(1);
  t.SetInt32(r, id, 1);
  t.SetText(r, name, "ab");
  // Flag and value complemented; a text keeps its last byte.
  EXPECT_EQ(Key(format, r), (Bytes{0xFE, 0x7F, 0xFF, 0xFF, 0xFE, 0xFE, 0x9E, 0x9D, 0xFF, 0x00}));
  Bytes shorter = t.NewRecord(2);
  t.SetInt32(shorter, id, 1);
  t.SetText(shorter, name, "a");
  // Descending: "ab" before "a"; blank last.
  Bytes blank = t.NewRecord(3);
  t.SetInt32(blank, id, 1);
  EXPECT_LT(format.Compare(Key(format, r).data(), Key(format, shorter).data()), 0);
  EXPECT_LT(format.Compare(Key(format, shorter).data(), Key(format, blank).data()), 0);
}

TEST(IndexKeyTest, DescendingIndexReversesWholeKeyOrder) {
  TKeyTable t;
  uint16_t id = t.Add("Id", fldINT32);
  TIndexDescriptor d = Index(t, {id}, false, true);
  EXPECT_TRUE(d.FieldDescending[0]);
  TIndexKeyFormat format(1, d, t.Fields(), 0, "Test");
  Bytes a = t.NewRecord(1), b = t.NewRecord(2);
  t.SetInt32(a, id, 1);
  t.SetInt32(b, id, 2);
  // Not complemented: the comparison itself runs backwards.
  EXPECT_EQ(Key(format, a)[1], 0x80);
  EXPECT_GT(format.Compare(Key(format, a).data(), Key(format, b).data()), 0);
}

TEST(IndexKeyTest, CaseInsensitiveKeysAreUpperCase) {
  TKeyTable t;
  uint16_t name = t.Add("Name", fldZSTRING, 10);
  TIndexKeyFormat format(1, Index(t, {name}, true, false, true), t.Fields(), 0, "Test");
  Bytes lower = t.NewRecord(1), upper = t.NewRecord(2);
  t.SetText(lower, name, "abc\xe4");
  t.SetText(upper, name, "ABC\xc4");
  EXPECT_EQ(Key(format, lower), Key(format, upper));
  EXPECT_EQ(Key(format, lower)[1], 'A');
  // A search key from a value meets the stored one.
  std::string sought = "abc\xe4  ";
  Bytes from_value(format.KeySize());
  TKeyFieldValue value = TKeyFieldValue::Text(sought);
  format.BuildFromValues({&value, 1}, from_value.data());
  EXPECT_EQ(from_value, Key(format, upper));
}

TEST(IndexKeyTest, TextKeysAreTheStoredTextsKeysAndBoundTheirPrefixes) {
  TKeyTable t;
  uint16_t name = t.Add("Name", fldZSTRING, 6);
  TIndexKeyFormat plain(1, Index(t, {name}, false), t.Fields(), 0, "Test");
  TIndexKeyFormat nocase(1, Index(t, {name}, false, false, true), t.Fields(), 0, "Test");
  ASSERT_TRUE(plain.FirstFieldIsText());
  EXPECT_FALSE(plain.CaseInsensitive());
  EXPECT_TRUE(nocase.CaseInsensitive());
  const auto first_field = [](const TIndexKeyFormat& format, const Bytes& key) {
    return Bytes(key.begin(), key.begin() + format.PrefixBytes(1));
  };
  // The text is cut at the field's size; a constant keeps its blanks.
  EXPECT_EQ(plain.TextKey("ab ")[3], ' ');
  for (const char* text : {"ab", "abcdef", "Mixed"}) {
    SCOPED_TRACE(text);
    Bytes record = t.NewRecord(1);
    t.SetText(record, name, text);
    EXPECT_EQ(first_field(plain, plain.TextKey(text)), first_field(plain, Key(plain, record)));
    EXPECT_EQ(first_field(nocase, nocase.TextKey(text)), first_field(nocase, Key(nocase, record)));
  }
  EXPECT_EQ(plain.TextKey("")[0], 0);  // blank
  // The filled key lies above every text beginning with the prefix and below
  // the next text after them.
  const Bytes high = plain.TextKey("ab", true);
  for (const char* text : {"ab", "ab\xff", "abzzz", "ab~"}) {
    Bytes record = t.NewRecord(2);
    t.SetText(record, name, text);
    EXPECT_LT(plain.Compare(Key(plain, record).data(), high.data(), TKeyLimit::FirstFields(1)), 0);
  }
  EXPECT_GT(plain.Compare(plain.TextKey("ac").data(), high.data(), TKeyLimit::FirstFields(1)), 0);
}

TEST(IndexKeyTest, KeyFromValuesMatchesKeyFromRecord) {
  TKeyTable t;
  uint16_t id = t.Add("Id", fldINT32);
  uint16_t name = t.Add("Name", fldZSTRING, 8, 0, 2);  // stored upper-cased
  uint16_t amount = t.Add("Amount", fldFLOAT);
  TIndexKeyFormat format(1, Index(t, {id, name, amount}, false), t.Fields(), 0, "Test");
  Bytes r = t.NewRecord(9);
  t.SetInt32(r, id, -7);
  t.SetText(r, name, "miller");
  t.SetDouble(r, amount, 3.25);
  Bytes from_record(format.KeySize());
  format.BuildFromRecord(r.data(), from_record.data(), 2);  // two fields, rest zero
  uint8_t id_bytes[4];
  PutI32(id_bytes, -7);
  std::string text = "miller   ";
  TKeyFieldValue values[] = {{id_bytes, 4}, TKeyFieldValue::Text(text)};
  Bytes from_values(format.KeySize());
  format.BuildFromValues(values, from_values.data());
  EXPECT_EQ(from_values, from_record);
  EXPECT_EQ(format.PrefixBytes(2), 5 + 10);
  Bytes full = Key(format, r);
  EXPECT_EQ(format.Compare(full.data(), from_values.data(), TKeyLimit::FirstFields(2)), 0);
  EXPECT_GT(format.Compare(full.data(), from_values.data()), 0);
  EXPECT_EQ(format.Compare(full.data(), from_values.data(), TKeyLimit::FirstBytes(15)), 0);
  EXPECT_GT(format.Compare(full.data(), from_values.data(), TKeyLimit::FirstBytes(16)), 0);
}

TEST(IndexKeyTest, LocaleOrderComparesTextsFieldByField) {
  TKeyTable t;
  uint16_t name = t.Add("Name", fldZSTRING, 12);
  uint16_t id = t.Add("Id", fldINT32);
  const uint32_t german = platform::nls::MakeLocaleId(1031, 0);
  TIndexKeyFormat bytes(1, Index(t, {name, id}, false), t.Fields(), 0, "Test");
  TIndexKeyFormat locale(1, Index(t, {name, id}, false), t.Fields(), german, "Test");
  ASSERT_TRUE(bytes.ComparesBytes());
  ASSERT_FALSE(locale.ComparesBytes());
  auto key_of = [&](const TIndexKeyFormat& f, const std::string& s, int32_t v, int32_t row) {
    Bytes r = t.NewRecord(row);
    t.SetText(r, name, s);
    t.SetInt32(r, id, v);
    return Key(f, r);
  };
  // Bytes: "Zebra" < "apple" (upper case first); the locale puts "apple" first.
  EXPECT_LT(bytes.Compare(key_of(bytes, "Zebra", 1, 1).data(), key_of(bytes, "apple", 1, 2).data()),
            0);
  EXPECT_GT(
      locale.Compare(key_of(locale, "Zebra", 1, 1).data(), key_of(locale, "apple", 1, 2).data()),
      0);
  // Accents do not decide; the next field does.
  EXPECT_LT(
      locale.Compare(key_of(locale, "\xe4rger", 1, 1).data(), key_of(locale, "arger", 2, 2).data()),
      0);
  // The row number ends a tie.
  EXPECT_LT(locale.Compare(key_of(locale, "Ton", 3, 1).data(), key_of(locale, "Ton", 3, 2).data()),
            0);
  // Descending index: text order reversed too.
  TIndexKeyFormat reversed(1, Index(t, {name, id}, false, true), t.Fields(), german, "Test");
  EXPECT_LT(reversed.Compare(key_of(reversed, "Zebra", 1, 1).data(),
                             key_of(reversed, "apple", 1, 2).data()),
            0);
}

TEST(IndexKeyTest, ComplementedTextComparesInLocaleOrderReversed) {
  TKeyTable t;
  uint16_t name = t.Add("Name", fldZSTRING, 12);
  const uint32_t german = platform::nls::MakeLocaleId(1031, 0);
  TIndexKeyFormat format(1, Index(t, {name}, true, false, false, {true}), t.Fields(), german,
                         "Test");
  std::vector<std::string> names{"apple", "Apple", "banana", "Zebra", "\xe4pfel", ""};
  std::vector<Bytes> keys;
  for (const std::string& n : names) {
    Bytes r = t.NewRecord(1);
    t.SetText(r, name, n);
    keys.push_back(Key(format, r));
  }
  // Descending by the locale, blank last.
  std::vector<size_t> order{0, 1, 2, 3, 4, 5};
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return format.Compare(keys[a].data(), keys[b].data()) < 0; });
  EXPECT_EQ(names[order.front()], "Zebra");
  EXPECT_EQ(names[order.back()], "");
  for (size_t i = 1; i + 1 < order.size(); ++i) {
    EXPECT_GE(platform::nls::CompareText(german, names[order[i - 1]], names[order[i]]), 0);
  }
}

TEST(IndexKeyTest, UnknownKeyFieldRaises10023) {
  TKeyTable t;
  t.Add("Id", fldINT32);
  TIndexDescriptor d;
  d.Name = "Broken";
  d.FieldCount = 1;
  d.FieldNumbers[0] = 9;
  d.KeySize = 5;
  try {
    TIndexKeyFormat format(1, d, t.Fields(), 0, "Test");
    FAIL();
  } catch (const EStrataEngineError& e) {
    EXPECT_EQ(e.Code, STRATA_INVALIDIDXDESC);
    EXPECT_EQ(e.ContextField, "9");
    EXPECT_EQ(e.ContextIndex, "Broken");
  }
}

}  // namespace
}  // namespace strata
