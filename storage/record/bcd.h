// TBcd: a packed decimal number as a BCD field (type code 8) keeps it, with
// its conversions to and from text, double and the scaled 64-bit integer
// (units of 1/10000) that index keys are built from.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace strata {

// Value = Digits() x 10^-Scale(), with a sign. Holds at most 64 significant
// digits and a scale of 0..63. Invariants: the digits carry no leading
// zeros (none at all for zero) and zero is never negative. Operations whose
// result needs more than 64 digits raise EConvertError "BCD overflow".
class TBcd {
 public:
  static constexpr size_t kSize = 34;  // bytes in a record
  static constexpr int kMaxDigits = 64;
  static constexpr int kMaxScale = 63;
  static constexpr int kKeyScale = 4;  // the scaled integer counts 1/10000

  TBcd() = default;

  // "[+|-]digits[.digits]" with surrounding blanks; EConvertError "'%s' is
  // not a valid BCD value" otherwise. The scale is the number of digits
  // after the point.
  static TBcd FromText(std::string_view text);
  static TBcd FromInt64(int64_t value);
  // `units` in 1/10000, scale 4.
  static TBcd FromScaled(int64_t units);
  // The double's shortest round-trip decimal text (0.1 is 0.1) rounded to
  // `scale` places (0..63). EConvertError for NaN, infinities and values of
  // more than 64 digits.
  static TBcd FromDouble(double value, int scale);

  // The 34-byte packed form (layout in bcd.cpp). An all-zero area reads as
  // zero; an area that is not packed decimal raises EConvertError.
  static TBcd Decode(const uint8_t* bytes);
  void Encode(uint8_t* bytes) const;

  // Rounded half away from zero when places are dropped; `scale` 0..63.
  TBcd Rescaled(int scale) const;

  // "-12.3400": the digits with Scale() places after the point.
  std::string ToText() const;
  // The nearest double.
  double ToDouble() const;
  // In units of 1/10000, rounded half away from zero; values beyond the
  // int64 range give its minimum or maximum, which keeps key order.
  int64_t ToScaled() const;

  bool IsZero() const { return digits_.empty(); }
  bool IsNegative() const { return negative_; }
  int Scale() const { return scale_; }
  const std::string& Digits() const { return digits_; }

  // Numeric comparison: <0, 0, >0 (scale does not matter: 1.5 == 1.50).
  int Compare(const TBcd& other) const;
  friend bool operator==(const TBcd& a, const TBcd& b) { return a.Compare(b) == 0; }

 private:
  TBcd(bool negative, int scale, std::string digits);

  bool negative_ = false;
  int scale_ = 0;
  std::string digits_;  // significant digits '0'..'9', most significant first
};

}  // namespace strata
