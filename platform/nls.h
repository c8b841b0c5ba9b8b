// National language support: locale-aware comparison and case mapping of
// single-byte Windows-1252 text, selected by Windows locale id.
//
// A locale id carries the language id in its low 16 bits (primary language
// in the low 10 bits, sublanguage above) and the sort id in bits 16 and up;
// 0 means US English (1033). US English text that is pure ASCII is served by
// built-in tables; ICU is loaded only on first need (another locale or a byte
// above 127), so a process that never needs it never pays its start-up cost.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::nls {

constexpr uint32_t kUsEnglish = 1033;

// Makes a locale id from a language id and a sort id.
constexpr uint32_t MakeLocaleId(uint16_t language_id, uint16_t sort_id) {
  return static_cast<uint32_t>(language_id) | (static_cast<uint32_t>(sort_id) << 16);
}

// Whether the locale can be served (the language is known to ICU).
bool IsLocaleInstalled(uint32_t locale_id);

// Compares two texts in the locale's string order: case-sensitive,
// non-spacing marks ignored, punctuation sorted as symbols ("string sort").
// Returns <0, 0 or >0. Texts are compared over their whole length (embedded
// zero bytes included; callers cut at the terminator themselves).
int CompareText(uint32_t locale_id, std::string_view a, std::string_view b);
// As CompareText, but letter case is ignored too.
int CompareTextIgnoreCase(uint32_t locale_id, std::string_view a, std::string_view b);

// Upper / lower case mapping of Windows-1252 text in the locale.
std::string ToUpper(uint32_t locale_id, std::string_view text);
std::string ToLower(uint32_t locale_id, std::string_view text);

}  // namespace platform::nls
