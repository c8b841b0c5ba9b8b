#include "sql/expr/exp_grammar.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "sql/expr/exp_messages.h"
#include "sql/expr/sql_types.h"
#include "storage/record/date_time.h"

namespace strata {

namespace {

// How a word of the function table is written.
enum TFunctionForm : uint8_t {
  ffSingle,     // NAME ( x )
  ffSubstring,  // SUBSTRING ( s FROM start [FOR length] )
  ffReplace,    // REPLACE ( search WITH replacement IN s )
  ffSearchIn,   // POS, OCCURS, TEXTSEARCH, TEXTOCCURS ( a IN b )
  ffCast,       // CAST ( x AS type )
  ffTrim,       // TRIM ( LEADING|TRAILING|BOTH c FROM s )
  ffExtract,    // EXTRACT ( part FROM x )
  ffRound,      // ROUND ( x [TO places] )
  ffThenElse,   // IF, IFNULL ( x THEN a ELSE b ), commas accepted
  ffList,       // COALESCE ( v {, v} )
  ffAggregate,  // COUNT, SUM, ... ( [DISTINCT] x ) or COUNT(*)
  ffTrue,
  ffFalse,
  ffNull,
  ffCurrentDate,
  ffCurrentTime,
  ffCurrentTimestamp,
};

struct TFunctionWord {
  std::string_view Name;
  TExpFunction Code;
  TFunctionForm Form;
};

// clang-format off
constexpr std::array<TFunctionWord, 31> kFunctionWords = {{
    {"LOWER", fnLower, ffSingle},           {"UPPER", fnUpper, ffSingle},
    {"LENGTH", fnLength, ffSingle},         {"SUBSTRING", fnSubstring, ffSubstring},
    {"REPLACE", fnReplace, ffReplace},      {"POS", fnPos, ffSearchIn},
    {"OCCURS", fnOccurs, ffSearchIn},       {"CAST", fnCast, ffCast},
    {"TRIM", fnTrim, ffTrim},               {"EXTRACT", fnExtract, ffExtract},
    {"ABS", fnAbs, ffSingle},               {"ROUND", fnRound, ffRound},
    {"IF", fnIf, ffThenElse},               {"IFNULL", fnIfNull, ffThenElse},
    {"COALESCE", fnCoalesce, ffList},       {"TEXTSEARCH", fnTextSearch, ffSearchIn},
    {"TEXTOCCURS", fnTextOccurs, ffSearchIn}, {"LASTAUTOINC", fnLastAutoInc, ffSingle},
    {"IDENT_CURRENT", fnLastAutoInc, ffSingle},
    {"TRUE", fnNone, ffTrue},               {"FALSE", fnNone, ffFalse},
    {"NULL", fnNone, ffNull},               {"CURRENT_DATE", fnNone, ffCurrentDate},
    {"CURRENT_TIME", fnNone, ffCurrentTime}, {"CURRENT_TIMESTAMP", fnNone, ffCurrentTimestamp},
    {"COUNT", agCount, ffAggregate},        {"SUM", agSum, ffAggregate},
    {"AVG", agAvg, ffAggregate},            {"MIN", agMin, ffAggregate},
    {"MAX", agMax, ffAggregate},            {"RUNSUM", agRunSum, ffAggregate},
}};

constexpr std::array<std::string_view, 9> kExtractParts = {
    "YEAR", "MONTH", "WEEK", "DAY", "DAYOFWEEK", "DAYOFYEAR", "HOUR", "MINUTE", "SECOND"};
// clang-format on

constexpr size_t kLongestFunctionWord = [] {
  size_t longest = 0;
  for (const TFunctionWord& word : kFunctionWords) longest = std::max(longest, word.Name.size());
  return longest;
}();

const TFunctionWord* FindFunctionWord(const TExpressionParser& tokens) {
  if (!tokens.IsToken(ttSymbol)) return nullptr;
  // Every symbol of an expression is looked up here: an ASCII word is
  // upper-cased once and compared whole with each name (the letter-case
  // rule of TokenIsKeyword for ASCII words); other words go the long way.
  const std::string_view raw = tokens.RawTokenText();
  if (std::all_of(raw.begin(), raw.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    if (raw.size() > kLongestFunctionWord) return nullptr;
    std::array<char, kLongestFunctionWord> upper{};
    for (size_t i = 0; i < raw.size(); ++i) {
      upper[i] = raw[i] >= 'a' && raw[i] <= 'z' ? static_cast<char>(raw[i] - 32) : raw[i];
    }
    const std::string_view word_text(upper.data(), raw.size());
    for (const TFunctionWord& word : kFunctionWords) {
      if (word.Name == word_text) return &word;
    }
    return nullptr;
  }
  for (const TFunctionWord& word : kFunctionWords) {
    if (tokens.TokenIsKeyword(word.Name)) return &word;
  }
  return nullptr;
}

constexpr size_t kMaxNodes = 10000;
constexpr int kMaxNesting = 200;

// One expression being parsed: the tokenizer, the pool, the permissions and
// whether an aggregate's argument is being read.
class TGrammar {
 public:
  TGrammar(TExpressionParser& tokens, TExpTokenStack& pool, unsigned permissions,
           TExpressionHooks* hooks)
      : t_(tokens), pool_(pool), permissions_(permissions), hooks_(hooks) {}

  TExpToken* Or();
  TExpToken* Primary();

 private:
  TExpToken* And();
  TExpToken* Not();
  TExpToken* Comparison();
  TExpToken* Additive();
  TExpToken* Multiplicative();
  TExpToken* Unary();
  TExpToken* Predicate(TExpToken* left, size_t begin);
  TExpToken* Function(const TFunctionWord& word);
  TExpToken* NameReference();
  TExpToken* Number();

  TExpToken* Node(TNodeClass node_class, uint8_t code) {
    // Resolution and evaluation recurse over the tree: bound its size.
    if (++nodes_ > kMaxNodes) t_.Raise(msg::kExpressionTooComplex, {t_.ParseContext()});
    TExpToken* node = pool_.New();
    node->Class = node_class;
    node->Code = code;
    return node;
  }
  TExpToken* Binary(uint8_t code, TExpToken* left, TExpToken* right, size_t begin);
  TExpToken* Constant();
  // An operand of arithmetic or of a function may not be an aggregate.
  TExpToken* NoAggregate(TExpToken* node) {
    if (node->Class == ncAggregate) t_.Raise(msg::kAggregateInExpression);
    return node;
  }
  void Require(bool allowed, std::string_view message) const {
    if (!allowed) t_.Raise(message, {t_.ParseContext()});
  }
  // Function syntax helpers.
  void Open(std::string_view name) {
    if (!t_.IsToken('(')) t_.Raise(msg::kLeftParenAfterKeyword, {name, t_.TokenText()});
    t_.NextToken();
  }
  void Close(std::string_view name) {
    if (!t_.IsToken(')')) t_.Raise(msg::kRightParenAfterArgument, {name, t_.TokenText()});
    t_.NextToken();
  }
  void Keyword(std::string_view keyword, std::string_view name) {
    if (!t_.TokenIsKeyword(keyword)) {
      t_.Raise(msg::kKeywordExpectedInFunction, {keyword, name, t_.TokenText()});
    }
    t_.NextToken();
  }
  void KeywordOrComma(std::string_view keyword, std::string_view name) {
    if (!t_.TokenIsKeyword(keyword) && !t_.IsToken(',')) {
      t_.Raise(msg::kCommaOrKeywordInFunction, {keyword, name, t_.TokenText()});
    }
    t_.NextToken();
  }
  TExpToken* Argument() { return NoAggregate(Or()); }

  TExpressionParser& t_;
  TExpTokenStack& pool_;
  unsigned permissions_;
  TExpressionHooks* hooks_;
  bool in_aggregate_ = false;
  size_t nodes_ = 0;
  int depth_ = 0;  // parentheses and function calls open
  // The moment of parsing, read from the clock once: CURRENT_TIME -
  // CURRENT_TIME is 0 even when a millisecond ends between the two words.
  bool clock_read_ = false;
  int32_t today_ = 0;
  int32_t time_of_day_ = 0;
  void ReadClock() {
    if (clock_read_) return;
    SplitTimestamp(CurrentTimestamp(), today_, time_of_day_);
    clock_read_ = true;
  }
};

// Nested parentheses and calls each recurse through every precedence level.
class TNesting {
 public:
  TNesting(int& depth, const TExpressionParser& tokens) : depth_(depth) {
    if (++depth_ > kMaxNesting) tokens.Raise(msg::kExpressionTooComplex, {tokens.ParseContext()});
  }
  ~TNesting() { --depth_; }

 private:
  int& depth_;
};

TExpToken* TGrammar::Binary(uint8_t code, TExpToken* left, TExpToken* right, size_t begin) {
  TExpToken* node = Node(ncBinary, code);
  node->Left = left;
  node->Right = right;
  node->Text = t_.SourceText(begin, t_.PreviousTokenEnd());
  return node;
}

TExpToken* TGrammar::Or() {
  const size_t begin = t_.TokenStart();
  TExpToken* left = And();
  while (t_.TokenIsKeyword("OR")) {
    t_.NextToken();
    left = Binary(opOr, left, And(), begin);
  }
  return left;
}

TExpToken* TGrammar::And() {
  const size_t begin = t_.TokenStart();
  TExpToken* left = Not();
  while (t_.TokenIsKeyword("AND")) {
    t_.NextToken();
    left = Binary(opAnd, left, Not(), begin);
  }
  return left;
}

TExpToken* TGrammar::Not() {
  if (!t_.TokenIsKeyword("NOT")) return Comparison();
  const size_t begin = t_.TokenStart();
  t_.NextToken();
  TExpToken* node = Node(ncUnary, opNot);
  node->Left = Comparison();
  node->Text = t_.SourceText(begin, t_.PreviousTokenEnd());
  return node;
}

TExpToken* TGrammar::Comparison() {
  const size_t begin = t_.TokenStart();
  TExpToken* left = Additive();
  uint8_t code = opNone;
  if (t_.IsToken('=')) {
    code = opEqual;
    t_.NextToken();
  } else if (t_.IsToken('<')) {
    t_.NextToken();
    code = opLess;
    if (t_.IsToken('>')) {
      code = opNotEqual;
      t_.NextToken();
    } else if (t_.IsToken('=')) {
      code = opLessEqual;
      t_.NextToken();
    }
  } else if (t_.IsToken('>')) {
    t_.NextToken();
    code = opGreater;
    if (t_.IsToken('=')) {
      code = opGreaterEqual;
      t_.NextToken();
    }
  } else if (t_.TokenIsKeyword("NOT") || t_.TokenIsKeyword("BETWEEN") ||
             t_.TokenIsKeyword("LIKE") || t_.TokenIsKeyword("IN") || t_.TokenIsKeyword("IS")) {
    return Predicate(left, begin);
  }
  if (code == opNone) return left;
  return Binary(code, left, Additive(), begin);
}

TExpToken* TGrammar::Predicate(TExpToken* left, size_t begin) {
  if (t_.TokenIsKeyword("IS")) {
    Require(permissions_ & pmPredicates, msg::kPredicatesNotAllowed);
    t_.NextToken();
    uint8_t code = opEqual;
    if (t_.TokenIsKeyword("NOT")) {
      code = opNotEqual;
      t_.NextToken();
    }
    if (!t_.TokenIsKeyword("NULL")) t_.Raise(msg::kNullAfterIs, {t_.TokenText()});
    TExpToken* null = Node(ncConstant, opNone);
    null->Text = "NULL";
    t_.NextToken();
    return Binary(code, left, null, begin);
  }
  bool negated = false;
  if (t_.TokenIsKeyword("NOT")) {
    // NOT here must lead BETWEEN, LIKE or IN; otherwise it is not ours.
    const auto state = t_.Save();
    t_.NextToken();
    if (!t_.TokenIsKeyword("BETWEEN") && !t_.TokenIsKeyword("LIKE") && !t_.TokenIsKeyword("IN")) {
      t_.Restore(state);
      return left;
    }
    negated = true;
  }
  Require(permissions_ & pmPredicates, msg::kPredicatesNotAllowed);
  TExpToken* node = Node(ncPredicate, opNone);
  node->Left = left;
  if (t_.TokenIsKeyword("BETWEEN")) {
    node->Code = negated ? opNotBetween : opBetween;
    t_.NextToken();
    node->Args.push_back(Additive());
    if (!t_.TokenIsKeyword("AND")) {
      t_.Raise(msg::kExpectedAndInBetween, {negated ? "NOT BETWEEN" : "BETWEEN", t_.TokenText()});
    }
    t_.NextToken();
    node->Args.push_back(Additive());
  } else if (t_.TokenIsKeyword("LIKE")) {
    node->Code = negated ? opNotLike : opLike;
    t_.NextToken();
    node->Args.push_back(Additive());
  } else {
    const std::string_view name = negated ? "NOT IN" : "IN";
    node->Code = negated ? opNotIn : opIn;
    t_.NextToken();
    if (!t_.IsToken('(')) t_.Raise(msg::kExpectedLeftParenIn, {name, t_.TokenText()});
    t_.NextToken();
    if (t_.TokenIsKeyword("SELECT")) {
      Require((permissions_ & pmSubSelects) && hooks_ != nullptr, msg::kSubSelectsNotAllowed);
      node->Class = ncSubSelect;
      node->SubQuery = hooks_->ParseSubSelect(t_);
    } else {
      if (t_.IsToken(')')) t_.Raise(msg::kInNeedsValue, {name, t_.ParseContext()});
      node->Args.push_back(Additive());
      while (t_.IsToken(',')) {
        t_.NextToken();
        node->Args.push_back(Additive());
      }
    }
    if (!t_.IsToken(')')) t_.Raise(msg::kExpectedRightParenIn, {name, t_.TokenText()});
    t_.NextToken();
  }
  node->Text = t_.SourceText(begin, t_.PreviousTokenEnd());
  return node;
}

TExpToken* TGrammar::Additive() {
  const size_t begin = t_.TokenStart();
  TExpToken* left = Multiplicative();
  for (;;) {
    uint8_t code = opNone;
    if (t_.IsToken('+')) {
      code = opAdd;
    } else if (t_.IsToken('-')) {
      code = opSubtract;
    } else if (t_.IsToken('|')) {
      t_.NextToken();
      if (!t_.IsToken('|')) t_.Raise(msg::kSecondConcatSymbol, {t_.TokenText()});
      code = opAdd;
    } else {
      return left;
    }
    t_.NextToken();
    NoAggregate(left);
    left = Binary(code, left, NoAggregate(Multiplicative()), begin);
  }
}

TExpToken* TGrammar::Multiplicative() {
  const size_t begin = t_.TokenStart();
  TExpToken* left = Unary();
  while (t_.IsToken('*') || t_.IsToken('/')) {
    const uint8_t code = t_.IsToken('*') ? opMultiply : opDivide;
    t_.NextToken();
    NoAggregate(left);
    left = Binary(code, left, NoAggregate(Unary()), begin);
  }
  return left;
}

TExpToken* TGrammar::Unary() {
  if (!t_.IsToken('+') && !t_.IsToken('-')) return Primary();
  const size_t begin = t_.TokenStart();
  TExpToken* node = Node(ncUnary, t_.IsToken('-') ? opNegate : opPlus);
  t_.NextToken();
  node->Left = NoAggregate(Primary());
  node->Text = t_.SourceText(begin, t_.PreviousTokenEnd());
  return node;
}

TExpToken* TGrammar::Primary() {
  if (const TFunctionWord* word = FindFunctionWord(t_)) return Function(*word);
  if (t_.IsToken(ttSymbol) || t_.IsToken(ttBracketName)) {
    if (t_.IsToken(ttSymbol)) {
      if (t_.TokenIsKeyword("NOT"))
        t_.Raise(msg::kUnknownSymbol, {t_.TokenText(), t_.ParseContext()});
      const auto state = t_.Save();
      t_.NextToken();
      const bool call = t_.IsToken('(');
      t_.Restore(state);
      if (call) t_.Raise(msg::kUnknownFunction, {t_.TokenText(), t_.ParseContext()});
    }
    return NameReference();
  }
  if (t_.IsToken(ttString)) {
    const auto state = t_.Save();
    t_.NextToken();
    const bool qualified = t_.IsToken('.');
    t_.Restore(state);
    if (qualified) return NameReference();
    return Constant();
  }
  if (t_.IsToken(ttCharCode)) {
    TExpToken* node = Node(ncConstant, opNone);
    node->Text = t_.TokenText();
    node->Value.SetString(std::string(1, static_cast<char>(t_.CharCodeValue())));
    node->Value.Str.resize(1);
    t_.NextToken();
    return node;
  }
  if (t_.IsToken(ttInteger) || t_.IsToken(ttFloat)) return Number();
  if (t_.IsToken('(')) {
    TNesting nesting(depth_, t_);
    t_.NextToken();
    TExpToken* inner = Or();
    if (!t_.IsToken(')')) t_.Raise(msg::kRightParenExpected, {t_.TokenText()});
    t_.NextToken();
    return inner;
  }
  if (t_.IsToken('*')) {
    Require(permissions_ & pmAllColumns, msg::kAllColumnsNotAllowed);
    TExpToken* node = Node(ncAllColumns, opNone);
    node->Text = "*";
    t_.NextToken();
    return node;
  }
  if (t_.IsToken('?')) {
    Require(permissions_ & pmParameters, msg::kParametersNotAllowed);
    TExpToken* node = Node(ncParameter, opNone);
    node->Text = "?";
    node->Parameter = true;
    if (hooks_) hooks_->AddParameter(*node);
    t_.NextToken();
    return node;
  }
  t_.Raise(msg::kUnknownSymbol, {t_.TokenText(), t_.ParseContext()});
}

TExpToken* TGrammar::Constant() {
  TExpToken* node = Node(ncConstant, opNone);
  node->Text = t_.TokenText();
  node->Quoted = true;
  if (!node->Text.empty()) node->Value.SetString(node->Text);  // '' is NULL
  t_.NextToken();
  return node;
}

TExpToken* TGrammar::NameReference() {
  TExpToken* node = Node(ncColumn, opNone);
  node->ColumnName = t_.TokenText();
  t_.NextToken();
  if (t_.IsToken('.')) {
    t_.NextToken();
    node->CorrelationName = node->ColumnName;
    if (t_.IsToken(ttSymbol) || t_.IsToken(ttBracketName) || t_.IsToken(ttString)) {
      node->ColumnName = t_.TokenText();
    } else if (t_.IsToken('*')) {
      Require(permissions_ & pmAllColumns, msg::kAllColumnsNotAllowed);
      node->Class = ncAllColumns;
      node->ColumnName = "*";
    } else {
      t_.Raise(msg::kSymbolAfterCorrelation, {t_.TokenText()});
    }
    t_.NextToken();
  }
  node->Text = node->ColumnName;
  return node;
}

TExpToken* TGrammar::Number() {
  TExpToken* node = Node(ncConstant, opNone);
  const std::string text(t_.RawTokenText());
  node->Text = text;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (t_.IsToken(ttInteger)) {
    int64_t value = 0;
    auto [end, error] = std::from_chars(first, last, value);
    if (error == std::errc() && end == last) {
      const bool fits32 = value <= std::numeric_limits<int32_t>::max();
      node->Value.SetInt(fits32 ? fldINT32 : fldINT64, value);
      t_.NextToken();
      return node;
    }
  }
  // The point is the decimal separator whatever the locale.
  double value = 0;
  auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc() || end != last || !std::isfinite(value)) {
    t_.Raise(msg::kInvalidNumber, {text, t_.ParseContext()});
  }
  node->Value.SetFloat(fldFLOAT, value);
  t_.NextToken();
  return node;
}

TExpToken* TGrammar::Function(const TFunctionWord& word) {
  const std::string_view name = word.Name;
  const std::string written = t_.TokenText();
  const size_t begin = t_.TokenStart();
  TNesting nesting(depth_, t_);
  t_.NextToken();
  TExpToken* node = Node(ncFunction, word.Code);
  node->Text = std::string(name);
  switch (word.Form) {
    case ffTrue:
    case ffFalse:
      node->Class = ncConstant;
      node->Text = written;
      node->Value.SetBoolean(word.Form == ffTrue);
      return node;
    case ffNull:
      node->Class = ncConstant;
      node->Text = written;
      return node;
    case ffCurrentDate:
    case ffCurrentTime:
    case ffCurrentTimestamp:
      node->Class = ncConstant;
      node->Text = written;
      ReadClock();
      if (word.Form == ffCurrentDate) node->Value.SetInt(fldDATE, today_);
      if (word.Form == ffCurrentTime) node->Value.SetInt(fldTIME, time_of_day_);
      if (word.Form == ffCurrentTimestamp) {
        node->Value.SetFloat(fldTIMESTAMP, MakeTimestamp(today_, time_of_day_));
      }
      if (t_.IsToken('(')) {
        t_.NextToken();
        Close(name);
      }
      return node;
    case ffAggregate: {
      Require(permissions_ & pmAggregates, msg::kAggregatesNotAllowed);
      if (in_aggregate_) t_.Raise(msg::kAggregatesNested);
      node->Class = ncAggregate;
      Open(name);
      if (word.Code == agCount && t_.IsToken('*')) {
        node->CountAll = true;
        t_.NextToken();
      } else {
        if (t_.TokenIsKeyword("DISTINCT")) {
          node->Distinct = true;
          t_.NextToken();
        }
        in_aggregate_ = true;
        node->Args.push_back(Or());
        in_aggregate_ = false;
      }
      Close(name);
      break;
    }
    case ffSingle:
      Open(name);
      node->Args.push_back(Argument());
      Close(name);
      break;
    case ffSubstring:
      Open(name);
      node->Args.push_back(Argument());
      Keyword("FROM", name);
      node->Args.push_back(Argument());
      if (t_.TokenIsKeyword("FOR")) {
        t_.NextToken();
        node->Args.push_back(Argument());
      }
      Close(name);
      break;
    case ffReplace:
      Open(name);
      node->Args.push_back(NoAggregate(Additive()));
      Keyword("WITH", name);
      node->Args.push_back(NoAggregate(Additive()));
      Keyword("IN", name);
      node->Args.push_back(Argument());
      Close(name);
      break;
    case ffSearchIn:
      Open(name);
      node->Args.push_back(Additive());
      Keyword("IN", name);
      node->Args.push_back(Additive());
      Close(name);
      break;
    case ffCast: {
      Open(name);
      node->Args.push_back(Argument());
      Keyword("AS", name);
      const TSqlType type = ParseSqlType(t_);
      if (type.TypeCode == fldBCD && type.Scale > 4) t_.Raise(msg::kCastScale, {t_.ParseContext()});
      if (type.TypeCode == fldBLOB && type.BlobType != 0 && !BlobSubTypeOf(type.BlobType)) {
        t_.Raise(msg::kCastBlobType, {t_.ParseContext()});
      }
      node->ResultType = type.TypeCode;
      node->ResultSubType = type.SubType == fldstAUTOINC ? fldstNONE : type.SubType;
      node->Size = type.Size;
      node->Scale = type.Scale;
      Close(name);
      break;
    }
    case ffTrim:
      Open(name);
      if (t_.TokenIsKeyword("LEADING")) {
        node->Part = tpLeading;
      } else if (t_.TokenIsKeyword("TRAILING")) {
        node->Part = tpTrailing;
      } else if (t_.TokenIsKeyword("BOTH")) {
        node->Part = tpBoth;
      } else {
        t_.Raise(msg::kTrimPlacement, {t_.TokenText()});
      }
      t_.NextToken();
      node->Args.push_back(Additive());
      Keyword("FROM", name);
      node->Args.push_back(Argument());
      Close(name);
      break;
    case ffExtract: {
      Open(name);
      bool found = false;
      for (size_t i = 0; i < kExtractParts.size() && !found; ++i) {
        if (t_.TokenIsKeyword(kExtractParts[i])) {
          node->Part = static_cast<uint8_t>(i);
          found = true;
        }
      }
      if (!found) t_.Raise(msg::kExtractPart, {t_.TokenText()});
      t_.NextToken();
      Keyword("FROM", name);
      node->Args.push_back(Argument());
      Close(name);
      break;
    }
    case ffRound:
      Open(name);
      node->Args.push_back(Argument());
      if (t_.TokenIsKeyword("TO")) {
        t_.NextToken();
        node->Args.push_back(Argument());
      }
      Close(name);
      break;
    case ffThenElse:
      Open(name);
      node->Args.push_back(Argument());
      KeywordOrComma("THEN", name);
      node->Args.push_back(Argument());
      KeywordOrComma("ELSE", name);
      node->Args.push_back(Argument());
      Close(name);
      break;
    case ffList:
      Open(name);
      if (t_.IsToken(')')) t_.Raise(msg::kCoalesceNeedsArgument, {t_.ParseContext()});
      node->Args.push_back(Argument());
      while (t_.IsToken(',')) {
        t_.NextToken();
        node->Args.push_back(Argument());
      }
      Close(name);
      break;
  }
  (void)begin;
  return node;
}

}  // namespace

bool IsFunctionKeyword(std::string_view word) {
  for (const TFunctionWord& entry : kFunctionWords) {
    if (SameKeyword(word, entry.Name)) return true;
  }
  return false;
}

TExpToken* ParseExpression(TExpressionParser& tokens, TExpTokenStack& pool, unsigned permissions,
                           TExpressionHooks* hooks) {
  tokens.MarkExpressionStart();
  TGrammar grammar(tokens, pool, permissions, hooks);
  return grammar.Or();
}

TExpToken* ParsePrimary(TExpressionParser& tokens, TExpTokenStack& pool, unsigned permissions,
                        TExpressionHooks* hooks) {
  tokens.MarkExpressionStart();
  TGrammar grammar(tokens, pool, permissions, hooks);
  return grammar.Primary();
}

}  // namespace strata
