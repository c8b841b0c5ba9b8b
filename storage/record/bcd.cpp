#include "storage/record/bcd.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "storage/record/convert_error.h"

namespace strata {
namespace {

// The 34 bytes of a BCD value in a record:
//
//  offset width  content
//       0     1  precision: number of digits in the digit area, 0..64
//       1     1  bit 7: sign (1 = negative); bit 6: 0; bits 0..5: the
//                number of those digits that follow the decimal point
//       2    32  digits, two per byte, high nibble first, most significant
//                digit first; nibbles beyond the precision are 0
//
// Precision covers at least the scale (0.05 with scale 2 is "05"). An
// all-zero area is zero.
constexpr size_t kPrecisionAt = 0;
constexpr size_t kSignScaleAt = 1;
constexpr size_t kDigitsAt = 2;
constexpr uint8_t kSignBit = 0x80;
constexpr uint8_t kScaleMask = 0x3F;

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

std::string StripLeadingZeros(std::string digits) {
  const size_t first = digits.find_first_not_of('0');
  return first == std::string::npos ? std::string() : digits.substr(first);
}

// Adds one unit in the last place of a digit string.
std::string Increment(std::string digits) {
  for (size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return digits;
    }
    digits[i] = '0';
  }
  return "1" + digits;
}

// |digits x 10^-scale| at `target` places, rounded half away from zero;
// no limit on the number of digits.
std::string ScaleDigits(const std::string& digits, int scale, int target) {
  if (target >= scale) return digits.empty() ? digits : digits + std::string(target - scale, '0');
  const size_t dropped = static_cast<size_t>(scale - target);
  if (digits.size() < dropped) return std::string();  // below half a unit
  std::string kept = digits.substr(0, digits.size() - dropped);
  const bool round_up = digits[digits.size() - dropped] >= '5';
  if (round_up) kept = Increment(kept);
  return StripLeadingZeros(kept);
}

// Compares two magnitudes given as digit strings without leading zeros.
int CompareMagnitude(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  const int order = a.compare(b);
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

}  // namespace

TBcd::TBcd(bool negative, int scale, std::string digits)
    : negative_(negative), scale_(scale), digits_(StripLeadingZeros(std::move(digits))) {
  if (digits_.size() > static_cast<size_t>(kMaxDigits))
    throw EConvertError(std::string(kBcdOverflow));
  if (digits_.empty()) negative_ = false;
}

TBcd TBcd::FromText(std::string_view text) {
  const std::string_view body = TrimBlanks(text);
  std::string_view rest = body;
  bool negative = false;
  if (!rest.empty() && (rest.front() == '-' || rest.front() == '+')) {
    negative = rest.front() == '-';
    rest.remove_prefix(1);
  }
  std::string digits;
  int scale = 0;
  bool point = false;
  bool any_digit = false;
  for (char c : rest) {
    if (c >= '0' && c <= '9') {
      digits += c;
      any_digit = true;
      if (point) ++scale;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      throw EConvertError::Format(kInvalidBcd, text);
    }
  }
  if (!any_digit || scale > kMaxScale) throw EConvertError::Format(kInvalidBcd, text);
  return TBcd(negative, scale, std::move(digits));
}

TBcd TBcd::FromInt64(int64_t value) {
  const uint64_t magnitude =
      value < 0 ? uint64_t{0} - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  return TBcd(value < 0, 0, std::to_string(magnitude));
}

TBcd TBcd::FromScaled(int64_t units) {
  TBcd value = FromInt64(units);
  value.scale_ = kKeyScale;
  return value;
}

TBcd TBcd::FromDouble(double value, int scale) {
  if (!std::isfinite(value)) throw EConvertError(std::string(kBcdOverflow));
  scale = std::clamp(scale, 0, kMaxScale);
  // The shortest decimal text that reads back as the same double (2.675
  // stays 2.675, not 2.67499...), rounded to `scale` by the decimal rule. A
  // double has at most 309 integer digits.
  char buffer[400];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  if (result.ec != std::errc()) throw EConvertError(std::string(kBcdOverflow));
  std::string_view text(buffer, result.ptr - buffer);
  const size_t point = text.find('.');
  if (point != std::string_view::npos && text.size() - point - 1 > kMaxScale) {
    // Too fine for any scale (e.g. 1e-70): round the binary value directly.
    result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, scale);
    text = std::string_view(buffer, result.ptr - buffer);
  }
  return FromText(text).Rescaled(scale);
}

TBcd TBcd::Decode(const uint8_t* bytes) {
  const int precision = bytes[kPrecisionAt];
  const int scale = bytes[kSignScaleAt] & kScaleMask;
  if (precision > kMaxDigits) throw EConvertError("Invalid BCD value");
  std::string digits;
  for (int i = 0; i < precision; ++i) {
    const uint8_t pair = bytes[kDigitsAt + i / 2];
    const int digit = i % 2 == 0 ? pair >> 4 : pair & 0x0F;
    if (digit > 9) throw EConvertError("Invalid BCD value");
    digits += static_cast<char>('0' + digit);
  }
  return TBcd((bytes[kSignScaleAt] & kSignBit) != 0, scale, std::move(digits));
}

void TBcd::Encode(uint8_t* bytes) const {
  std::memset(bytes, 0, kSize);
  std::string digits = digits_;
  const size_t precision = std::max<size_t>({digits.size(), static_cast<size_t>(scale_), 1});
  digits.insert(0, precision - digits.size(), '0');
  bytes[kPrecisionAt] = static_cast<uint8_t>(precision);
  bytes[kSignScaleAt] = static_cast<uint8_t>((negative_ ? kSignBit : 0) | scale_);
  for (size_t i = 0; i < precision; ++i) {
    const auto digit = static_cast<uint8_t>(digits[i] - '0');
    bytes[kDigitsAt + i / 2] |= i % 2 == 0 ? static_cast<uint8_t>(digit << 4) : digit;
  }
}

TBcd TBcd::Rescaled(int scale) const {
  scale = std::clamp(scale, 0, kMaxScale);
  return TBcd(negative_, scale, ScaleDigits(digits_, scale_, scale));
}

std::string TBcd::ToText() const {
  std::string digits = digits_;
  if (digits.size() < static_cast<size_t>(scale_) + 1) {
    digits.insert(0, scale_ + 1 - digits.size(), '0');
  }
  if (scale_ > 0) digits.insert(digits.size() - scale_, ".");
  return negative_ ? "-" + digits : digits;
}

double TBcd::ToDouble() const {
  const std::string text = ToText();
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

int64_t TBcd::ToScaled() const {
  const std::string units = ScaleDigits(digits_, scale_, kKeyScale);
  // Accumulate the magnitude, saturating at the int64 limit of the sign.
  const uint64_t limit = negative_ ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  uint64_t magnitude = 0;
  for (char c : units) {
    const auto digit = static_cast<uint64_t>(c - '0');
    if (magnitude > (limit - digit) / 10) {
      magnitude = limit;
      break;
    }
    magnitude = magnitude * 10 + digit;
  }
  if (!negative_) return static_cast<int64_t>(magnitude);
  return magnitude == limit ? std::numeric_limits<int64_t>::min()
                            : -static_cast<int64_t>(magnitude);
}

int TBcd::Compare(const TBcd& other) const {
  if (negative_ != other.negative_) return negative_ ? -1 : 1;
  const int scale = std::max(scale_, other.scale_);
  const int order = CompareMagnitude(ScaleDigits(digits_, scale_, scale),
                                     ScaleDigits(other.digits_, other.scale_, scale));
  return negative_ ? -order : order;
}

}  // namespace strata
