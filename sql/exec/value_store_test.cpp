#include "sql/exec/value_store.h"

#include <gtest/gtest.h>

#include "sql/exec/test_exec_tables.h"
#include "sql/expr/datetime_constant.h"

namespace strata {
namespace {

using testing::TTempDir;

// One table with a field of each kind values are stored into.
class ValueStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session_ = TDataSession::Create();
    directory_ = session_->OpenDirectory("", temp_.Dir());
    testing::TSchemaTable table{"Kinds", {}};
    const auto add = [&](const char* name, uint8_t type, uint8_t size, uint8_t subtype = 0) {
      TFieldDescriptor field;
      field.FieldNumber = static_cast<uint16_t>(table.Fields.size() + 1);
      field.Name = name;
      field.TypeCode = type;
      field.DeclaredSize = size;
      field.SubType = subtype;
      table.Fields.push_back(field);
    };
    add("S", fldZSTRING, 5);
    add("I", fldINT32, 0);
    add("B", fldBOOL, 0);
    add("F", fldFLOAT, 0);
    add("D", fldDATE, 0);
    add("T", fldTIME, 0);
    add("TS", fldTIMESTAMP, 0);
    add("M", fldBLOB, 0, fldstMEMO);
    add("W", fldINT16, 0);
    directory_->CreateTable(testing::DefinitionOf(table, false), {.Exclusive = true}, false);
    cursor_ = std::make_unique<TDataCursor>(directory_);
    cursor_->Open("Kinds");
    cursor_->InitRecord();
  }

  std::string Stored(uint16_t field, const TExpValue& value) {
    EXPECT_TRUE(StoreValue(*cursor_, field, value));
    return cursor_->GetFieldText(field).value_or("NULL");
  }
  static TExpValue Text(std::string_view text) {
    TExpValue value;
    value.SetString(text);
    return value;
  }
  static TExpValue Int(int64_t number) {
    TExpValue value;
    value.SetInt(fldINT32, number);
    return value;
  }
  static TExpValue Float(double number) {
    TExpValue value;
    value.SetFloat(fldFLOAT, number);
    return value;
  }

  TTempDir temp_;
  std::shared_ptr<TDataSession> session_;
  std::shared_ptr<TDataDirectory> directory_;
  std::unique_ptr<TDataCursor> cursor_;
};

TEST_F(ValueStoreTest, StringsAreCutToTheFieldAndTheEmptyOneIsNull) {
  EXPECT_EQ(Stored(1, Text("abcdefgh")), "abcde");
  EXPECT_EQ(Stored(1, Text("")), "NULL");
  EXPECT_EQ(Stored(1, Int(42)), "42");
  TExpValue yes;
  yes.SetBoolean(true);
  EXPECT_EQ(Stored(1, yes), "TRUE");
  EXPECT_EQ(Stored(8, Text("")), "NULL");
  EXPECT_EQ(Stored(8, Text("a memo")), "a memo");
}

TEST_F(ValueStoreTest, NumbersConvertBetweenTheirTypes) {
  EXPECT_EQ(Stored(2, Float(2.5)), "3");
  EXPECT_EQ(Stored(2, Float(-2.5)), "-3");
  EXPECT_EQ(Stored(2, Text("17")), "17");
  EXPECT_EQ(Stored(4, Int(7)), "7");
  EXPECT_EQ(Stored(3, Int(0)), "FALSE");
  EXPECT_EQ(Stored(3, Text("true")), "TRUE");
  // A whole number beyond the field's range is the storage engine's error.
  EXPECT_THROW(StoreValue(*cursor_, 9, Int(70000)), EStrataEngineError);
}

TEST_F(ValueStoreTest, DatesAndTimesTakeThePartThatFits) {
  EXPECT_EQ(Stored(5, Text("2024-02-29")), "2024-02-29");
  EXPECT_EQ(Stored(6, Text("13:05:00")), "13:05:00");
  EXPECT_EQ(Stored(7, Text("2024-02-29 13:05:00")), "2024-02-29 13:05:00");
  TExpValue stamp;
  stamp.SetFloat(fldTIMESTAMP, *ReadTimestampConstant("2024-03-01 06:30:00"));
  EXPECT_EQ(Stored(5, stamp), "2024-03-01");
  EXPECT_EQ(Stored(6, stamp), "06:30:00");
}

TEST_F(ValueStoreTest, WhatCannotBeConvertedIsRefusedAndNothingStored) {
  cursor_->PutFieldInt64(2, 5);
  EXPECT_FALSE(StoreValue(*cursor_, 2, Text("x")));
  EXPECT_EQ(cursor_->GetFieldText(2), "5");
  EXPECT_FALSE(StoreValue(*cursor_, 5, Text("not a date")));
  EXPECT_FALSE(StoreValue(*cursor_, 5, Int(3)));
  TExpValue null;
  EXPECT_TRUE(StoreValue(*cursor_, 2, null));
  EXPECT_EQ(cursor_->GetFieldText(2), std::nullopt);
}

}  // namespace
}  // namespace strata
