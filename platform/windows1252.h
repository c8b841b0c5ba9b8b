// Windows-1252, the single-byte character set of every text of this system:
// messages, names, record contents and pages. The sources are UTF-8, so a
// literal with a letter beyond ASCII is written with the _w1252 suffix and
// becomes its Windows-1252 bytes at compile time:
//
//   throw EConvertError("'" + text + "' ist kein gültiger Integerwert"_w1252);
//
// puts the one byte FC for "ü" into the message. A literal holding a
// character that Windows-1252 lacks, or bytes that are not UTF-8, does not
// compile.
//
// The five bytes that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) map to the control characters of the same value, so every byte has a
// code point and converts back to itself.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace platform {

// Code points of the bytes 0x80..0x9F; the undefined ones map to themselves.
inline constexpr std::array<char16_t, 32> kWindows1252HighControlBlock = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

constexpr char16_t Windows1252ToUnicode(uint8_t byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kWindows1252HighControlBlock[byte - 0x80];
  return byte;
}

// The byte of a code point; false when Windows-1252 has no such character.
constexpr bool UnicodeToWindows1252(char32_t code_point, uint8_t* byte) {
  if (code_point < 0x80 || (code_point >= 0xA0 && code_point <= 0xFF)) {
    *byte = static_cast<uint8_t>(code_point);
    return true;
  }
  for (size_t i = 0; i < kWindows1252HighControlBlock.size(); ++i) {
    if (kWindows1252HighControlBlock[i] == code_point) {
      *byte = static_cast<uint8_t>(0x80 + i);
      return true;
    }
  }
  return false;
}

// A UTF-8 string literal converted to Windows-1252 while compiling. Holds the
// bytes NUL-terminated; never longer than the UTF-8 text.
template <size_t N>
struct Windows1252Literal {
  char bytes[N] = {};
  size_t size = 0;

  consteval Windows1252Literal(const char (&utf8)[N]) {
    size_t i = 0;
    while (i + 1 < N) {  // the last byte is the literal's NUL
      const auto lead = static_cast<unsigned char>(utf8[i]);
      const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : 0;
      if (length == 0 || i + length >= N) throw "not a UTF-8 literal";
      char32_t code_point = length == 1 ? lead : length == 2 ? (lead & 0x1F) : (lead & 0x0F);
      for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(utf8[i + k]);
        if ((next >> 6) != 0x2) throw "not a UTF-8 literal";
        code_point = (code_point << 6) | (next & 0x3F);
      }
      uint8_t byte = 0;
      if (!UnicodeToWindows1252(code_point, &byte)) throw "no such Windows-1252 character";
      bytes[size++] = static_cast<char>(byte);
      i += length;
    }
  }
};

inline namespace literals {

// "gültig"_w1252: the literal's Windows-1252 bytes, NUL-terminated.
template <Windows1252Literal text>
constexpr const char* operator""_w1252() {
  return text.bytes;
}

}  // namespace literals
}  // namespace platform
