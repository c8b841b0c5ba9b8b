#include "cgi/http_date.h"

#include <gtest/gtest.h>

#include "cgi/date_time.h"
#include "cgi/errors.h"

namespace cgi {
namespace {

TEST(DateTime, EncodesDaysFrom1899December30) {
  EXPECT_EQ(EncodeDateTime(1899, 12, 30, 0, 0, 0), 0.0);
  EXPECT_EQ(EncodeDateTime(1900, 1, 1, 0, 0, 0), 2.0);
  EXPECT_EQ(EncodeDateTime(2000, 1, 1, 12, 0, 0), 36526.5);
  EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0), -1.25);
}

TEST(DateTime, DecodeRoundTripsAndKnowsTheWeekday) {
  TDateTimeParts p = DecodeDateTime(EncodeDateTime(2024, 2, 29, 23, 59, 59));
  EXPECT_EQ(p.year, 2024);
  EXPECT_EQ(p.month, 2);
  EXPECT_EQ(p.day, 29);
  EXPECT_EQ(p.hour, 23);
  EXPECT_EQ(p.minute, 59);
  EXPECT_EQ(p.second, 59);
  EXPECT_EQ(p.day_of_week, 4);  // Thursday
  p = DecodeDateTime(-1.25);
  EXPECT_EQ(p.day, 29);
  EXPECT_EQ(p.hour, 6);
}

TEST(DateTime, OutOfRangePartsRaise) {
  EXPECT_THROW(EncodeDateTime(2023, 2, 29, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeDateTime(2024, 4, 31, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeDateTime(2024, 13, 1, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeDateTime(2024, 1, 1, 24, 0, 0), EConvertError);
  EXPECT_THROW(DecodeDateTime(1e300), EConvertError);
}

TEST(HTTPDateText, FixedEnglishNamesAndNoTimeZoneConversion) {
  EXPECT_EQ(HTTPDateText(EncodeDateTime(2024, 12, 5, 13, 45, 7)), "Thu, 05 Dec 2024 13:45:07 GMT");
  EXPECT_EQ(HTTPDateText(EncodeDateTime(1999, 1, 3, 0, 0, 0)), "Sun, 03 Jan 1999 00:00:00 GMT");
}

TEST(ParseHTTPDate, ReadsTheUsualForms) {
  TDateTime expected = EncodeDateTime(1994, 11, 6, 8, 49, 37);
  EXPECT_EQ(ParseHTTPDate("Sun, 06 Nov 1994 08:49:37 GMT"), expected);
  EXPECT_EQ(ParseHTTPDate("Sunday, 06-Nov-94 08:49:37 GMT"), expected);
  EXPECT_EQ(ParseHTTPDate("Sun Nov  6 08:49:37 1994"), expected);
  EXPECT_EQ(ParseHTTPDate("sun, 06 NOV 1994 08:49:37 GMT"), expected);
  EXPECT_EQ(ParseHTTPDate("Date: Sun, 06 Nov 1994 08:49:37 GMT"), expected);
}

TEST(ParseHTTPDate, TextThatDoesNotFitRaises) {
  EXPECT_THROW(ParseHTTPDate("Sun, 06 Foo 1994 08:49:37 GMT"), EConvertError);
  EXPECT_THROW(ParseHTTPDate("Sun, 06 Nov 1994 xx:49:37 GMT"), EConvertError);
  EXPECT_THROW(ParseHTTPDate("Sun, 31 Feb 1994 08:49:37 GMT"), EConvertError);
  EXPECT_THROW(ParseHTTPDate("Sun, 06 Nov"), EConvertError);
  EXPECT_THROW(ParseHTTPDate("x"), EConvertError);
}

}  // namespace
}  // namespace cgi
