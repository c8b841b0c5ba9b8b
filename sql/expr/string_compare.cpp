#include "sql/expr/string_compare.h"

#include "platform/nls.h"

namespace strata {

namespace {

bool IsUsEnglish(uint32_t locale_id) { return locale_id == platform::nls::kUsEnglish; }

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 128) return false;
  }
  return true;
}

}  // namespace

int CompareStrings(std::string_view a, std::string_view b, uint32_t locale_id) {
  if (a == b) return 0;
  return platform::nls::CompareText(locale_id, a, b);
}

bool SameCharacter(char a, char b, uint32_t locale_id) {
  if (a == b) return true;
  const auto x = static_cast<unsigned char>(a);
  const auto y = static_cast<unsigned char>(b);
  // Two different printable ASCII characters never sort equal.
  if (x >= 32 && x < 127 && y >= 32 && y < 127) return false;
  return platform::nls::CompareText(locale_id, std::string_view(&a, 1), std::string_view(&b, 1)) ==
         0;
}

bool LikeMatch(std::string_view text, std::string_view pattern, uint32_t locale_id) {
  if (pattern == "%") return true;
  size_t t = 0;
  size_t p = 0;
  size_t star_p = std::string_view::npos;
  size_t star_t = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '%') {
      star_p = ++p;
      star_t = t;
      continue;
    }
    if (p < pattern.size() &&
        (pattern[p] == '_' || SameCharacter(pattern[p], text[t], locale_id))) {
      ++p;
      ++t;
      continue;
    }
    if (star_p == std::string_view::npos) return false;
    p = star_p;
    t = ++star_t;
  }
  while (p < pattern.size() && pattern[p] == '%') ++p;
  return p == pattern.size();
}

void MapCase(std::string& out, std::string_view text, bool upper, uint32_t locale_id) {
  if (IsUsEnglish(locale_id) && IsAscii(text)) {
    out.resize(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
      char c = text[i];
      if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
      if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
      out[i] = c;
    }
    return;
  }
  out = upper ? platform::nls::ToUpper(locale_id, text) : platform::nls::ToLower(locale_id, text);
}

}  // namespace strata
