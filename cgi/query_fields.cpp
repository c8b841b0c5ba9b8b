#include "cgi/query_fields.h"

#include "cgi/errors.h"
#include "platform/hex_digit.h"

namespace cgi {
namespace {

bool IsIn(char c, std::string_view set) { return set.find(c) != std::string_view::npos; }

}  // namespace

std::string DecodeURLText(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      result += ' ';
    } else if (c != '%') {
      result += c;
    } else if (i + 1 < text.size() && text[i + 1] == '%') {
      result += '%';
      ++i;
    } else {
      // Never read past the text: an escape cut short by its end is as bad
      // as one with a character that is not a hex digit.
      std::string_view digits = text.substr(i + 1, 2);
      if (digits.size() < 2 || platform::HexDigit(digits[0]) < 0 ||
          platform::HexDigit(digits[1]) < 0) {
        RaiseInvalidInteger("$" + std::string(digits));
      }
      result +=
          static_cast<char>(platform::HexDigit(digits[0]) * 16 + platform::HexDigit(digits[1]));
      i += 2;
    }
  }
  return result;
}

void SplitFields(std::string_view separators, std::string_view white_space, std::string_view text,
                 TStringList& list) {
  // A NUL byte ends the text.
  size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  if (text.empty()) return;

  const size_t end = text.size();
  size_t tail = 0;
  for (;;) {
    while (tail < end &&
           (IsIn(text[tail], white_space) || text[tail] == '\r' || text[tail] == '\n')) {
      ++tail;
    }
    size_t head = tail;
    bool in_quote = false;
    bool lead_quote = false;
    for (;;) {
      while (tail < end) {
        char c = text[tail];
        if (in_quote ? c == '"' : (c == '"' || c == '\r' || c == '\n' || IsIn(c, separators))) {
          break;
        }
        ++tail;
      }
      if (tail < end && text[tail] == '"') {
        if (in_quote) {
          in_quote = false;
          break;  // the field ends at its closing quote
        }
        in_quote = true;
        lead_quote = head == tail;
        if (lead_quote) ++head;  // a leading quote is not part of the field
        ++tail;
        continue;
      }
      break;
    }
    // A closing quote stays in the field unless the field began with a quote.
    if (!lead_quote && tail < end && text[tail] == '"') ++tail;
    if (tail > head) list.Add(DecodeURLText(text.substr(head, tail - head)));
    if (tail >= end) return;
    ++tail;  // the separator, line break, or the character after a kept quote
  }
}

}  // namespace cgi
