// Letter case without a locale: the two foldings the system compares names
// and keywords by. Locale-aware case mapping and comparison are in nls.h.
//
//   ASCII only (A..Z with a..z; every other byte stays as it is): engine names
//   (tables, fields, indexes, sessions, databases, languages), keywords and
//   value texts, header words of posted content, the HTTP method.
//   Windows-1252 letters as well (the ASCII ones, À..Þ with à..þ except × and
//   ÷, Š Œ Ž Ÿ with š œ ž ÿ): file names in a folder, and the names of the
//   gateway's text lists (request fields, custom headers, action names).
//
// Both foldings agree on every ASCII text. All functions are pure.
#pragma once

#include <string>
#include <string_view>

namespace platform {

constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

std::string AsciiUpperCase(std::string_view text);
std::string AsciiLowerCase(std::string_view text);

// Equal when the texts have the same length and their bytes differ in ASCII
// letter case at most.
bool SameAsciiIgnoringCase(std::string_view a, std::string_view b);

// The upper-case form of a Windows-1252 letter; any other byte as it is.
constexpr unsigned char Windows1252Upper(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
  switch (c) {
    case 0x9A:  // s caron
    case 0x9C:  // oe
    case 0x9E:  // z caron
      return static_cast<unsigned char>(c - 0x10);
    case 0xFF:  // y diaeresis
      return 0x9F;
    default:
      return c;
  }
}

// Equal when the texts have the same length and their bytes differ in the
// letter case of Windows-1252 letters at most.
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

}  // namespace platform
