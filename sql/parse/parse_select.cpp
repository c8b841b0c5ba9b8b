// SELECT: items, INTO, FROM, WHERE, GROUP BY, HAVING, ORDER BY, the
// options, UNION chains, and sub-selects inside expressions.
#include <array>

#include "sql/parse/statement_messages.h"
#include "sql/parse/statement_parser.h"
#include "storage/session/language_table.h"

namespace strata {
namespace {

// The words after which a select item has ended.
constexpr std::array<std::string_view, 2> kItemEnds = {"FROM", "INTO"};

}  // namespace

void TStatementParser::ParseSelect(TDataQuery& query, bool master, TSourcePlace place) {
  ParseSelectBody(query, master, false, true, place);
  ParseUnion(query, place);
}

void TStatementParser::ParseSelectBody(TDataQuery& query, bool master, bool chain_member,
                                       bool allow_top, TSourcePlace place) {
  query.StatementKind = TStatementKind::kSelect;
  Next();  // SELECT
  if (IsKeyword("ALL")) Next();
  if (IsKeyword("DISTINCT")) {
    query.Distinct = true;
    Next();
  }
  ParseSelectItems(query);
  if (IsKeyword("INTO")) ParseInto(query, master);
  if (!IsKeyword("FROM")) Fail(msg::kKeywordExpected, {"FROM", TokenText()});
  Next();
  ParseSourceList(query, place);
  if (IsKeyword("WHERE")) ParseWhere(query);
  if (IsKeyword("GROUP")) ParseGroupBy(query);
  if (IsKeyword("HAVING")) {
    Next();
    query.Having =
        ParseClause(kHavingPermissions, msg::kHavingContext, msg::kHavingEmpty, ClauseWords());
  }
  if (!chain_member && IsKeyword("ORDER")) ParseOrderBy(query);
  ParseSelectOptions(query, allow_top);
}

void TStatementParser::ParseSelectItems(TDataQuery& query) {
  for (;;) {
    TResultField item;
    item.Expression = ParseClause(kSelectItemPermissions, msg::kSourceColumnContext,
                                  msg::kSourceColumnEmpty, kItemEnds);
    if (IsKeyword("AS")) {
      Next();
      if (!IsNameOrBracket()) FailAtToken(msg::kSymbolAfterAs);
    }
    if (IsNameOrBracket() && !IsKeyword("INTO") && !IsKeyword("FROM")) {
      item.Alias = TokenText();
      Next();
      if (IsChar('.')) {
        Next();
        if (!IsNameOrBracket()) FailAtToken(msg::kSymbolAfterCorrelationName);
        item.AliasTable = std::move(item.Alias);
        item.Alias = TokenText();
        Next();
      }
    }
    query.ResultFields.push_back(std::move(item));
    if (!IsChar(',')) return;
    Next();
  }
}

void TStatementParser::ParseInto(TDataQuery& query, bool master) {
  if (!master) Fail(msg::kIntoOnlyInMaster);
  Next();  // INTO
  query.HasInto = true;
  if (IsKeyword("MEMORY")) {
    query.IntoInMemory = true;
    Next();
  }
  if (!IsName() || IsKeyword("FROM")) {
    if (query.IntoInMemory) return;  // the name is optional after INTO MEMORY
    FailAtToken(msg::kResultTableExpected);
  }
  std::string written = TokenText();
  Next();
  if (IsChar('\\')) {
    Next();
    if (!IsName()) Fail(msg::kTableNameAfterKeyword, {"INTO", TokenText()});
    written += '\\';
    written += TokenText();
    Next();
  }
  TTableName name = ResolveTableName(written, query.IntoInMemory);
  query.IntoTableName = std::move(name.Name);
  query.IntoDirectory = std::move(name.Directory);
}

void TStatementParser::ParseColumnItem(TGroupByField& item, std::string_view clause) {
  if (tokens_.IsToken(ttInteger)) {
    item.ColumnNumber = ParseIntegerAfter(clause);
    return;
  }
  if (!IsNameOrBracket()) Fail(msg::kColumnExpectedIn, {clause, TokenText()});
  std::string name = TokenText();
  Next();
  if (IsChar('.')) {
    Next();
    if (!IsNameOrBracket()) Fail(msg::kColumnExpectedIn, {clause, TokenText()});
    item.CorrelationName = std::move(name);
    name = TokenText();
    Next();
  }
  item.ColumnName = std::move(name);
}

void TStatementParser::ParseGroupBy(TDataQuery& query) {
  Next();  // GROUP
  if (!IsKeyword("BY")) Fail(msg::kKeywordAfterKeyword, {"BY", "GROUP", TokenText()});
  Next();
  for (;;) {
    ParseColumnItem(query.GroupBy.emplace_back(), "GROUP BY");
    if (!IsChar(',')) return;
    Next();
  }
}

void TStatementParser::ParseOrderBy(TDataQuery& query) {
  Next();  // ORDER
  if (!IsKeyword("BY")) Fail(msg::kKeywordAfterKeyword, {"BY", "ORDER", TokenText()});
  Next();
  for (;;) {
    TOrderByField& item = query.OrderBy.emplace_back();
    ParseColumnItem(item, "ORDER BY");
    if (IsKeyword("ASC") || IsKeyword("ASCENDING")) {
      Next();
    } else if (IsKeyword("DESC") || IsKeyword("DESCENDING")) {
      item.Descending = true;
      Next();
    }
    if (!IsChar(',')) break;
    Next();
  }
  if (IsKeyword("NOCASE")) {
    query.OrderByNoCase = true;
    Next();
  }
}

void TStatementParser::ParseSelectOptions(TDataQuery& query, bool allow_top) {
  if (allow_top && IsKeyword("TOP")) {
    Next();
    query.Top = ParseIntegerAfter("TOP");
  }
  if (IsKeyword("WITH")) {
    Next();
    if (!IsKeyword("LOCKS")) Fail(msg::kKeywordAfterKeyword, {"LOCKS", "WITH", TokenText()});
    query.WithLocks = true;
    Next();
  }
  if (IsKeyword("LANGUAGE")) ParseLanguage(query.LanguageId, query.SortId);
  if (IsKeyword("ENCRYPTED")) {
    Next();
    if (!IsKeyword("WITH")) Fail(msg::kKeywordAfterKeyword, {"WITH", "ENCRYPTED", TokenText()});
    Next();
    query.Password = ParseStringAfter("WITH");
    query.Encrypted = true;
  }
  if (IsKeyword("NOJOINOPTIMIZE")) {
    query.NoJoinOptimize = true;
    Next();
  }
}

void TStatementParser::ParseLanguage(uint16_t& language_id, uint16_t& sort_id) {
  Next();  // LANGUAGE
  const std::string language = TokenText();
  const std::optional<uint16_t> id =
      tokens_.IsToken(ttString) ? LanguageIdByName(language) : std::nullopt;
  if (!id) Fail(msg::kInvalidLanguage, {language});
  language_id = *id;
  Next();
  if (!IsKeyword("SORT")) return;
  Next();
  const std::string sort = TokenText();
  const std::optional<uint16_t> sort_number =
      tokens_.IsToken(ttString) ? SortIdByName(language, sort) : std::nullopt;
  if (!sort_number) Fail(msg::kInvalidSort, {sort});
  sort_id = *sort_number;
  Next();
}

void TStatementParser::ParseUnion(TDataQuery& first, TSourcePlace place) {
  TDataQuery* last = &first;
  while (IsKeyword("UNION")) {
    if (!first.OrderBy.empty()) Fail(msg::kOrderByInUnion);
    Next();
    bool all = false;
    if (IsKeyword("ALL")) {
      all = true;
      Next();
    }
    const bool parenthesised = IsChar('(');
    if (parenthesised) Next();
    if (!IsKeyword("SELECT")) Fail(msg::kKeywordExpected, {"SELECT", TokenText()});
    TDataQuery& member = statement_.NewQuery();
    member.InUnionChain = true;
    ParseSelectBody(member, false, true, parenthesised, place);
    if (parenthesised) {
      if (!IsChar(')')) FailAtToken(msg::kRightParenAfterSelect);
      Next();
    }
    last->UnionNext = &member;
    last->UnionAll = all;
    last = &member;
  }
  if (last == &first) return;
  // ORDER BY and TOP after the chain order and cut the whole result.
  if (IsKeyword("ORDER")) ParseOrderBy(first);
  if (IsKeyword("TOP")) {
    Next();
    first.Top = ParseIntegerAfter("TOP");
  }
}

std::unique_ptr<TSubQuery> TStatementParser::ParseSubSelect(TExpressionParser& /*tokens*/) {
  if (!IsKeyword("SELECT")) Fail(msg::kKeywordExpected, {"SELECT", TokenText()});
  TDataQuery& query = statement_.NewQuery();
  ParseSelect(query, false, TSourcePlace::kSelect);
  auto sub_select = std::make_unique<TSubSelect>(query);
  statement_.SubSelects().push_back(sub_select.get());
  return sub_select;
}

void TStatementParser::AddParameter(TExpToken& node) { statement_.Parameters().push_back(&node); }

}  // namespace strata
