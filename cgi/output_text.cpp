#include "cgi/output_text.h"

namespace cgi {

std::string HeaderLineText(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 32 || byte == 127) c = ' ';
  }
  return result;
}

std::string EscapeHTML(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        result += "&amp;";
        break;
      case '<':
        result += "&lt;";
        break;
      case '>':
        result += "&gt;";
        break;
      case '"':
        result += "&quot;";
        break;
      default:
        result += c;
    }
  }
  return result;
}

}  // namespace cgi
