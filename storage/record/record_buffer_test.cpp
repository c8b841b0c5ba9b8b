#include "storage/record/record_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "storage/byte_order.h"
#include "storage/engine_error.h"
#include "storage/record/record_header.h"

namespace strata {
namespace {

TFieldDescriptor Field(uint8_t code, uint8_t declared, uint16_t offset, uint8_t subtype = 0) {
  TFieldDescriptor field;
  field.Name = "F";
  field.TypeCode = code;
  field.SubType = subtype;
  field.DeclaredSize = declared;
  field.DataSize = FieldDataSize(code, declared);
  field.Offset = offset;
  return field;
}

std::span<const uint8_t> Text(const char* text) {
  return {reinterpret_cast<const uint8_t*>(text), std::strlen(text)};
}

std::string StoredText(const std::vector<uint8_t>& record, const TFieldDescriptor& field) {
  return std::string(reinterpret_cast<const char*>(record.data() + field.Offset + 1));
}

class RecordBufferTest : public ::testing::Test {
 protected:
  TRecordContext context{"Kunden"};
  std::vector<uint8_t> record = std::vector<uint8_t>(64, 0);
};

TEST_F(RecordBufferTest, EmptyOrSpacesOnlyStringIsBlank) {
  const TFieldDescriptor field = Field(fldZSTRING, 10, 9);
  SetField(field, record, Text("x"), context);
  EXPECT_EQ(record[9], 1);
  for (const char* text : {"", "     ", " "}) {
    record[9] = 1;
    EXPECT_TRUE(SetField(field, record, Text(text), context));
    EXPECT_EQ(record[9], 0) << "'" << text << "'";
    EXPECT_TRUE(IsFieldBlank(field, record, context));
    EXPECT_EQ(record[10], 0);
  }
}

TEST_F(RecordBufferTest, StringIsCutToDeclaredSizeThenLosesTrailingSpaces) {
  const TFieldDescriptor field = Field(fldZSTRING, 5, 9);
  SetField(field, record, Text("abcdefgh"), context);
  EXPECT_EQ(StoredText(record, field), "abcde");
  EXPECT_EQ(record[9 + 1 + 5], 0);  // terminator at data size - 1
  EXPECT_EQ(record[9 + 1 + 6], 0);  // the next field's flag is untouched

  SetField(field, record, Text("ab   cd"), context);
  EXPECT_EQ(StoredText(record, field), "ab");  // cut first, then trimmed
  SetField(field, record, Text("  a  "), context);
  EXPECT_EQ(StoredText(record, field), "  a");  // leading blanks stay
}

TEST_F(RecordBufferTest, StringStopsAtZeroByteAndClearsOldTail) {
  const TFieldDescriptor field = Field(fldZSTRING, 10, 9);
  SetField(field, record, Text("longer text"), context);
  const uint8_t value[] = {'a', 'b', 0, 'c'};
  SetField(field, record, value, context);
  EXPECT_EQ(StoredText(record, field), "ab");
  for (size_t i = 12; i < 20; ++i) EXPECT_EQ(record[i], 0) << i;
}

TEST_F(RecordBufferTest, StringTakesTheFieldsCharacterCase) {
  TFieldDescriptor field = Field(fldZSTRING, 10, 9);
  field.CharCase = 2;
  SetField(field, record, Text("Meier ag"), context);
  EXPECT_EQ(StoredText(record, field), "MEIER AG");
  field.CharCase = 1;
  SetField(field, record, Text("Meier AG"), context);
  EXPECT_EQ(StoredText(record, field), "meier ag");
  field.CharCase = 0;
  SetField(field, record, Text("Meier AG"), context);
  EXPECT_EQ(StoredText(record, field), "Meier AG");
}

TEST_F(RecordBufferTest, StringCaseOfWindows1252Letters) {
  TFieldDescriptor field = Field(fldZSTRING, 10, 9);
  field.CharCase = 2;
  SetField(field, record, Text("\xE9t\xE9"), context);  // "été"
  EXPECT_EQ(StoredText(record, field), "\xC9T\xC9");
  field.CharCase = 1;
  SetField(field, record, Text("\xC4RGER"), context);  // "ÄRGER"
  EXPECT_EQ(StoredText(record, field), "\xE4rger");
}

TEST_F(RecordBufferTest, BooleanOtherThanZeroOrOneReadsAsOne) {
  const TFieldDescriptor field = Field(fldBOOL, 0, 9);
  uint8_t value[2];
  for (uint16_t in : {0, 1, 7, 0xFFFF}) {
    PutU16(value, in);
    SetField(field, record, value, context);
    uint8_t out[2];
    EXPECT_FALSE(GetField(field, record, out, context));
    EXPECT_EQ(GetU16(out), in == 0 ? 0 : 1) << in;
  }
}

TEST_F(RecordBufferTest, BlobReferenceDecidesTheFlag) {
  const TFieldDescriptor field = Field(fldBLOB, 0, 9, fldstMEMO);
  uint8_t value[4];
  PutI32(value, 17);
  SetField(field, record, value, context);
  EXPECT_EQ(record[9], 1);
  EXPECT_EQ(GetI32(record.data() + 10), 17);
  EXPECT_EQ(GetU32(record.data() + 14), 0u);

  PutI32(value, 0);
  SetField(field, record, value, context, /*value_blank=*/false);
  EXPECT_EQ(record[9], 0);

  PutI32(value, -3);
  SetField(field, record, value, context, /*value_blank=*/false);
  EXPECT_EQ(record[9], 1);
  SetField(field, record, value, context, /*value_blank=*/true);
  EXPECT_EQ(record[9], 0);
  EXPECT_EQ(GetI32(record.data() + 10), -3);
}

TEST_F(RecordBufferTest, GetOfBlobYieldsOnlyTheReference) {
  const TFieldDescriptor field = Field(fldBLOB, 0, 9);
  record[9] = 1;
  PutI32(record.data() + 10, 5);
  PutU32(record.data() + 14, 0xDEADBEEF);  // junk in the unused half
  uint8_t out[8];
  std::memset(out, 0xAA, sizeof out);
  EXPECT_FALSE(GetField(field, record, out, context));
  EXPECT_EQ(GetI32(out), 5);
  EXPECT_EQ(GetU32(out + 4), 0u);
}

TEST_F(RecordBufferTest, AutoIncrementIsTheRowNumberAndNeverBlank) {
  const TFieldDescriptor field = Field(fldINT32, 0, 5, fldstAUTOINC);
  SetRowNumber(record.data(), 42);
  uint8_t out[4];
  EXPECT_FALSE(GetField(field, record, out, context));
  EXPECT_EQ(GetI32(out), 42);

  EXPECT_FALSE(SetFieldBlank(field, record, context));
  EXPECT_EQ(GetRowNumber(record.data()), 42);
  EXPECT_FALSE(IsFieldBlank(field, record, context));

  uint8_t value[4];
  PutI32(value, 1000);
  EXPECT_TRUE(SetField(field, record, value, context));
  EXPECT_EQ(GetRowNumber(record.data()), 1000);
  EXPECT_EQ(record[4], 0);  // no flag byte before it
  EXPECT_EQ(record[9], 0);
}

TEST_F(RecordBufferTest, SetBlankZeroesFlagAndData) {
  const TFieldDescriptor field = Field(fldFLOAT, 0, 9);
  uint8_t value[8];
  PutF64(value, 2.5);
  SetField(field, record, value, context);
  EXPECT_EQ(record[9], 1);
  EXPECT_TRUE(SetFieldBlank(field, record, context));
  for (size_t i = 9; i < 18; ++i) EXPECT_EQ(record[i], 0);
  uint8_t out[8];
  EXPECT_TRUE(GetField(field, record, out, context));
  EXPECT_EQ(GetF64(out), 0.0);
}

TEST_F(RecordBufferTest, NotStoredFieldIsSkippedUnlessAsked) {
  TFieldDescriptor field = Field(fldINT32, 0, 20);
  field.NotStored = true;
  uint8_t value[4];
  PutI32(value, 9);
  EXPECT_FALSE(SetField(field, record, value, context));
  EXPECT_FALSE(SetFieldBlank(field, record, context));
  EXPECT_EQ(record[20], 0);
  EXPECT_TRUE(SetField(field, record, value, context, false, /*write_not_stored=*/true));
  EXPECT_EQ(record[20], 1);
  EXPECT_EQ(GetI32(record.data() + 21), 9);

  // Without a place in the buffer it reads blank, and writing it is refused.
  field.Offset = 0;
  uint8_t out[4] = {1, 1, 1, 1};
  EXPECT_TRUE(GetField(field, record, out, context));
  EXPECT_EQ(GetI32(out), 0);
  try {
    SetField(field, record, value, context, false, true);
    FAIL() << "writing into the record header must be refused";
  } catch (const EStrataEngineError& error) {
    EXPECT_EQ(error.Code, STRATA_OUTOFRANGE);
    EXPECT_EQ(error.ContextTable, "Kunden");
  }
  EXPECT_EQ(record[0], 0);
}

TEST_F(RecordBufferTest, FieldBeyondTheBufferRaises9985) {
  const TFieldDescriptor field = Field(fldZSTRING, 60, 9);  // needs 9 + 62 bytes
  try {
    SetField(field, record, Text("x"), context);
    FAIL();
  } catch (const EStrataEngineError& error) {
    EXPECT_EQ(error.Code, STRATA_OUTOFRANGE);
    EXPECT_EQ(error.ContextField, "F");
  }
  EXPECT_THROW(IsFieldBlank(field, record, context), EStrataEngineError);
}

TEST_F(RecordBufferTest, ShortValueForFixedTypeRaises10000) {
  const TFieldDescriptor field = Field(fldINT64, 0, 9);
  const uint8_t value[4] = {1, 2, 3, 4};
  try {
    SetField(field, record, value, context);
    FAIL();
  } catch (const EStrataEngineError& error) {
    EXPECT_EQ(error.Code, STRATA_INVALIDFLDTYPE);
  }
  EXPECT_EQ(record[9], 0);
}

// Every fixed-size type stores its bytes unchanged after a flag of 1 and
// gives them back; neighbours are untouched.
TEST_F(RecordBufferTest, EveryFixedTypeRoundTrips) {
  struct Case {
    uint8_t code;
    uint8_t declared;
  };
  const Case cases[] = {{fldDATE, 0},   {fldINT16, 0},  {fldINT32, 0},     {fldFLOAT, 0},
                        {fldBCD, 0},    {fldBYTES, 12}, {fldTIME, 0},      {fldTIMESTAMP, 0},
                        {fldUINT16, 0}, {fldUINT32, 0}, {fldFLOATIEEE, 0}, {fldVARBYTES, 7},
                        {fldINT64, 0}};
  for (const Case& c : cases) {
    const TFieldDescriptor field = Field(c.code, c.declared, 12);
    std::vector<uint8_t> buffer(12 + 1 + field.DataSize + 3, 0x5A);
    std::vector<uint8_t> value(field.DataSize);
    for (size_t i = 0; i < value.size(); ++i) value[i] = static_cast<uint8_t>(0x80 + i * 7);
    EXPECT_TRUE(SetField(field, buffer, value, context));
    EXPECT_EQ(buffer[12], 1);
    EXPECT_EQ(buffer[11], 0x5A);
    EXPECT_EQ(buffer[12 + 1 + field.DataSize], 0x5A);
    std::vector<uint8_t> out(field.DataSize, 0xFF);
    EXPECT_FALSE(GetField(field, buffer, out, context));
    EXPECT_EQ(out, value) << "type " << int(c.code);
  }
}

TEST(RecordHeader, AccessorsUseTheirBytes) {
  uint8_t record[9] = {};
  SetRecordStatus(record, kRecordDeleted);
  SetFreeLink(record, 0x01020304);
  SetRowNumber(record, -2);
  const uint8_t expected[9] = {1, 4, 3, 2, 1, 0xFE, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(std::memcmp(record, expected, 9), 0);
  EXPECT_EQ(GetRecordNumber(record), 0x01020304u);
  EXPECT_EQ(GetRecordStatus(record), kRecordDeleted);
  EXPECT_EQ(GetRowNumber(record), -2);
}

TEST(RecordHeader, RowNumberWrapsAfterTheLargestInt32) {
  EXPECT_EQ(NextRowNumber(0), 1);
  EXPECT_EQ(NextRowNumber(41), 42);
  EXPECT_EQ(NextRowNumber(2147483646), 2147483647);
  EXPECT_EQ(NextRowNumber(2147483647), 1);
  EXPECT_EQ(NextRowNumber(-5), 1);
}

}  // namespace
}  // namespace strata
