#include "storage/cursor/field_text.h"

#include <gtest/gtest.h>

#include <cmath>

#include "storage/record/convert_error.h"
#include "storage/record/record_buffer.h"
#include "storage/index/test_key_table.h"

namespace strata {
namespace {

using testing::TKeyTable;

class FieldTextTest : public ::testing::Test {
 protected:
  std::optional<std::string> RoundTrip(uint16_t field, const std::string& text) {
    std::vector<uint8_t> record = table.NewRecord(1);
    const std::vector<uint8_t> value = ParseFieldText(table.Field(field), text);
    SetField(table.Field(field), record, value, context);
    return FormatFieldText(table.Field(field), record, context);
  }

  TKeyTable table;
  TRecordContext context{"Test"};
};

TEST_F(FieldTextTest, NumbersKeepTheirValueThroughText) {
  const uint16_t real = table.Add("Real", fldFLOAT);
  const uint16_t word = table.Add("Word", fldUINT32);
  const uint16_t small = table.Add("Small", fldINT16);
  // The shortest text that reads back as the same double.
  EXPECT_EQ(RoundTrip(real, "0.1"), "0.1");
  EXPECT_EQ(RoundTrip(real, "-2.5e-300"), "-2.5e-300");
  EXPECT_EQ(RoundTrip(real, "1e+21"), "1e+21");
  EXPECT_EQ(RoundTrip(word, "4294967295"), "4294967295");
  EXPECT_THROW(RoundTrip(word, "4294967296"), EConvertError);
  EXPECT_THROW(RoundTrip(word, "-1"), EConvertError);
  EXPECT_THROW(RoundTrip(small, "32768"), EConvertError);
}

TEST_F(FieldTextTest, DatesAndTimesUseTheValueTextForms) {
  const uint16_t date = table.Add("D", fldDATE);
  const uint16_t time = table.Add("T", fldTIME);
  const uint16_t stamp = table.Add("TS", fldTIMESTAMP);
  EXPECT_EQ(RoundTrip(date, "0001-01-01"), "0001-01-01");
  EXPECT_EQ(RoundTrip(date, "2024-2-29"), "2024-02-29");
  EXPECT_EQ(RoundTrip(time, "0:00"), "00:00:00");
  EXPECT_EQ(RoundTrip(time, "23:59:59.999"), "23:59:59.999");
  EXPECT_EQ(RoundTrip(stamp, "1899-12-30 12:00:00"), "1899-12-30 12:00:00");
}

TEST_F(FieldTextTest, RawBytesAreHexadecimal) {
  const uint16_t bytes = table.Add("B", fldBYTES, 4);
  EXPECT_EQ(RoundTrip(bytes, "00ff10"), "00FF1000");            // the rest of the field is zero
  EXPECT_THROW(RoundTrip(bytes, "0"), EConvertError);           // half a byte
  EXPECT_THROW(RoundTrip(bytes, "0011223344"), EConvertError);  // longer than the field
  EXPECT_THROW(RoundTrip(bytes, "zz"), EConvertError);
}

TEST_F(FieldTextTest, BlankFieldsAndTypesWithoutTextHaveNone) {
  const uint16_t text = table.Add("S", fldZSTRING, 5);
  const uint16_t blob = table.Add("Blob", fldBLOB);
  const std::vector<uint8_t> record = table.NewRecord(1);
  EXPECT_EQ(FormatFieldText(table.Field(text), record, context), std::nullopt);
  EXPECT_EQ(FormatFieldText(table.Field(blob), record, context), std::nullopt);
  EXPECT_FALSE(HasFieldText(table.Field(blob)));
  EXPECT_THROW(ParseFieldText(table.Field(blob), "x"), EConvertError);
  EXPECT_EQ(RoundTrip(text, "abcdefgh"), "abcde");  // cut to the declared size
}

}  // namespace
}  // namespace strata
