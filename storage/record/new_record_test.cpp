#include "storage/record/new_record.h"

#include <gtest/gtest.h>

#include <vector>

#include "storage/record/field_validation.h"
#include "storage/record/field_value.h"
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

class NewRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fields = {Field(1, "Nr", fldINT32, 0, fldstAUTOINC),
              Field(2, "Land", fldZSTRING, 3),
              Field(3, "Menge", fldINT16),
              Field(4, "Aktiv", fldBOOL),
              Field(5, "Seit", fldDATE),
              Field(6, "Notiz", fldZSTRING, 10)};
    fields[1].DefaultValue = "de";
    fields[1].CharCase = 2;
    fields[2].DefaultValue = "12";
    fields[3].DefaultValue = "TRUE";
    fields[4].DefaultValue = "2000-01-01";
    record_size = ValidateFieldDescriptors(fields, "Lager", 0, 512);
  }

  TRecordContext context{"Lager"};
  std::vector<TFieldDescriptor> fields;
  uint16_t record_size = 0;
};

TEST_F(NewRecordTest, ZeroFillsNumbersAndAppliesDefaults) {
  std::vector<uint8_t> record(record_size, 0xCC);
  int32_t last = 41;
  InitNewRecord(fields, record, 7, &last, context);
  EXPECT_EQ(last, 42);
  EXPECT_EQ(GetRecordStatus(record.data()), kRecordLive);
  EXPECT_EQ(GetRecordNumber(record.data()), 7u);
  EXPECT_EQ(GetRowNumber(record.data()), 42);
  EXPECT_EQ(GetFieldInt64(fields[0], record, context), 42);
  EXPECT_EQ(GetFieldString(fields[1], record, context), "DE");
  EXPECT_EQ(GetFieldInt64(fields[2], record, context), 12);
  EXPECT_EQ(GetFieldBoolean(fields[3], record, context), true);
  EXPECT_EQ(GetFieldDate(fields[4], record, context), 730120);
  EXPECT_EQ(GetFieldString(fields[5], record, context), std::nullopt);
  // The blank field's bytes are zero, not left over from before.
  for (size_t i = fields[5].Offset; i < record.size(); ++i) EXPECT_EQ(record[i], 0);
}

TEST_F(NewRecordTest, RowNumberOnlyWhenAskedAndWrapping) {
  std::vector<uint8_t> record(record_size, 0xCC);
  InitNewRecord(fields, record, 3, nullptr, context);
  EXPECT_EQ(GetRowNumber(record.data()), 0);
  int32_t last = 2147483647;
  InitNewRecord(fields, record, 4, &last, context);
  EXPECT_EQ(GetRowNumber(record.data()), 1);
  EXPECT_EQ(last, 1);
}

TEST_F(NewRecordTest, DefaultOnAutoIncrementDoesNotOverrideTheRowNumber) {
  fields[0].DefaultValue = "5";
  std::vector<uint8_t> record(record_size);
  int32_t last = 99;
  InitNewRecord(fields, record, 1, &last, context);
  EXPECT_EQ(GetRowNumber(record.data()), 100);
}

}  // namespace
}  // namespace strata
