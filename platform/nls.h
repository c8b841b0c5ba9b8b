// National language support: locale-aware comparison and case mapping of
// single-byte Windows-1252 text, selected by Windows locale id.
//
// A locale id carries the language id in its low 16 bits (primary language
// in the low 10 bits, sublanguage above) and the sort id in bits 16 and up;
// a language id of 0 means US English (1033). US English (sort id 0) text that
// is pure ASCII is served by built-in tables that order exactly as ICU does;
// ICU is loaded only on first need (another locale or a byte above 127), so a
// process that never needs it never pays its start-up cost.
//
// Comparison is an ICU collator for the locale (uloc_getLocaleForLCID) at
// primary strength with the case level on and punctuation non-ignorable:
// letters, digits and symbols decide first, accents never, letter case last.
// (ICU cannot skip the accent level alone, so differences of the same level
// as case but other than case are ignored too: "\xB2" (superscript two)
// equals "2", "\xC6" (AE ligature) equals "AE", "\xDF" (sharp s) "ss".)
// Case mapping works character by character; a character whose mapping is
// not one Windows-1252 character (ß -> "SS", i -> U+0130 in Turkish) keeps
// its byte, so the text keeps its length.
// All functions are thread-safe; collators and case tables are cached per
// locale id for the life of the process.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/windows1252.h"

namespace platform::nls {

constexpr uint32_t kUsEnglish = 1033;

// Makes a locale id from a language id and a sort id.
constexpr uint32_t MakeLocaleId(uint16_t language_id, uint16_t sort_id) {
  return static_cast<uint32_t>(language_id) | (static_cast<uint32_t>(sort_id) << 16);
}

// Whether the locale can be served (ICU knows the locale id and has a
// collator for it). US English answers without loading ICU.
bool IsLocaleInstalled(uint32_t locale_id);

// Compares two texts in the locale's string order: case-sensitive,
// non-spacing marks ignored, punctuation sorted as symbols ("string sort").
// Returns <0, 0 or >0. Texts are compared over their whole length (embedded
// zero bytes included; callers cut at the terminator themselves). Control
// characters other than tab, line feed, vertical tab, form feed and carriage
// return (and so zero bytes) are ignored. This and the case mappings throw
// std::runtime_error when the locale is not installed.
int CompareText(uint32_t locale_id, std::string_view a, std::string_view b);
// As CompareText, but letter case is ignored too.
int CompareTextIgnoreCase(uint32_t locale_id, std::string_view a, std::string_view b);

// Upper / lower case mapping of Windows-1252 text in the locale.
std::string ToUpper(uint32_t locale_id, std::string_view text);
std::string ToLower(uint32_t locale_id, std::string_view text);

// Windows-1252 and Unicode (windows1252.h).
using platform::UnicodeToWindows1252;
using platform::Windows1252ToUnicode;

// Diagnostics for tests and benchmarks.
// Whether this process has loaded ICU.
bool IcuLoaded();
// CompareText / CompareTextIgnoreCase always through ICU, bypassing the
// built-in ASCII tables.
int CompareTextWithIcu(uint32_t locale_id, std::string_view a, std::string_view b,
                       bool ignore_case);

}  // namespace platform::nls
