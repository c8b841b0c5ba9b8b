#include "storage/record/bcd.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "storage/record/convert_error.h"

namespace strata {
namespace {

TEST(Bcd, PackedBytesOfHandComputedValues) {
  uint8_t bytes[TBcd::kSize];
  TBcd::FromText("-123.45").Encode(bytes);
  uint8_t expected[TBcd::kSize] = {5, 0x82, 0x12, 0x34, 0x50};
  EXPECT_EQ(std::memcmp(bytes, expected, TBcd::kSize), 0);

  TBcd::FromText("0.05").Encode(bytes);  // precision covers the scale
  const uint8_t small[TBcd::kSize] = {2, 0x02, 0x05};
  EXPECT_EQ(std::memcmp(bytes, small, TBcd::kSize), 0);

  TBcd().Encode(bytes);
  const uint8_t zero[TBcd::kSize] = {1, 0, 0};
  EXPECT_EQ(std::memcmp(bytes, zero, TBcd::kSize), 0);
}

TEST(Bcd, DecodeOfHandMadeBytes) {
  const uint8_t bytes[TBcd::kSize] = {6, 0x83, 0x01, 0x25, 0x00};  // -012.500
  const TBcd value = TBcd::Decode(bytes);
  EXPECT_TRUE(value.IsNegative());
  EXPECT_EQ(value.Scale(), 3);
  EXPECT_EQ(value.ToText(), "-12.500");

  const uint8_t blank[TBcd::kSize] = {};
  EXPECT_TRUE(TBcd::Decode(blank).IsZero());

  const uint8_t bad_nibble[TBcd::kSize] = {2, 0, 0x1A};
  EXPECT_THROW(TBcd::Decode(bad_nibble), EConvertError);
  const uint8_t bad_precision[TBcd::kSize] = {65};
  EXPECT_THROW(TBcd::Decode(bad_precision), EConvertError);
}

TEST(Bcd, TextRoundTripsThroughTheBytes) {
  for (const char* text : {"0", "1", "-1", "0.0001", "-0.5", "922337203685477.5807", "100",
                           "12345678901234567890123456789012.34567890123456789012345678901"}) {
    uint8_t bytes[TBcd::kSize];
    TBcd::FromText(text).Encode(bytes);
    EXPECT_EQ(TBcd::Decode(bytes).ToText(), text);
  }
}

TEST(Bcd, FromTextAcceptsAndRejects) {
  EXPECT_EQ(TBcd::FromText("  +007.50 ").ToText(), "7.50");
  EXPECT_EQ(TBcd::FromText(".5").ToText(), "0.5");
  EXPECT_EQ(TBcd::FromText("-0.00").ToText(), "0.00");  // zero is never negative
  EXPECT_EQ(TBcd::FromText("5.").ToText(), "5");
  for (const char* text : {"", "-", ".", "1.2.3", "1e5", "abc", "1 2", "--1"}) {
    try {
      TBcd::FromText(text);
      FAIL() << text;
    } catch (const EConvertError& error) {
      EXPECT_EQ(std::string(error.what()), "'" + std::string(text) + "' is not a valid BCD value");
    }
  }
  EXPECT_THROW(TBcd::FromText(std::string(65, '9')), EConvertError);
  EXPECT_NO_THROW(TBcd::FromText(std::string(64, '9')));
}

TEST(Bcd, RescaleRoundsHalfAwayFromZero) {
  EXPECT_EQ(TBcd::FromText("1.005").Rescaled(2).ToText(), "1.01");
  EXPECT_EQ(TBcd::FromText("-1.005").Rescaled(2).ToText(), "-1.01");
  EXPECT_EQ(TBcd::FromText("1.004").Rescaled(2).ToText(), "1.00");
  EXPECT_EQ(TBcd::FromText("9.999").Rescaled(2).ToText(), "10.00");
  EXPECT_EQ(TBcd::FromText("0.004").Rescaled(2).ToText(), "0.00");
  EXPECT_EQ(TBcd::FromText("-0.004").Rescaled(0).IsNegative(), false);
  EXPECT_EQ(TBcd::FromText("12").Rescaled(3).ToText(), "12.000");
  EXPECT_EQ(TBcd::FromText("0.5").Rescaled(0).ToText(), "1");
}

TEST(Bcd, ScaledIntegerInTenThousandths) {
  EXPECT_EQ(TBcd::FromText("1.5").ToScaled(), 15000);
  EXPECT_EQ(TBcd::FromText("-0.00015").ToScaled(), -2);
  EXPECT_EQ(TBcd::FromText("0.00004").ToScaled(), 0);
  EXPECT_EQ(TBcd::FromScaled(-123456).ToText(), "-12.3456");
  EXPECT_EQ(TBcd::FromScaled(std::numeric_limits<int64_t>::min()).ToScaled(),
            std::numeric_limits<int64_t>::min());
  EXPECT_EQ(TBcd::FromScaled(std::numeric_limits<int64_t>::max()).ToScaled(),
            std::numeric_limits<int64_t>::max());
  // Beyond the range the key saturates, keeping order.
  EXPECT_EQ(TBcd::FromText("1" + std::string(30, '0')).ToScaled(),
            std::numeric_limits<int64_t>::max());
  EXPECT_EQ(TBcd::FromText("-1" + std::string(30, '0')).ToScaled(),
            std::numeric_limits<int64_t>::min());
}

TEST(Bcd, DoubleConversions) {
  EXPECT_EQ(TBcd::FromDouble(0.1, 2).ToText(), "0.10");
  EXPECT_EQ(TBcd::FromDouble(-2.675, 2).ToText(), "-2.68");  // as written, not 2.67499...
  EXPECT_EQ(TBcd::FromDouble(1e-70, 4).ToText(), "0.0000");
  EXPECT_EQ(TBcd::FromDouble(123.0, 2).ToText(), "123.00");
  EXPECT_EQ(TBcd::FromDouble(1e15, 0).ToText(), "1000000000000000");
  EXPECT_EQ(TBcd::FromText("-1234.5678").ToDouble(), -1234.5678);
  EXPECT_EQ(TBcd::FromDouble(TBcd::FromText("3.25").ToDouble(), 2).ToText(), "3.25");
  EXPECT_THROW(TBcd::FromDouble(std::numeric_limits<double>::infinity(), 2), EConvertError);
  EXPECT_THROW(TBcd::FromDouble(std::numeric_limits<double>::quiet_NaN(), 2), EConvertError);
  EXPECT_THROW(TBcd::FromDouble(1e100, 0), EConvertError);  // more than 64 digits
}

TEST(Bcd, CompareIsNumeric) {
  EXPECT_EQ(TBcd::FromText("1.5").Compare(TBcd::FromText("1.50")), 0);
  EXPECT_LT(TBcd::FromText("-2").Compare(TBcd::FromText("-1.999")), 0);
  EXPECT_GT(TBcd::FromText("10").Compare(TBcd::FromText("9.99")), 0);
  EXPECT_LT(TBcd::FromText("-0.1").Compare(TBcd()), 0);
  EXPECT_GT(TBcd::FromText("0.001").Compare(TBcd()), 0);
  EXPECT_TRUE(TBcd::FromInt64(-7) == TBcd::FromText("-7.000"));
  EXPECT_EQ(TBcd::FromInt64(std::numeric_limits<int64_t>::min()).ToText(), "-9223372036854775808");
}

}  // namespace
}  // namespace strata
