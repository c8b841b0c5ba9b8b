// The statement grammar's common parts: dispatch on the first word, the end
// of a statement, table references, correlation names, FROM lists with
// their joins, and the expressions of clauses.
#include "sql/parse/statement_parser.h"

#include <array>
#include <charconv>

#include "sql/parse/statement_messages.h"

namespace strata {
namespace {

// clang-format off
// The words that end a FROM entry instead of naming its correlation, by
// where the FROM list stands. FULL is among them so that a FULL join is
// refused rather than taken as a correlation name followed by an inner join.
constexpr std::array<std::string_view, 16> kSelectFromEnds = {
    "LEFT", "RIGHT", "INNER", "JOIN", "FULL", "WHERE", "ORDER", "GROUP", "HAVING", "TOP",
    "RANGE", "WITH", "ENCRYPTED", "LANGUAGE", "NOJOINOPTIMIZE", "UNION"};
constexpr std::array<std::string_view, 18> kInsertSelectFromEnds = {
    "LEFT", "RIGHT", "INNER", "JOIN", "FULL", "WHERE", "ORDER", "GROUP", "HAVING", "TOP",
    "RANGE", "WITH", "ENCRYPTED", "LANGUAGE", "NOJOINOPTIMIZE", "UNION", "NOAUTOINC", "COMMIT"};
constexpr std::array<std::string_view, 9> kUpdateFromEnds = {
    "LEFT", "RIGHT", "INNER", "JOIN", "FULL", "WHERE", "NOAUTOINC", "COMMIT", "NOJOINOPTIMIZE"};
constexpr std::array<std::string_view, 8> kDeleteFromEnds = {
    "LEFT", "RIGHT", "INNER", "JOIN", "FULL", "WHERE", "COMMIT", "NOJOINOPTIMIZE"};
// The words that begin the clause after a condition: a condition that
// starts with one of them is empty.
constexpr std::array<std::string_view, 18> kClauseWords = {
    "WHERE", "GROUP", "HAVING", "ORDER", "UNION", "TOP", "WITH", "LANGUAGE", "ENCRYPTED",
    "NOJOINOPTIMIZE", "NOAUTOINC", "COMMIT", "LEFT", "RIGHT", "INNER", "JOIN", "FULL", "RANGE"};
// clang-format on

}  // namespace

TDataQuery& ParseStatement(TExpressionParser& tokens, TParsedStatement& statement) {
  return TStatementParser(tokens, statement).ParseStatement();
}

TDataQuery& TStatementParser::ParseStatement() {
  TDataQuery& query = statement_.NewQuery();
  master_ = &query;
  ParseMaster(query);
  ExpectEndOfStatement(query.StatementKind);
  return query;
}

void TStatementParser::ParseMaster(TDataQuery& query) {
  if (IsKeyword("SELECT")) {
    ParseSelect(query, true, TSourcePlace::kSelect);
  } else if (IsKeyword("INSERT")) {
    ParseInsert(query);
  } else if (IsKeyword("UPDATE")) {
    ParseUpdate(query);
  } else if (IsKeyword("DELETE")) {
    ParseDelete(query);
  } else if (IsKeyword("CREATE")) {
    ParseCreate(query);
  } else if (IsKeyword("ALTER")) {
    ParseAlterTable(query);
  } else if (IsKeyword("DROP")) {
    ParseDrop(query);
  } else if (IsKeyword("START") || IsKeyword("COMMIT") || IsKeyword("ROLLBACK")) {
    ParseTransaction(query);
  } else {
    FailAtToken(msg::kStatementExpected);
  }
}

void TStatementParser::ExpectEndOfStatement(TStatementKind kind) {
  if (IsChar(';')) {
    Next();
  } else if (!tokens_.AtEnd()) {
    Fail(msg::kEndOfStatement, {StatementKindName(kind), TokenText()});
  }
}

bool TStatementParser::IsName() const {
  return tokens_.IsToken(ttSymbol) || tokens_.IsToken(ttString);
}

bool TStatementParser::IsNameOrBracket() const {
  return IsName() || tokens_.IsToken(ttBracketName);
}

bool TStatementParser::IsAnyKeyword(std::span<const std::string_view> words) const {
  if (!tokens_.IsToken(ttSymbol)) return false;
  for (std::string_view word : words) {
    if (tokens_.TokenIsKeyword(word)) return true;
  }
  return false;
}

void TStatementParser::Fail(std::string_view pattern,
                            std::initializer_list<std::string_view> values) const {
  tokens_.Raise(pattern, values);
}

void TStatementParser::FailAtToken(std::string_view pattern) const {
  const std::string token = TokenText();
  tokens_.Raise(pattern, {token});
}

TTableName TStatementParser::ParseTableReference(std::string_view missing,
                                                 std::string_view keyword) {
  const auto need_name = [&] {
    if (IsName()) return;
    const std::string token = TokenText();
    if (keyword.empty()) Fail(missing, {token});
    Fail(missing, {keyword, token});
  };
  bool in_memory = false;
  if (IsKeyword("MEMORY")) {
    in_memory = true;
    Next();
  }
  need_name();
  std::string written = TokenText();
  Next();
  if (IsChar('\\')) {
    Next();
    need_name();
    written += '\\';
    written += TokenText();
    Next();
  }
  return ResolveTableName(written, in_memory);
}

void TStatementParser::ParseCorrelation(TSourceTable& source,
                                        std::span<const std::string_view> end_words) {
  if (IsKeyword("AS")) {
    Next();
    if (!IsName()) FailAtToken(msg::kSymbolAfterAs);
  } else if (!IsName() || IsAnyKeyword(end_words)) {
    return;
  }
  source.CorrelationName = TokenText();
  source.ExplicitCorrelation = true;
  Next();
}

TSourceTable& TStatementParser::AddSource(TDataQuery& query, TSourceTable source, bool at_front) {
  if (query.FindSource(source.CorrelationName) != nullptr) {
    Fail(msg::kDuplicateCorrelation, {source.CorrelationName});
  }
  source.Position = static_cast<int>(query.SourceTables.size()) + 1;
  if (at_front) {
    query.SourceTables.insert(query.SourceTables.begin(), std::move(source));
    return query.SourceTables.front();
  }
  query.SourceTables.push_back(std::move(source));
  return query.SourceTables.back();
}

namespace {}  // namespace

std::span<const std::string_view> TStatementParser::ClauseWords() { return kClauseWords; }

std::span<const std::string_view> TStatementParser::FromEnds(TSourcePlace place) {
  switch (place) {
    case TSourcePlace::kInsertSelect:
      return kInsertSelectFromEnds;
    case TSourcePlace::kUpdate:
      return kUpdateFromEnds;
    case TSourcePlace::kDelete:
      return kDeleteFromEnds;
    case TSourcePlace::kSelect:
      break;
  }
  return kSelectFromEnds;
}

void TStatementParser::ParseSourceList(TDataQuery& query, TSourcePlace place, bool skip_first) {
  if (!skip_first) ParseSource(query, place);
  while (IsChar(',')) {
    Next();
    ParseSource(query, place);
  }
}

void TStatementParser::ParseSource(TDataQuery& query, TSourcePlace place) {
  TSourceTable source = MakeSourceTable(ParseTableReference(msg::kTableNameAfterKeyword, "FROM"));
  ParseCorrelation(source, FromEnds(place));
  int left = AddSource(query, std::move(source), false).Position;
  while (ParseJoin(query, place, left)) left = query.Joins.back().SourcePosition;
}

bool TStatementParser::ParseJoin(TDataQuery& query, TSourcePlace place, int left_position) {
  TJoinKind kind = TJoinKind::kInner;
  if (IsKeyword("INNER")) {
    Next();
    if (!IsKeyword("JOIN")) Fail(msg::kKeywordAfterKeyword, {"JOIN", "INNER", TokenText()});
  } else if (IsKeyword("LEFT") || IsKeyword("RIGHT")) {
    kind = IsKeyword("LEFT") ? TJoinKind::kLeft : TJoinKind::kRight;
    Next();
    if (IsKeyword("OUTER")) Next();
    if (IsKeyword("FULL")) Fail(msg::kFullJoin);
    if (!IsKeyword("JOIN")) {
      Fail(msg::kKeywordAfterKeyword,
           {"JOIN", kind == TJoinKind::kLeft ? "LEFT or OUTER" : "RIGHT or OUTER", TokenText()});
    }
  } else if (IsKeyword("FULL")) {
    Fail(msg::kFullJoin);
  } else if (!IsKeyword("JOIN")) {
    return false;
  }
  Next();
  TSourceTable source = MakeSourceTable(ParseTableReference(msg::kTableNameAfterKeyword, "JOIN"));
  if (!IsKeyword("ON")) ParseCorrelation(source, FromEnds(place));
  const int position = AddSource(query, std::move(source), kind == TJoinKind::kRight).Position;
  if (!IsKeyword("ON")) FailAtToken(msg::kOnExpected);
  Next();
  TExpressionRef condition =
      ParseClause(kJoinOnPermissions, msg::kWhereContext, msg::kWhereEmpty, kClauseWords);
  AddCondition(query, condition.Root);
  query.Joins.push_back({kind, position, left_position, condition.Root, condition.Text});
  return true;
}

TExpressionRef TStatementParser::ParseClause(unsigned permissions, std::string_view context,
                                             std::string_view empty_message,
                                             std::span<const std::string_view> end_words) {
  if (tokens_.AtEnd() || IsChar(';') || IsChar(',') || IsChar(')') || IsAnyKeyword(end_words)) {
    Fail(empty_message);
  }
  TExpressionRef expression;
  expression.Text.Begin = static_cast<uint32_t>(tokens_.TokenStart());
  // Clauses nest (a sub-select inside a WHERE condition): the context of
  // the enclosing clause comes back afterwards.
  const std::string_view enclosing = context_;
  SetContext(context);
  expression.Root = ParseExpression(tokens_, statement_.Nodes(), permissions, this);
  SetContext(enclosing);
  expression.Text.End = static_cast<uint32_t>(tokens_.PreviousTokenEnd());
  return expression;
}

void TStatementParser::ParseWhere(TDataQuery& query) {
  Next();  // WHERE
  TExpressionRef condition =
      ParseClause(kWherePermissions, msg::kWhereContext, msg::kWhereEmpty, ClauseWords());
  query.Where.Text = condition.Text;
  AddCondition(query, condition.Root);
}

void TStatementParser::AddCondition(TDataQuery& query, TExpToken* condition) {
  if (query.Where.Root == nullptr) {
    query.Where.Root = condition;
    return;
  }
  TExpToken* both = statement_.Nodes().New();
  both->Class = ncBinary;
  both->Code = opAnd;
  both->Text = "AND";
  both->Left = query.Where.Root;
  both->Right = condition;
  query.Where.Root = both;
}

int TStatementParser::ParseIntegerAfter(std::string_view keyword, bool allow_negative) {
  bool negative = false;
  if (allow_negative && IsChar('-')) {
    negative = true;
    Next();
  }
  const std::string_view digits = tokens_.RawTokenText();
  int64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (!tokens_.IsToken(ttInteger) || error != std::errc{} || end != digits.data() + digits.size() ||
      value > INT32_MAX) {
    Fail(msg::kIntegerAfterKeyword, {keyword, TokenText()});
  }
  Next();
  return static_cast<int>(negative ? -value : value);
}

}  // namespace strata
