#include "sql/expr/expression_parser.h"

#include <algorithm>

#include "platform/nls.h"
#include "sql/expr/exp_messages.h"

namespace strata {

namespace {

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsHigh(unsigned char c) { return c >= 128 && c <= 254; }
bool StartsSymbol(unsigned char c) { return IsLetter(c) || c == '_' || IsHigh(c); }
bool ContinuesSymbol(unsigned char c) {
  return StartsSymbol(c) || IsDigit(c) || c == '!' || c == '$' || c == '@';
}

unsigned char UpperAscii(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

}  // namespace

bool SameKeyword(std::string_view text, std::string_view keyword) {
  bool ascii = true;
  if (text.size() == keyword.size()) {
    for (size_t i = 0; i < text.size(); ++i) {
      const auto a = static_cast<unsigned char>(text[i]);
      if (a >= 128) {
        ascii = false;
        break;
      }
      if (UpperAscii(a) != UpperAscii(static_cast<unsigned char>(keyword[i]))) return false;
    }
    if (ascii) return true;
  } else {
    for (char c : text) {
      if (static_cast<unsigned char>(c) >= 128) ascii = false;
    }
    if (ascii) return false;
  }
  // Letters beyond ASCII: the locale decides (an accented letter may equal
  // its base letter).
  return platform::nls::CompareTextIgnoreCase(platform::nls::kUsEnglish, text, keyword) == 0;
}

void TExpressionParser::SetText(std::string text) {
  text_ = std::move(text);
  state_ = TState{};
  expression_start_ = 0;
}

void TExpressionParser::SetParseContext(std::string_view context) {
  context_.assign(context.substr(0, 255));  // keeps the string's room
}

void TExpressionParser::Raise(std::string_view pattern,
                              std::initializer_list<std::string_view> values) const {
  RaiseSqlError(target_, FormatMessage(pattern, values));
}

void TExpressionParser::Raise(std::string_view message) const { RaiseSqlError(target_, message); }

void TExpressionParser::SkipBlanksAndComments() {
  size_t& pos = state_.Position;
  for (;;) {
    while (pos < text_.size() && static_cast<unsigned char>(text_[pos]) >= 1 &&
           static_cast<unsigned char>(text_[pos]) <= 32) {
      ++pos;
    }
    if (pos + 1 < text_.size() && text_[pos] == '/' && text_[pos + 1] == '*') {
      const size_t close = text_.find("*/", pos + 2);
      if (close == std::string::npos) Raise(msg::kMissingCommentEnd, {context_});
      pos = close + 2;
      continue;
    }
    return;
  }
}

int TExpressionParser::NextToken() {
  state_.PreviousEnd = state_.TokenEnd;
  SkipBlanksAndComments();
  size_t& pos = state_.Position;
  state_.TokenStart = pos;
  if (pos >= text_.size()) {
    state_.Kind = ttEnd;
    state_.TokenEnd = pos;
    return state_.Kind;
  }
  const auto c = static_cast<unsigned char>(text_[pos]);
  if (StartsSymbol(c)) {
    unsigned char high = 0;
    while (pos < text_.size() && ContinuesSymbol(static_cast<unsigned char>(text_[pos]))) {
      high |= static_cast<unsigned char>(text_[pos]) & 0x80;
      ++pos;
    }
    state_.Kind = ttSymbol;
    state_.AsciiSymbol = high == 0;
  } else if (c == '#') {
    ++pos;
    while (pos < text_.size() && IsDigit(static_cast<unsigned char>(text_[pos]))) ++pos;
    state_.Kind = ttCharCode;
  } else if (c == '\'' || c == '"') {
    ReadQuoted(static_cast<char>(c));
  } else if (c == '[') {
    const size_t close = text_.find(']', pos + 1);
    if (close == std::string::npos) {
      Raise(msg::kMissingRightBracket, {std::string_view(text_).substr(pos + 1), context_});
    }
    pos = close + 1;
    state_.Kind = ttBracketName;
  } else if (IsDigit(c) || (c == '.' && pos + 1 < text_.size() &&
                            IsDigit(static_cast<unsigned char>(text_[pos + 1])))) {
    ReadNumber();
  } else {
    ++pos;
    state_.Kind = c;
  }
  state_.TokenEnd = pos;
  return state_.Kind;
}

void TExpressionParser::ReadQuoted(char quote) {
  size_t& pos = state_.Position;
  size_t at = pos + 1;
  for (;;) {
    const size_t next = text_.find(quote, at);
    if (next == std::string::npos) {
      Raise(quote == '\'' ? msg::kMissingSingleQuote : msg::kMissingDoubleQuote,
            {std::string_view(text_).substr(pos + 1), context_});
    }
    if (next + 1 < text_.size() && text_[next + 1] == quote) {
      at = next + 2;
      continue;
    }
    pos = next + 1;
    break;
  }
  state_.Kind = ttString;
}

void TExpressionParser::ReadNumber() {
  size_t& pos = state_.Position;
  state_.Kind = ttInteger;
  if (text_[pos] == '.') state_.Kind = ttFloat;
  ++pos;
  while (pos < text_.size()) {
    const auto c = static_cast<unsigned char>(text_[pos]);
    if (IsDigit(c)) {
      ++pos;
    } else if (c == '.' || c == 'E' || c == 'e') {
      state_.Kind = ttFloat;
      ++pos;
    } else if ((c == '+' || c == '-') && (text_[pos - 1] == 'E' || text_[pos - 1] == 'e')) {
      ++pos;
    } else {
      break;
    }
  }
}

std::string_view TExpressionParser::RawTokenText() const {
  return std::string_view(text_).substr(state_.TokenStart, state_.TokenEnd - state_.TokenStart);
}

std::string TExpressionParser::TokenText() const {
  const std::string_view raw = RawTokenText();
  if ((state_.Kind != ttString && state_.Kind != ttBracketName) || raw.size() < 2) {
    return std::string(raw);
  }
  // Without the delimiters; then, from the end, each pair of equal quote
  // characters becomes one. Most texts hold no quote character at all.
  const std::string_view body = raw.substr(1, raw.size() - 2);
  if (std::none_of(body.begin(), body.end(), [](char c) { return c == '\'' || c == '"'; })) {
    return std::string(body);
  }
  std::string inner(body);
  std::string out;
  out.reserve(inner.size());
  size_t i = inner.size();
  while (i > 0) {
    const char c = inner[i - 1];
    out.push_back(c);
    if ((c == '\'' || c == '"') && i >= 2 && inner[i - 2] == c) {
      i -= 2;
    } else {
      i -= 1;
    }
  }
  return std::string(out.rbegin(), out.rend());
}

bool TExpressionParser::TokenIsKeyword(std::string_view word) const {
  if (state_.Kind != ttSymbol) return false;
  if (!state_.AsciiSymbol) return SameKeyword(RawTokenText(), word);
  // An ASCII word equals a keyword only letter for letter, ignoring case; this
  // is what SameKeyword decides for it, without the scan for other letters.
  const size_t length = state_.TokenEnd - state_.TokenStart;
  if (length != word.size()) return false;
  const char* token = text_.data() + state_.TokenStart;
  for (size_t i = 0; i < length; ++i) {
    if (UpperAscii(static_cast<unsigned char>(token[i])) !=
        UpperAscii(static_cast<unsigned char>(word[i]))) {
      return false;
    }
  }
  return true;
}

uint8_t TExpressionParser::CharCodeValue() const {
  const std::string_view raw = RawTokenText();
  const std::string_view digits = raw.substr(1);
  unsigned value = 0;
  for (char c : digits) {
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > 255) break;
  }
  if (digits.empty() || value > 255) Raise(msg::kCharCodeRange, {raw, context_});
  return static_cast<uint8_t>(value);
}

std::string TExpressionParser::SourceText(size_t begin, size_t end) const {
  std::string out;
  end = std::min(end, text_.size());
  if (begin >= end) return out;
  out.reserve(end - begin);
  // Line breaks are left out: the pieces between them are copied whole.
  size_t run = begin;
  for (size_t i = begin; i < end; ++i) {
    if (text_[i] == '\r' || text_[i] == '\n') {
      out.append(text_, run, i - run);
      run = i + 1;
    }
  }
  out.append(text_, run, end - run);
  while (!out.empty() && static_cast<unsigned char>(out.back()) <= 32) out.pop_back();
  return out;
}

std::string TExpressionParser::ExpressionText() const {
  return SourceText(expression_start_, state_.TokenStart);
}

}  // namespace strata
