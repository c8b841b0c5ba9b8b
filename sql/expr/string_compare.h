// String comparison, LIKE matching and case mapping of expression values in
// a locale (platform::nls: case-sensitive string sort ignoring non-spacing
// marks). US English ASCII text takes a fast path that allocates nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace strata {

// <0, 0, >0 in the locale's string order.
int CompareStrings(std::string_view a, std::string_view b, uint32_t locale_id);
// Whether two characters are equal in the locale (LIKE's character match).
bool SameCharacter(char a, char b, uint32_t locale_id);
// LIKE: "%" any sequence, "_" one character, anything else one character
// equal in the locale; no escape character.
bool LikeMatch(std::string_view text, std::string_view pattern, uint32_t locale_id);
// `out` = `text` in lower / upper case (out keeps its capacity).
void MapCase(std::string& out, std::string_view text, bool upper, uint32_t locale_id);

}  // namespace strata
