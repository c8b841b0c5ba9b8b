// TStatementParser: the statement grammar. Reads one statement from the
// tokenizer, starting at its first token, into the queries of a
// TParsedStatement; expressions inside it go to the expression grammar
// (sql/expr/exp_grammar.h) with the permissions of their place.
//
// On return the tokenizer stands on the first token of the next statement
// (or ttEnd): the ";" that ends a statement is consumed. Every failure is
// engine error 11949 with a message of statement_messages.h or of the
// expression layer; the parsed statement is then incomplete and must be
// cleared before reuse.
//
// The grammar is spread over four files:
//   statement_parser.cpp  dispatch, statement ends, table references,
//                         correlation names, FROM lists and joins
//   parse_select.cpp      SELECT with INTO, GROUP BY, HAVING, ORDER BY,
//                         options, UNION; sub-selects
//   parse_change.cpp      INSERT, UPDATE, DELETE and their COMMIT option
//   parse_ddl.cpp         CREATE/ALTER/DROP TABLE, CREATE/DROP INDEX,
//                         START TRANSACTION, COMMIT, ROLLBACK
#pragma once

#include <memory>
#include <span>
#include <string_view>

#include "sql/expr/exp_grammar.h"
#include "sql/expr/expression_parser.h"
#include "sql/parse/data_query.h"
#include "sql/parse/parsed_statement.h"

namespace strata {

class TStatementParser : private TExpressionHooks {
 public:
  TStatementParser(TExpressionParser& tokens, TParsedStatement& statement)
      : tokens_(tokens), statement_(statement) {}

  // Parses the statement at the current token into a new master query.
  TDataQuery& ParseStatement();

 private:
  // Where a FROM list stands decides which words end one of its entries.
  enum class TSourcePlace { kSelect, kInsertSelect, kUpdate, kDelete };

  // ---- statement_parser.cpp
  void ParseMaster(TDataQuery& query);
  void ExpectEndOfStatement(TStatementKind kind);
  bool IsName() const;  // ttSymbol or ttString
  bool IsNameOrBracket() const;
  bool IsKeyword(std::string_view word) const { return tokens_.TokenIsKeyword(word); }
  bool IsAnyKeyword(std::span<const std::string_view> words) const;
  bool IsChar(char c) const { return tokens_.IsToken(static_cast<unsigned char>(c)); }
  void Next() { tokens_.NextToken(); }
  [[noreturn]] void Fail(std::string_view pattern,
                         std::initializer_list<std::string_view> values = {}) const;
  [[noreturn]] void FailAtToken(std::string_view pattern) const;  // pattern's one %s: the token
  std::string TokenText() const { return tokens_.TokenText(); }
  // MEMORY, a name, "\" name; resolved. `missing` raises for a missing name
  // (its one "%s" or last "%s" is the token; `keyword` fills a first "%s").
  TTableName ParseTableReference(std::string_view missing, std::string_view keyword = {});
  // [AS] alias after a table: a bare name that is none of `end_words`.
  void ParseCorrelation(TSourceTable& source, std::span<const std::string_view> end_words);
  TSourceTable& AddSource(TDataQuery& query, TSourceTable source, bool at_front);
  void ParseSourceList(TDataQuery& query, TSourcePlace place, bool skip_first_check = false);
  void ParseSource(TDataQuery& query, TSourcePlace place);
  bool ParseJoin(TDataQuery& query, TSourcePlace place, int left_position);
  static std::span<const std::string_view> FromEnds(TSourcePlace place);
  // The words that begin a clause: a condition starting with one is empty.
  static std::span<const std::string_view> ClauseWords();
  // An expression of a clause: the empty check, the context, the text span.
  TExpressionRef ParseClause(unsigned permissions, std::string_view context,
                             std::string_view empty_message,
                             std::span<const std::string_view> end_words = {});
  // WHERE condition: ANDed into the tree after the ON conditions.
  void ParseWhere(TDataQuery& query);
  // ANDs `condition` into the query's WHERE tree.
  void AddCondition(TDataQuery& query, TExpToken* condition);
  int ParseIntegerAfter(std::string_view keyword, bool allow_negative = false);

  // ---- parse_select.cpp
  void ParseSelect(TDataQuery& query, bool master, TSourcePlace place);
  // A chain member after UNION leaves ORDER BY (and, unless parenthesised,
  // TOP) to the master.
  void ParseSelectBody(TDataQuery& query, bool master, bool chain_member, bool allow_top,
                       TSourcePlace place);
  void ParseSelectItems(TDataQuery& query);
  void ParseInto(TDataQuery& query, bool master);
  void ParseGroupBy(TDataQuery& query);
  void ParseOrderBy(TDataQuery& query);
  void ParseColumnItem(TGroupByField& item, std::string_view clause);
  void ParseSelectOptions(TDataQuery& query, bool allow_top);
  void ParseLanguage(uint16_t& language_id, uint16_t& sort_id);
  void ParseUnion(TDataQuery& master, TSourcePlace place);
  std::unique_ptr<TSubQuery> ParseSubSelect(TExpressionParser& tokens) override;
  void AddParameter(TExpToken& node) override;

  // ---- parse_change.cpp
  void ParseInsert(TDataQuery& query);
  void ParseInsertColumns(TDataQuery& query);
  void ParseInsertValues(TDataQuery& query);
  void ParseUpdate(TDataQuery& query);
  void ParseDelete(TDataQuery& query);
  TUpdateField ParseTargetColumn();
  void ParseCommitOption(TCommitOption& commit);

  // ---- parse_ddl.cpp
  void ParseCreate(TDataQuery& query);
  void ParseCreateTable(TDataQuery& query);
  void ParseCreateIndex(TDataQuery& query);
  void ParseAlterTable(TDataQuery& query);
  void ParseDrop(TDataQuery& query);
  void ParseTransaction(TDataQuery& query);
  TColumnDefinition ParseColumnDefinition();
  void ParseColumnOptions(TColumnDefinition& column);
  std::string ParseValueText(std::string_view keyword);
  TPrimaryKeyDefinition ParsePrimaryKey(std::string constraint);
  std::vector<TKeyColumn> ParseKeyColumns(std::string_view after, bool with_order);
  void ParseTableOptions(TTableOptions& options);
  std::string ParseStringAfter(std::string_view keyword, std::string_view context = {});
  std::string ParseName(std::string_view missing);
  bool ParseIfExists(bool with_not);

  void SetContext(std::string_view context) {
    context_ = context;
    tokens_.SetParseContext(context);
  }

  TExpressionParser& tokens_;
  TParsedStatement& statement_;
  std::string_view context_ = kDefaultParseContext;  // always a literal
  TDataQuery* master_ = nullptr;
};

// Parses one statement at the tokenizer's current token (see TStatementParser).
TDataQuery& ParseStatement(TExpressionParser& tokens, TParsedStatement& statement);

}  // namespace strata
