// Whole texts between Windows-1252 (every text the engine stores) and UTF-8
// (terminals, JSON, the sources). Windows1252ToUtf8 is total: every byte has
// a code point (windows1252.h). Utf8ToWindows1252 converts only when the text
// is well-formed UTF-8 whose every character Windows-1252 has; otherwise the
// text is taken as Windows-1252 bytes already and returned unchanged.
#pragma once

#include <string>
#include <string_view>

namespace platform {

std::string Windows1252ToUtf8(std::string_view text);
std::string Utf8ToWindows1252(std::string_view text);

}  // namespace platform
