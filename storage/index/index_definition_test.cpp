#include "storage/index/index_definition.h"

#include <gtest/gtest.h>

#include <string>

#include "storage/engine_error.h"
#include "storage/index/test_key_table.h"

namespace strata {
namespace {

using testing::TKeyTable;

class IndexDefinitionTest : public ::testing::Test {
 protected:
  IndexDefinitionTest() {
    id = table.Add("Id", fldINT32);
    name = table.Add("Name", fldZSTRING, 250);
    picture = table.Add("Picture", fldBLOB);
    other = table.Add("Other", fldZSTRING, 250);
    third = table.Add("Third", fldZSTRING, 250);
  }

  // Runs `body` and returns the engine error code it raised (0 if none).
  template <class F>
  uint16_t CodeOf(F body) {
    try {
      body();
    } catch (const EStrataEngineError& e) {
      last = e;
      return e.Code;
    }
    return 0;
  }

  TIndexDef Secondary(const std::string& index_name, std::vector<uint16_t> fields) {
    TIndexDef def;
    def.Name = index_name;
    def.FieldNumbers = std::move(fields);
    return def;
  }

  TKeyTable table;
  uint16_t id, name, picture, other, third;
  TIndexHeader header = TIndexHeader::Fresh();
  EStrataEngineError last{0, {}};
};

TEST_F(IndexDefinitionTest, PrimaryIndex) {
  TIndexDef primary;
  primary.Primary = true;
  primary.FieldNumbers = {id};
  DefinePrimaryIndex(header, primary, table.Fields(), "Links");
  EXPECT_FALSE(header.NoPrimaryFields);
  EXPECT_TRUE(header.Indexes[0].Unique);
  EXPECT_EQ(header.Indexes[0].KeySize, 5);
  EXPECT_EQ(header.Indexes[0].Name, "");
  EXPECT_EQ(CodeOf([&] { DefinePrimaryIndex(header, primary, table.Fields(), "Links"); }),
            STRATA_PRIMARYKEYREDEFINE);
  EXPECT_EQ(last.ContextTable, "Links");
}

TEST_F(IndexDefinitionTest, PrimaryWithoutFieldsOrdersByRowNumber) {
  header.NoPrimaryFields = false;
  TIndexDef none;
  none.Primary = true;
  DefinePrimaryIndex(header, none, table.Fields(), "Links");
  EXPECT_TRUE(header.NoPrimaryFields);
  EXPECT_FALSE(header.Indexes[0].InUse());
}

TEST_F(IndexDefinitionTest, PrimaryLimits) {
  TIndexDef wide;
  wide.Primary = true;
  wide.FieldNumbers.assign(17, id);
  EXPECT_EQ(CodeOf([&] { DefinePrimaryIndex(header, wide, table.Fields(), "T"); }),
            STRATA_INDEXLIMIT);
  TIndexDef blob;
  blob.Primary = true;
  blob.FieldNumbers = {id, picture};
  EXPECT_EQ(CodeOf([&] { DefinePrimaryIndex(header, blob, table.Fields(), "T"); }),
            STRATA_SEARCHCOLREQD);
  EXPECT_EQ(last.ContextField, "Picture");
  EXPECT_EQ(header.Indexes[0].FieldCount, 0);  // nothing changed
}

TEST_F(IndexDefinitionTest, SecondaryIndexesFillSlotsInOrder) {
  EXPECT_EQ(AddSecondaryIndex(header, Secondary("ById", {id}), table.Fields(), "T"), 1);
  TIndexDef desc = Secondary("ByName", {name, id});
  desc.Descending = true;
  desc.CaseInsensitive = true;
  EXPECT_EQ(AddSecondaryIndex(header, desc, table.Fields(), "T"), 2);
  EXPECT_EQ(header.SecondaryCount, 2);
  const TIndexDescriptor& d = header.Indexes[2];
  EXPECT_EQ(d.KeySize, 252 + 5 + 4);
  EXPECT_TRUE(d.Descending && d.CaseInsensitive && !d.Unique);
  for (bool flag : d.FieldDescending) EXPECT_TRUE(flag);
  EXPECT_EQ(header.Indexes[1].KeySize, 9);
}

TEST_F(IndexDefinitionTest, NameRules) {
  EXPECT_EQ(CodeOf([&] { AddSecondaryIndex(header, Secondary("", {id}), table.Fields(), "T"); }),
            STRATA_INDEXNAMEREQUIRED);
  EXPECT_EQ(CodeOf([&] { AddSecondaryIndex(header, Secondary("  ", {id}), table.Fields(), "T"); }),
            STRATA_INDEXNAMEREQUIRED);
  EXPECT_EQ(CodeOf([&] { AddSecondaryIndex(header, Secondary("1st", {id}), table.Fields(), "T"); }),
            STRATA_INVALIDINDEXNAME);
  EXPECT_EQ(last.ContextIndex, "1st");
  EXPECT_EQ(CodeOf([&] {
              AddSecondaryIndex(header, Secondary(std::string(31, 'x'), {id}), table.Fields(), "T");
            }),
            STRATA_INVALIDINDEXNAME);
  EXPECT_EQ(CodeOf([&] {
              AddSecondaryIndex(header, Secondary("\xe4nderung", {id}), table.Fields(), "T");
            }),
            0);
  EXPECT_EQ(CodeOf([&] { AddSecondaryIndex(header, Secondary("_x", {id}), table.Fields(), "T"); }),
            0);
  EXPECT_EQ(CodeOf([&] { AddSecondaryIndex(header, Secondary("_X", {id}), table.Fields(), "T"); }),
            STRATA_INDEXEXISTS);
  EXPECT_EQ(CodeOf([&] {
              AddSecondaryIndex(header, Secondary("sys deleted", {id}), table.Fields(), "T");
            }),
            STRATA_INDEXEXISTS);
  EXPECT_EQ(header.SecondaryCount, 2);
}

TEST_F(IndexDefinitionTest, FieldAndSizeRules) {
  EXPECT_EQ(CodeOf([&] { AddSecondaryIndex(header, Secondary("A", {42}), table.Fields(), "T"); }),
            STRATA_INVALIDIDXDESC);
  EXPECT_EQ(last.ContextField, "42");
  EXPECT_EQ(last.ContextIndex, "A");
  EXPECT_EQ(
      CodeOf([&] { AddSecondaryIndex(header, Secondary("A", {picture}), table.Fields(), "T"); }),
      STRATA_SEARCHCOLREQD);
  EXPECT_EQ(CodeOf([&] { AddSecondaryIndex(header, Secondary("A", {}), table.Fields(), "T"); }),
            STRATA_INVALIDKEY);
  // 252 + 252 = 504 fits; a third text field (756) does not.
  EXPECT_EQ(CodeOf([&] {
              AddSecondaryIndex(header, Secondary("Two", {name, other}), table.Fields(), "T");
            }),
            0);
  EXPECT_EQ(
      CodeOf([&] {
        AddSecondaryIndex(header, Secondary("Three", {name, other, third}), table.Fields(), "T");
      }),
      STRATA_INVALIDKEY);
  EXPECT_EQ(last.ContextIndex, "Three");
  TIndexDef wide = Secondary("Wide", {});
  wide.FieldNumbers.assign(17, id);
  EXPECT_EQ(CodeOf([&] { AddSecondaryIndex(header, wide, table.Fields(), "T"); }),
            STRATA_INDEXLIMIT);
}

TEST_F(IndexDefinitionTest, AtMostThirtySecondaryIndexes) {
  for (int i = 0; i < kMaxSecondaryIndexes; ++i) {
    EXPECT_EQ(
        AddSecondaryIndex(header, Secondary("I" + std::to_string(i), {id}), table.Fields(), "T"),
        i + 1);
  }
  EXPECT_EQ(
      CodeOf([&] { AddSecondaryIndex(header, Secondary("More", {id}), table.Fields(), "T"); }),
      STRATA_INDEXLIMIT);
  EXPECT_EQ(header.Indexes[kSysDeletedIndex].Name, kSysDeletedName);  // untouched
}

TEST(KeyWidthTest, BcdKeysTakeEightBytes) {
  TFieldDescriptor bcd;
  bcd.TypeCode = fldBCD;
  bcd.DataSize = 34;
  EXPECT_EQ(KeyValueWidth(bcd), 8);
  TFieldDescriptor text;
  text.TypeCode = fldZSTRING;
  text.DataSize = 11;
  EXPECT_EQ(KeyValueWidth(text), 11);
}

}  // namespace
}  // namespace strata
