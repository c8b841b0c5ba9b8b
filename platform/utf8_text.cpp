#include "platform/utf8_text.h"

#include <cstdint>

#include "platform/windows1252.h"

namespace platform {
namespace {

void AppendUtf8(char32_t code_point, std::string& out) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    out += static_cast<char>(0xC0 | (code_point >> 6));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {  // Windows-1252 reaches no further than the basic plane
    out += static_cast<char>(0xE0 | (code_point >> 12));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

// Decodes one UTF-8 character at `i`; false when the bytes there are not one.
bool DecodeUtf8(std::string_view text, size_t& i, char32_t& code_point) {
  const auto lead = static_cast<uint8_t>(text[i]);
  size_t length = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    code_point = lead;
    ++i;
    return true;
  } else if ((lead >> 5) == 0x6) {
    length = 2, code_point = lead & 0x1F, minimum = 0x80;
  } else if ((lead >> 4) == 0xE) {
    length = 3, code_point = lead & 0x0F, minimum = 0x800;
  } else if ((lead >> 3) == 0x1E) {
    length = 4, code_point = lead & 0x07, minimum = 0x10000;
  } else {
    return false;
  }
  if (i + length > text.size()) return false;
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<uint8_t>(text[i + k]);
    if ((next >> 6) != 0x2) return false;
    code_point = (code_point << 6) | (next & 0x3F);
  }
  if (code_point < minimum) return false;  // overlong forms are not UTF-8
  i += length;
  return true;
}

}  // namespace

std::string Windows1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) AppendUtf8(Windows1252ToUnicode(static_cast<uint8_t>(c)), out);
  return out;
}

std::string Utf8ToWindows1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    char32_t code_point = 0;
    uint8_t byte = 0;
    if (!DecodeUtf8(text, i, code_point) || !UnicodeToWindows1252(code_point, &byte)) {
      return std::string(text);
    }
    out += static_cast<char>(byte);
  }
  return out;
}

}  // namespace platform
