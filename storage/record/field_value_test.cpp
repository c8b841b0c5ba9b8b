#include "storage/record/field_value.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "storage/engine_error.h"
#include "storage/record/field_validation.h"
#include "storage/record/record_buffer.h"
#include "storage/record/record_header.h"

namespace strata {
namespace {

TFieldDescriptor Field(uint16_t number, const char* name, uint8_t code, uint8_t declared = 0,
                       uint8_t subtype = 0) {
  TFieldDescriptor field;
  field.FieldNumber = number;
  field.Name = name;
  field.TypeCode = code;
  field.SubType = subtype;
  field.DeclaredSize = declared;
  return field;
}

uint16_t CodeOf(auto action) {
  try {
    action();
  } catch (const EStrataEngineError& error) {
    return error.Code;
  }
  return 0;
}

// One field of every type in one record.
class FieldValueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fields = {Field(1, "S", fldZSTRING, 8),
              Field(2, "D", fldDATE),
              Field(3, "B", fldBLOB),
              Field(4, "L", fldBOOL),
              Field(5, "I16", fldINT16),
              Field(6, "I32", fldINT32),
              Field(7, "Auto", fldINT32, 0, fldstAUTOINC),
              Field(8, "F", fldFLOAT),
              Field(9, "M", fldFLOAT, 0, fldstMONEY),
              Field(10, "Bcd", fldBCD),
              Field(11, "By", fldBYTES, 3),
              Field(12, "T", fldTIME),
              Field(13, "Ts", fldTIMESTAMP),
              Field(14, "W", fldUINT16),
              Field(15, "U32", fldUINT32),
              Field(16, "Ten", fldFLOATIEEE),
              Field(17, "Vb", fldVARBYTES, 5),
              Field(18, "Adt", fldADT),
              Field(19, "I64", fldINT64)};
    fields[9].Decimals = 3;
    record.resize(ValidateFieldDescriptors(fields, "Alles", 0, 512));
  }
  const TFieldDescriptor& F(const char* name) {
    for (const TFieldDescriptor& field : fields) {
      if (field.Name == name) return field;
    }
    throw std::logic_error(name);
  }

  TRecordContext context{"Alles"};
  std::vector<TFieldDescriptor> fields;
  std::vector<uint8_t> record;
};

