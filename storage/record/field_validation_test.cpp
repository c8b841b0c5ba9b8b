#include "storage/record/field_validation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/engine_error.h"

namespace strata {
namespace {

TFieldDescriptor Field(uint16_t number, std::string name, uint8_t code, uint8_t declared = 0,
                       uint8_t subtype = 0) {
  TFieldDescriptor field;
  field.FieldNumber = number;
  field.Name = std::move(name);
  field.TypeCode = code;
  field.SubType = subtype;
  field.DeclaredSize = declared;
  return field;
}

// The code of the engine error validation raises, 0 when it passes.
uint16_t ErrorCode(std::vector<TFieldDescriptor> fields, size_t indexes = 0,
                   uint32_t block_size = 512, bool allow_not_stored = false,
                   std::string* field_named = nullptr) {
  try {
    ValidateFieldDescriptors(fields, "Kunden", indexes, block_size, allow_not_stored);
  } catch (const EStrataEngineError& error) {
    EXPECT_EQ(error.ContextTable, "Kunden");
    if (field_named != nullptr) *field_named = error.ContextField;
    return error.Code;
  }
  return 0;
}

TEST(FieldValidation, ThreeLongStringsMakeRecordSize765) {
  std::vector<TFieldDescriptor> fields = {Field(1, "A", fldZSTRING, 250),
                                          Field(2, "B", fldZSTRING, 250),
                                          Field(3, "C", fldZSTRING, 250)};
  EXPECT_EQ(ValidateFieldDescriptors(fields, "T", 0, 0), 765);
  EXPECT_EQ(fields[0].Offset, 9);
  EXPECT_EQ(fields[1].Offset, 9 + 252);
  EXPECT_EQ(fields[2].Offset, 9 + 2 * 252);
  EXPECT_EQ(fields[2].DataSize, 251);
}

TEST(FieldValidation, AssignsSizesAndOffsetsSkippingAutoIncAndNotStored) {
  std::vector<TFieldDescriptor> fields = {Field(1, " ID ", fldINT32, 0, fldstAUTOINC),
                                          Field(2, "Name", fldZSTRING, 20),
                                          Field(3, "Calc", fldFLOAT),
                                          Field(4, "Preis", fldBCD, 9),
                                          Field(5, "Aktiv", fldBOOL, 3),
                                          Field(6, "Bild", fldBLOB, 0, fldstGRAPHIC)};
  fields[2].NotStored = true;
  fields[3].Decimals = 2;
  fields[4].Decimals = 5;
  const uint16_t size = ValidateFieldDescriptors(fields, "T", 1, 512, true);
  EXPECT_EQ(fields[0].Name, "ID");
  EXPECT_EQ(fields[0].Offset, 5);
  EXPECT_EQ(fields[1].Offset, 9);
  EXPECT_EQ(fields[1].DataSize, 21);
  EXPECT_EQ(fields[2].Offset, 0);
  EXPECT_EQ(fields[3].Offset, 31);
  EXPECT_EQ(fields[3].DeclaredSize, 0);
  EXPECT_EQ(fields[3].DataSize, 34);
  EXPECT_EQ(fields[3].DecimalsCopy, 2);
  EXPECT_EQ(fields[4].Offset, 66);
  EXPECT_EQ(fields[4].DeclaredSize, 0);
  EXPECT_EQ(fields[4].Decimals, 0);
  EXPECT_EQ(fields[5].Offset, 69);
  EXPECT_EQ(size, 78);
}

TEST(FieldValidation, BadNamesGive10038) {
  std::string named;
  EXPECT_EQ(ErrorCode({Field(1, std::string(31, 'a'), fldINT32)}, 0, 512, false, &named), 10038);
  EXPECT_EQ(named, std::string(31, 'a'));
  EXPECT_EQ(ErrorCode({Field(1, "1st", fldINT32)}), 10038);
  EXPECT_EQ(ErrorCode({Field(1, "   ", fldINT32)}), 10038);
  EXPECT_EQ(ErrorCode({Field(1, "-x", fldINT32)}), 10038);
  EXPECT_EQ(ErrorCode({Field(1, "\xFF", fldINT32)}), 10038);
  EXPECT_EQ(
      ErrorCode({Field(1, "Name", fldINT32), Field(2, " NAME", fldINT32)}, 0, 512, false, &named),
      10038);
  EXPECT_EQ(named, "NAME");
  EXPECT_EQ(ErrorCode({Field(1, std::string(30, 'a'), fldINT32), Field(2, "_x", fldINT32),
                       Field(3, "\x80", fldINT32), Field(4, "\xFE", fldINT32),
                       Field(5, "Z9 y", fldINT32)}),
            0);
}

TEST(FieldValidation, BadDefinitionsGive10000) {
  std::string named;
  EXPECT_EQ(ErrorCode({Field(1, "A", fldINT32), Field(1, "B", fldINT32)}, 0, 512, false, &named),
            10000);
  EXPECT_EQ(named, "B");
  EXPECT_EQ(ErrorCode({Field(1, "A", fldUNKNOWN)}), 10000);
  EXPECT_EQ(ErrorCode({Field(1, "A", 16)}), 10000);
  EXPECT_EQ(ErrorCode({Field(1, "A", fldZSTRING, 251)}), 10000);
  EXPECT_EQ(ErrorCode({Field(1, "A", fldBYTES, 251)}), 10000);
  EXPECT_EQ(ErrorCode({Field(1, "A", fldVARBYTES, 255)}), 10000);
  EXPECT_EQ(ErrorCode({Field(1, "A", fldVARBYTES, 250)}), 0);
  TFieldDescriptor not_stored = Field(1, "A", fldINT32);
  not_stored.NotStored = true;
  EXPECT_EQ(ErrorCode({not_stored}), 10000);
  EXPECT_EQ(ErrorCode({not_stored}, 0, 512, true), 0);
}

TEST(FieldValidation, BadValueTextsGive10006) {
  TFieldDescriptor date = Field(1, "Datum", fldDATE);
  date.MinValue = "2000-01-01";
  date.MaxValue = "CURRENT_DATE";
  date.DefaultValue = "2000-02-30";
  std::string named;
  EXPECT_EQ(ErrorCode({date}, 0, 512, false, &named), 10006);
  EXPECT_EQ(named, "Datum");
  date.DefaultValue = "";
  EXPECT_EQ(ErrorCode({date}), 0);
  TFieldDescriptor flag = Field(1, "Flag", fldBOOL);
  flag.MaxValue = "ja";
  EXPECT_EQ(ErrorCode({flag}), 10006);
  TFieldDescriptor blob = Field(1, "Blob", fldBLOB);
  blob.DefaultValue = "x";
  EXPECT_EQ(ErrorCode({blob}), 10006);
}

TEST(FieldValidation, Limits) {
  std::vector<TFieldDescriptor> many;
  for (uint16_t i = 1; i <= 1025; ++i) many.push_back(Field(i, "F" + std::to_string(i), fldBOOL));
  EXPECT_EQ(ErrorCode(many), 9492);
  many.pop_back();
  EXPECT_EQ(ErrorCode(many), 0);

  std::vector<TFieldDescriptor> blobs;
  for (uint16_t i = 1; i <= 129; ++i) blobs.push_back(Field(i, "B" + std::to_string(i), fldBLOB));
  EXPECT_EQ(ErrorCode(blobs), 9498);
  blobs.pop_back();
  EXPECT_EQ(ErrorCode(blobs), 0);

  const std::vector<TFieldDescriptor> one = {Field(1, "A", fldINT32)};
  EXPECT_EQ(ErrorCode(one, 0, 63), 9498);
  EXPECT_EQ(ErrorCode(one, 0, 64), 0);
  EXPECT_EQ(ErrorCode(one, 0, 0), 0);  // 0 stands for 512
  EXPECT_EQ(ErrorCode(one, 33), 9487);
  EXPECT_EQ(ErrorCode(one, 32), 0);

  // 9 + 260 x 252 = 65529 fits, and so does a 5-byte field; a 9-byte one does not.
  std::vector<TFieldDescriptor> wide;
  for (uint16_t i = 1; i <= 260; ++i)
    wide.push_back(Field(i, "S" + std::to_string(i), fldZSTRING, 250));
  std::vector<TFieldDescriptor> copy = wide;
  EXPECT_EQ(ValidateFieldDescriptors(copy, "T", 0, 512), 65529);
  wide.push_back(Field(261, "Last", fldINT32));
  EXPECT_EQ(ErrorCode(wide), 0);
  wide.back().TypeCode = fldINT64;
  EXPECT_EQ(ErrorCode(wide), 9477);
}

TEST(FieldValidation, FailureLeavesDescriptorsUnchanged) {
  std::vector<TFieldDescriptor> fields = {Field(1, " A ", fldINT32, 7), Field(2, "9", fldINT32)};
  EXPECT_THROW(ValidateFieldDescriptors(fields, "T", 0, 512), EStrataEngineError);
  EXPECT_EQ(fields[0].Name, " A ");
  EXPECT_EQ(fields[0].DeclaredSize, 7);
  EXPECT_EQ(fields[0].Offset, 0);
}

}  // namespace
}  // namespace strata
