#include "storage/record/value_text.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "storage/record/bcd.h"
#include "storage/byte_order.h"
#include "storage/record/convert_error.h"
#include "storage/record/date_time.h"

namespace strata {
namespace {

// The message an EConvertError of `parse` carries, or "" when none is thrown.
template <typename Parse>
std::string ErrorOf(Parse parse) {
  try {
    parse();
  } catch (const EConvertError& error) {
    return error.what();
  }
  return "";
}

int32_t Day(int year, int month, int day) {
  int32_t number = 0;
  TryEncodeDate(year, month, day, number);
  return number;
}

TFieldDescriptor Field(uint8_t code, uint8_t decimals = 0) {
  TFieldDescriptor field;
  field.TypeCode = code;
  field.Decimals = decimals;
  field.DataSize = FieldDataSize(code, 0);
  return field;
}

TEST(DateText, ParsesYearMonthDay) {
  EXPECT_EQ(ParseDateText("1899-12-30"), 693594);
  EXPECT_EQ(ParseDateText("2024-2-29"), Day(2024, 2, 29));
  EXPECT_EQ(ParseDateText(" 0001-01-01 "), 1);
  EXPECT_EQ(ParseDateText("current_date"), CurrentDate());
  for (const char* text : {"2023-02-29", "2023/01/01", "2023-1", "2023-01-01x", "", "-1-1-1",
                           "CURRENT_TIME", "2023-13-01", "01.02.2023"}) {
    EXPECT_EQ(ErrorOf([&] { ParseDateText(text); }),
              "'" + std::string(text) + "' is not a valid date");
  }
}

TEST(TimeText, ParsesClockTimes) {
  EXPECT_EQ(ParseTimeText("0:00"), 0);
  EXPECT_EQ(ParseTimeText("13:45"), (13 * 60 + 45) * 60000);
  EXPECT_EQ(ParseTimeText("13:45:30"), ((13 * 60 + 45) * 60 + 30) * 1000);
  EXPECT_EQ(ParseTimeText("13:45:30.5"), ((13 * 60 + 45) * 60 + 30) * 1000 + 500);
  EXPECT_EQ(ParseTimeText("13:45:30.1239"), ((13 * 60 + 45) * 60 + 30) * 1000 + 123);
  EXPECT_EQ(ParseTimeText("1:05 PM"), (13 * 60 + 5) * 60000);
  EXPECT_EQ(ParseTimeText("12:00 am"), 0);
  EXPECT_EQ(ParseTimeText("12:30pm"), (12 * 60 + 30) * 60000);
  EXPECT_EQ(ParseTimeText("11:59:59 AM"), ((11 * 60 + 59) * 60 + 59) * 1000);
  const int32_t now = ParseTimeText("Current_Time");
  EXPECT_GE(now, 0);
  EXPECT_LT(now, kMsPerDay);
  for (const char* text : {"24:00", "12:60", "13:00 PM", "12", "12:30:", "12:30.5", "12:30 XM",
                           "12:30:10.", "", "a:b"}) {
    EXPECT_EQ(ErrorOf([&] { ParseTimeText(text); }),
              "'" + std::string(text) + "' is not a valid time");
  }
}

TEST(TimestampText, ParsesDateBlankTime) {
  EXPECT_EQ(ParseTimestampText("1899-12-30 12:00"), 693594.0 * kMsPerDay + 12 * 3600000.0);
  EXPECT_EQ(ParseTimestampText("2000-01-01  1:02:03.004 PM"),
            MakeTimestamp(Day(2000, 1, 1), ((13 * 60 + 2) * 60 + 3) * 1000 + 4));
  const double midnight = ParseTimestampText("CURRENT_DATE");
  EXPECT_EQ(midnight, MakeTimestamp(CurrentDate(), 0));
  EXPECT_LT(ParseTimestampText("current_time"), kMsPerDay);  // on day 0
  EXPECT_GT(ParseTimestampText("CURRENT_TIMESTAMP"), MakeTimestamp(Day(2020, 1, 1), 0));
  for (const char* text : {"2000-01-01", "2000-01-01 25:00", "2000-02-30 10:00", "10:00", "x"}) {
    EXPECT_EQ(ErrorOf([&] { ParseTimestampText(text); }),
              "'" + std::string(text) + "' is not a valid date and time");
  }
}

TEST(BooleanText, TrueOrFalseInAnyCase) {
  EXPECT_TRUE(ParseBooleanText("TRUE"));
  EXPECT_TRUE(ParseBooleanText("True"));
  EXPECT_FALSE(ParseBooleanText("false"));
  for (const char* text : {"1", "yes", "", "T"}) {
    EXPECT_EQ(ErrorOf([&] { ParseBooleanText(text); }),
              "'" + std::string(text) + "' is not a valid boolean");
  }
}

TEST(NumberText, IntegersWithinTheirRange) {
  EXPECT_EQ(ParseIntegerText("-32768", -32768, 32767), -32768);
  EXPECT_EQ(ParseIntegerText(" +12 ", 0, 100), 12);
  EXPECT_EQ(ErrorOf([] { ParseIntegerText("32768", -32768, 32767); }),
            "'32768' is not a valid integer value");
  EXPECT_NE(ErrorOf([] { ParseIntegerText("1.5", 0, 9); }), "");
  EXPECT_NE(ErrorOf([] { ParseIntegerText("", 0, 9); }), "");
  EXPECT_NE(ErrorOf([] { ParseIntegerText("99999999999999999999", 0, 9); }), "");
  EXPECT_EQ(ParseFloatText("-1.5e3"), -1500.0);
  EXPECT_EQ(ParseFloatText(".25"), 0.25);
  for (const char* text : {"inf", "nan", "1e", "1,5", "", "1e999"}) {
    EXPECT_EQ(ErrorOf([&] { ParseFloatText(text); }),
              "'" + std::string(text) + "' is not a valid floating point value");
  }
}

TEST(EncodeValueText, GivesTheTypesEncoding) {
  auto bytes = EncodeValueText(Field(fldINT16), "-2");
  ASSERT_EQ(bytes.size(), 2u);
  EXPECT_EQ(GetU16(bytes.data()), 0xFFFE);
  bytes = EncodeValueText(Field(fldUINT16), "65535");
  EXPECT_EQ(GetU16(bytes.data()), 65535);
  bytes = EncodeValueText(Field(fldINT32), "-2147483648");
  EXPECT_EQ(GetI32(bytes.data()), std::numeric_limits<int32_t>::min());
  bytes = EncodeValueText(Field(fldINT64), "9223372036854775807");
  EXPECT_EQ(GetU64(bytes.data()), 0x7FFFFFFFFFFFFFFFull);
  bytes = EncodeValueText(Field(fldBOOL), "true");
  EXPECT_EQ(GetU16(bytes.data()), 1);
  bytes = EncodeValueText(Field(fldFLOAT), "2.5");
  EXPECT_EQ(GetF64(bytes.data()), 2.5);
  bytes = EncodeValueText(Field(fldDATE), "1899-12-31");
  EXPECT_EQ(GetI32(bytes.data()), 693595);
  bytes = EncodeValueText(Field(fldTIME), "0:00:01");
  EXPECT_EQ(GetI32(bytes.data()), 1000);
  bytes = EncodeValueText(Field(fldTIMESTAMP), "0001-01-01 0:00");
  EXPECT_EQ(GetF64(bytes.data()), 86400000.0);
  bytes = EncodeValueText(Field(fldBCD, 2), "3.14159");
  ASSERT_EQ(bytes.size(), TBcd::kSize);
  EXPECT_EQ(TBcd::Decode(bytes.data()).ToText(), "3.14");
  bytes = EncodeValueText(Field(fldZSTRING), "any text");
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "any text");
}

TEST(EncodeValueText, ValidityByType) {
  EXPECT_TRUE(IsValidValueText(Field(fldINT16), ""));
  EXPECT_TRUE(IsValidValueText(Field(fldBLOB), ""));
  EXPECT_FALSE(IsValidValueText(Field(fldBLOB), "x"));
  EXPECT_FALSE(IsValidValueText(Field(fldBYTES), "00"));
  EXPECT_FALSE(IsValidValueText(Field(fldINT16), "40000"));
  EXPECT_FALSE(IsValidValueText(Field(fldUINT16), "-1"));
  EXPECT_FALSE(IsValidValueText(Field(fldBCD, 2), "1,5"));
  EXPECT_FALSE(IsValidValueText(Field(fldDATE), "CURRENT_TIMESTAMP"));
  EXPECT_TRUE(IsValidValueText(Field(fldTIMESTAMP), "current_date"));
  EXPECT_TRUE(IsValidValueText(Field(fldZSTRING), "   "));
}

}  // namespace
}  // namespace strata