TEST_F(FieldValueTest, EveryTypeRoundTripsAndStartsBlank) {
  for (const TFieldDescriptor& field : fields) {
    if (!field.IsAutoInc()) {
      EXPECT_TRUE(IsFieldBlank(field, record, context)) << field.Name;
    }
  }
  SetFieldString(F("S"), record, "Banner", context);
  SetFieldDate(F("D"), record, 693594, context);
  SetFieldBoolean(F("L"), record, true, context);
  SetFieldInt64(F("I16"), record, -32768, context);
  SetFieldInt64(F("I32"), record, std::numeric_limits<int32_t>::min(), context);
  SetFieldInt64(F("Auto"), record, 77, context);
  SetFieldDouble(F("F"), record, -0.125, context);
  SetFieldDouble(F("M"), record, 19.99, context);
  SetFieldBcd(F("Bcd"), record, TBcd::FromText("-12.3456"), context);
  const std::vector<uint8_t> three = {1, 2, 3};
  SetFieldBytes(F("By"), record, three, context);
  SetFieldTime(F("T"), record, 86399999, context);
  SetFieldTimestamp(F("Ts"), record, 63000000000000.5, context);
  SetFieldInt64(F("W"), record, 65535, context);
  SetFieldInt64(F("U32"), record, 4294967295, context);
  const std::vector<uint8_t> ten = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  SetFieldBytes(F("Ten"), record, ten, context);
  SetFieldBytes(F("Vb"), record, three, context);
  SetFieldInt64(F("I64"), record, std::numeric_limits<int64_t>::min(), context);

  EXPECT_EQ(GetFieldString(F("S"), record, context), "Banner");
  EXPECT_EQ(GetFieldDate(F("D"), record, context), 693594);
  EXPECT_EQ(GetFieldBoolean(F("L"), record, context), true);
  EXPECT_EQ(GetFieldInt64(F("I16"), record, context), -32768);
  EXPECT_EQ(GetFieldInt64(F("I32"), record, context), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(GetFieldInt64(F("Auto"), record, context), 77);
  EXPECT_EQ(GetRowNumber(record.data()), 77);
  EXPECT_EQ(GetFieldDouble(F("F"), record, context), -0.125);
  EXPECT_EQ(GetFieldDouble(F("M"), record, context), 19.99);
  EXPECT_EQ(GetFieldBcd(F("Bcd"), record, context)->ToText(), "-12.346");  // 3 decimals
  EXPECT_EQ(GetFieldDouble(F("Bcd"), record, context), -12.346);
  EXPECT_EQ(GetFieldBytes(F("By"), record, context), three);
  EXPECT_EQ(GetFieldTime(F("T"), record, context), 86399999);
  EXPECT_EQ(GetFieldTimestamp(F("Ts"), record, context), 63000000000000.5);
  EXPECT_EQ(GetFieldInt64(F("W"), record, context), 65535);
  EXPECT_EQ(GetFieldInt64(F("U32"), record, context), 4294967295);
  EXPECT_EQ(GetFieldBytes(F("Ten"), record, context), ten);
  EXPECT_EQ(GetFieldBytes(F("Vb"), record, context), (std::vector<uint8_t>{1, 2, 3, 0, 0}));
  EXPECT_EQ(GetFieldInt64(F("I64"), record, context), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(GetFieldDouble(F("W"), record, context), 65535.0);
  EXPECT_TRUE(IsFieldBlank(F("Adt"), record, context));
  EXPECT_TRUE(IsFieldBlank(F("B"), record, context));
}

TEST_F(FieldValueTest, IntegersOutsideTheTypeRangeAreRefused) {
  EXPECT_EQ(CodeOf([&] { SetFieldInt64(F("I16"), record, 32768, context); }), STRATA_MAXVALERR);
  EXPECT_EQ(CodeOf([&] { SetFieldInt64(F("I16"), record, -32769, context); }), STRATA_MINVALERR);
  EXPECT_EQ(CodeOf([&] { SetFieldInt64(F("W"), record, -1, context); }), STRATA_MINVALERR);
  EXPECT_EQ(CodeOf([&] { SetFieldInt64(F("I32"), record, 1ll << 31, context); }), STRATA_MAXVALERR);
  EXPECT_EQ(CodeOf([&] { SetFieldInt64(F("U32"), record, 1ll << 32, context); }), STRATA_MAXVALERR);
  EXPECT_TRUE(IsFieldBlank(F("I16"), record, context));
  SetFieldInt64(F("L"), record, 65536, context);  // any nonzero is true
  EXPECT_EQ(GetFieldBoolean(F("L"), record, context), true);
}

TEST_F(FieldValueTest, WrongTypeGives10000) {
  EXPECT_EQ(CodeOf([&] { GetFieldString(F("I16"), record, context); }), STRATA_INVALIDFLDTYPE);
  EXPECT_EQ(CodeOf([&] { GetFieldInt64(F("F"), record, context); }), STRATA_INVALIDFLDTYPE);
  EXPECT_EQ(CodeOf([&] { SetFieldDouble(F("I32"), record, 1.0, context); }), STRATA_INVALIDFLDTYPE);
  EXPECT_EQ(CodeOf([&] { SetFieldDate(F("Ts"), record, 1, context); }), STRATA_INVALIDFLDTYPE);
  EXPECT_EQ(CodeOf([&] { GetFieldBytes(F("B"), record, context); }), STRATA_INVALIDFLDTYPE);
}

TEST_F(FieldValueTest, StringReadStopsAtTheDataEvenWithoutTerminator) {
  const TFieldDescriptor& field = F("S");
  record[field.Offset] = 1;
  for (size_t i = 0; i < field.DataSize; ++i) record[field.Offset + 1 + i] = 'x';
  EXPECT_EQ(GetFieldString(field, record, context), std::string(field.DataSize, 'x'));
}

TEST_F(FieldValueTest, BcdKeepsTheFieldsDecimals) {
  SetFieldDouble(F("Bcd"), record, 2.0005, context);
  EXPECT_EQ(GetFieldBcd(F("Bcd"), record, context)->ToText(), "2.001");
  EXPECT_EQ(GetFieldBcd(F("Bcd"), record, context)->ToScaled(), 20010);
}

}  // namespace
}  // namespace strata
