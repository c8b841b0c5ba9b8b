// TExpressionParser: the tokenizer of the SQL dialect and of the table
// filter language. It holds a private copy of the text and reads one token
// at a time; the statement and expression grammars look at the current token
// and ask for the next.
//
// Token kinds: ttEnd (0) at the end of the text, the six kinds below (all
// above 255), and for any other character the character's own code ('(' is
// 40, ';' is 59). Two-character operators ("<>", "<=", ">=", "||") are two
// tokens.
//
// Invariants: TokenStart() <= position of the next read <= Text().size();
// the current token's bytes are Text()[TokenStart(), TokenEnd()).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sql/expr/sql_error.h"

namespace strata {

constexpr int ttEnd = 0;
constexpr int ttSymbol = 256;       // a name or keyword: letters, digits, _ ! $ @, bytes 128..254
constexpr int ttString = 257;       // '...' or "..." (doubled quote inside = one quote)
constexpr int ttBracketName = 258;  // [...]
constexpr int ttInteger = 259;      // digits
constexpr int ttFloat = 260;        // digits with '.', exponent, or ".5"
constexpr int ttCharCode = 261;     // '#' and digits: one character by its code

inline constexpr std::string_view kDefaultParseContext = "SQL statement";

class TExpressionParser {
 public:
  // Where the reading stands; saved and restored for look-ahead.
  struct TState {
    size_t Position = 0;
    size_t TokenStart = 0;
    size_t TokenEnd = 0;
    size_t PreviousEnd = 0;
    int Kind = ttEnd;
    bool AsciiSymbol = false;  // a ttSymbol token of ASCII bytes only
  };

  TExpressionParser() = default;
  explicit TExpressionParser(std::string text) { SetText(std::move(text)); }

  // Loads a copy of the text; no token is read yet (the kind is ttEnd until
  // the first NextToken).
  void SetText(std::string text);
  const std::string& Text() const { return text_; }

  // Skips blanks, control characters and /* */ comments, reads one token and
  // returns its kind.
  int NextToken();
  int TokenKind() const { return state_.Kind; }
  bool IsToken(int kind) const { return state_.Kind == kind; }
  bool AtEnd() const { return state_.Kind == ttEnd; }

  // The token's text; a string or bracket name without its delimiters and
  // with doubled quote characters made single.
  std::string TokenText() const;
  // The token's bytes exactly as written.
  std::string_view RawTokenText() const;
  // Whether the token is a bare symbol equal to `word`, letter case ignored.
  bool TokenIsKeyword(std::string_view word) const;
  // The value of a ttCharCode token (0..255); raises the range message.
  uint8_t CharCodeValue() const;

  size_t TokenStart() const { return state_.TokenStart; }
  size_t TokenEnd() const { return state_.TokenEnd; }
  // Where the token before the current one ended.
  size_t PreviousTokenEnd() const { return state_.PreviousEnd; }

  TState Save() const { return state_; }
  void Restore(const TState& state) { state_ = state; }

  // The current expression: marked at the start of the current token; its
  // text runs up to the start of the current token, without CR and LF.
  void MarkExpressionStart() { expression_start_ = state_.TokenStart; }
  size_t ExpressionStart() const { return expression_start_; }
  std::string ExpressionText() const;
  // Text()[begin, end) without CR and LF and without trailing blanks.
  std::string SourceText(size_t begin, size_t end) const;

  // What errors raise: the engine code (11949 by default; a table filter
  // raises 10051 naming its table) and the context named in messages.
  void SetErrorTarget(TSqlErrorTarget target) { target_ = std::move(target); }
  const TSqlErrorTarget& ErrorTarget() const { return target_; }
  void SetParseContext(std::string_view context);
  const std::string& ParseContext() const { return context_; }

  // Raises `pattern` with `values` filled in.
  [[noreturn]] void Raise(std::string_view pattern,
                          std::initializer_list<std::string_view> values) const;
  [[noreturn]] void Raise(std::string_view message) const;

 private:
  void SkipBlanksAndComments();
  void ReadQuoted(char quote);
  void ReadNumber();

  std::string text_;
  TState state_;
  size_t expression_start_ = 0;
  TSqlErrorTarget target_;
  std::string context_{kDefaultParseContext};
};

// ASCII-or-locale comparison of a word with a keyword, letter case ignored.
bool SameKeyword(std::string_view text, std::string_view keyword);

}  // namespace strata
