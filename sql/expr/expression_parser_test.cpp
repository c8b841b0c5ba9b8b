#include "sql/expr/expression_parser.h"

#include <gtest/gtest.h>

#include <vector>

#include "storage/engine_error.h"

namespace strata {
namespace {

struct TToken {
  int Kind;
  std::string Text;
  friend bool operator==(const TToken&, const TToken&) = default;
};

std::vector<TToken> Tokens(std::string text) {
  TExpressionParser parser(std::move(text));
  std::vector<TToken> out;
  while (parser.NextToken() != ttEnd) out.push_back({parser.TokenKind(), parser.TokenText()});
  return out;
}

// The message of the 11949 error the text raises while being read.
std::string ErrorOf(std::string text) {
  try {
    Tokens(std::move(text));
  } catch (const EStrataEngineError& error) {
    EXPECT_EQ(error.Code, STRATA_SQLPARSE);
    return error.ContextDetail;
  }
  return "(no error)";
}

TEST(ExpressionParser, ClassifiesSymbolsNumbersAndCharacters) {
  EXPECT_EQ(Tokens("select ID_2!$@ from t;"), (std::vector<TToken>{{ttSymbol, "select"},
                                                                   {ttSymbol, "ID_2!$@"},
                                                                   {ttSymbol, "from"},
                                                                   {ttSymbol, "t"},
                                                                   {';', ";"}}));
  EXPECT_EQ(Tokens("\xE4rger _x"), (std::vector<TToken>{{ttSymbol, "\xE4rger"}, {ttSymbol, "_x"}}));
  EXPECT_EQ(Tokens("(<>)"), (std::vector<TToken>{{'(', "("}, {'<', "<"}, {'>', ">"}, {')', ")"}}));
  // Byte 255 is no letter: a one-character token of its own code.
  EXPECT_EQ(Tokens("\xFF"), (std::vector<TToken>{{255, "\xFF"}}));
}

TEST(ExpressionParser, ReadsNumbers) {
  EXPECT_EQ(Tokens("1e5 .5 1.25E-3"),
            (std::vector<TToken>{{ttFloat, "1e5"}, {ttFloat, ".5"}, {ttFloat, "1.25E-3"}}));
  EXPECT_EQ(Tokens("1+2"), (std::vector<TToken>{{ttInteger, "1"}, {'+', "+"}, {ttInteger, "2"}}));
  EXPECT_EQ(Tokens("12abc"), (std::vector<TToken>{{ttInteger, "12"}, {ttSymbol, "abc"}}));
  // The tokenizer takes what may continue a number; the grammar judges it.
  EXPECT_EQ(Tokens("1.2.3e+4-1"),
            (std::vector<TToken>{{ttFloat, "1.2.3e+4"}, {'-', "-"}, {ttInteger, "1"}}));
  EXPECT_EQ(Tokens("a.b"), (std::vector<TToken>{{ttSymbol, "a"}, {'.', "."}, {ttSymbol, "b"}}));
}

TEST(ExpressionParser, QuotedStringsCollapseDoubledQuotes) {
  EXPECT_EQ(Tokens("'it''s'"), (std::vector<TToken>{{ttString, "it's"}}));
  EXPECT_EQ(Tokens("\"say \"\"hi\"\"\""), (std::vector<TToken>{{ttString, "say \"hi\""}}));
  // The other quote character is plain text inside, yet a doubled one is
  // still made single.
  EXPECT_EQ(Tokens("'a\"\"b'"), (std::vector<TToken>{{ttString, "a\"b"}}));
  EXPECT_EQ(Tokens("\"it's\""), (std::vector<TToken>{{ttString, "it's"}}));
  EXPECT_EQ(Tokens("''"), (std::vector<TToken>{{ttString, ""}}));
  EXPECT_EQ(Tokens("'''' 'x'"), (std::vector<TToken>{{ttString, "'"}, {ttString, "x"}}));
  EXPECT_EQ(Tokens("[my col] [a'']"),
            (std::vector<TToken>{{ttBracketName, "my col"}, {ttBracketName, "a'"}}));
}

TEST(ExpressionParser, SkipsBlanksControlCharactersAndComments) {
  EXPECT_EQ(Tokens("/* one */ a\r\n\t/**/b/* x * / */"),
            (std::vector<TToken>{{ttSymbol, "a"}, {ttSymbol, "b"}}));
  // Two hyphens are two minus signs, not a comment.
  EXPECT_EQ(Tokens("--a"), (std::vector<TToken>{{'-', "-"}, {'-', "-"}, {ttSymbol, "a"}}));
  EXPECT_EQ(Tokens("a / b"), (std::vector<TToken>{{ttSymbol, "a"}, {'/', "/"}, {ttSymbol, "b"}}));
}

TEST(ExpressionParser, RaisesItsMessagesWithTheTextReadSoFar) {
  EXPECT_EQ(ErrorOf("a /* open"), "Missing ending comment slash and asterisk in SQL statement");
  EXPECT_EQ(ErrorOf("x = 'abc"), "Missing single quote after 'abc' in SQL statement");
  EXPECT_EQ(ErrorOf("x = \"ab''c"), "Missing double quote after 'ab''c' in SQL statement");
  EXPECT_EQ(ErrorOf("x = [col"), "Missing right bracket after 'col' in SQL statement");
  EXPECT_EQ(ErrorOf("'it''"), "Missing single quote after 'it''' in SQL statement");
}

TEST(ExpressionParser, CharacterCodes) {
  TExpressionParser parser("#65 #256 # #0");
  ASSERT_EQ(parser.NextToken(), ttCharCode);
  EXPECT_EQ(parser.TokenText(), "#65");
  EXPECT_EQ(parser.CharCodeValue(), 65);
  ASSERT_EQ(parser.NextToken(), ttCharCode);
  try {
    parser.CharCodeValue();
    FAIL();
  } catch (const EStrataEngineError& error) {
    const std::string detail = error.ContextDetail;
    EXPECT_TRUE(detail.ends_with("0 to 255 in SQL statement")) << detail;
  }
  ASSERT_EQ(parser.NextToken(), ttCharCode);
  EXPECT_THROW(parser.CharCodeValue(), EStrataEngineError);
  ASSERT_EQ(parser.NextToken(), ttCharCode);
  EXPECT_EQ(parser.CharCodeValue(), 0);
}

TEST(ExpressionParser, KeywordsAreBareSymbolsInAnyCase) {
  TExpressionParser parser("SeLeCt 'select' [select] selects");
  parser.NextToken();
  EXPECT_TRUE(parser.TokenIsKeyword("SELECT"));
  EXPECT_TRUE(parser.TokenIsKeyword("select"));
  parser.NextToken();
  EXPECT_FALSE(parser.TokenIsKeyword("SELECT"));
  parser.NextToken();
  EXPECT_FALSE(parser.TokenIsKeyword("SELECT"));
  parser.NextToken();
  EXPECT_FALSE(parser.TokenIsKeyword("SELECT"));
  EXPECT_FALSE(SameKeyword("SEL", "SELECT"));
  EXPECT_TRUE(SameKeyword("s\xC9lect", "SELECT"));  // accents do not count
}

// TokenIsKeyword takes a short way for ASCII words; on every word it must
// decide as SameKeyword does, also after a restored look-ahead.
TEST(ExpressionParser, KeywordTestAgreesWithSameKeyword) {
  const std::string words[] = {"SELECT",    "select", "SeLeCt", "Sel",   "selects", "s\xC9lect",
                               "\xC9t\xC9", "_a1",    "a",      "FROM_", "z"};
  const std::string_view keywords[] = {"SELECT", "A", "_A1", "SELECTS", "FROM", "Z", "\xC9T\xC9"};
  std::string text;
  for (const std::string& word : words) text += word + " ";
  TExpressionParser parser(text);
  size_t symbols = 0;
  for (parser.NextToken(); !parser.AtEnd(); parser.NextToken()) {
    ASSERT_TRUE(parser.IsToken(ttSymbol));
    ++symbols;
    const std::string token = parser.TokenText();
    for (std::string_view keyword : keywords) {
      EXPECT_EQ(parser.TokenIsKeyword(keyword), SameKeyword(token, keyword))
          << token << " / " << keyword;
    }
  }
  EXPECT_EQ(symbols, std::size(words));
  parser.SetText("select \xC9t\xC9");
  parser.NextToken();
  const TExpressionParser::TState first = parser.Save();
  parser.NextToken();
  EXPECT_EQ(parser.TokenIsKeyword("\xC9T\xC9"), SameKeyword("\xC9t\xC9", "\xC9T\xC9"));
  parser.Restore(first);
  EXPECT_TRUE(parser.TokenIsKeyword("SELECT"));
}

TEST(ExpressionParser, ContextErrorCodeAndExpressionText) {
  TExpressionParser parser("a +\r\n b = 'x");
  parser.SetParseContext("WHERE or JOIN clause");
  parser.NextToken();
  parser.MarkExpressionStart();
  parser.NextToken();
  parser.NextToken();
  parser.NextToken();
  EXPECT_EQ(parser.ExpressionText(), "a + b");
  EXPECT_EQ(parser.SourceText(0, parser.PreviousTokenEnd()), "a + b");
  try {
    parser.NextToken();
    FAIL();
  } catch (const EStrataEngineError& error) {
    EXPECT_EQ(error.ContextDetail, "Missing single quote after 'x' in WHERE or JOIN clause");
    EXPECT_EQ(std::string(error.what()),
              "Strata Engine Error # 11949 SQL error - Missing single quote after 'x' in WHERE or "
              "JOIN clause");
  }
  parser.SetText("'");
  parser.SetErrorTarget({STRATA_INVALIDFILTER, "Banner"});
  parser.SetParseContext("filter expression");
  try {
    parser.NextToken();
    FAIL();
  } catch (const EStrataEngineError& error) {
    EXPECT_EQ(error.Code, STRATA_INVALIDFILTER);
    EXPECT_EQ(error.ContextTable, "Banner");
  }
}

TEST(ExpressionParser, SaveAndRestoreLookAhead) {
  TExpressionParser parser("a ( b");
  parser.NextToken();
  const auto state = parser.Save();
  EXPECT_EQ(parser.NextToken(), '(');
  parser.Restore(state);
  EXPECT_EQ(parser.TokenText(), "a");
  EXPECT_EQ(parser.NextToken(), '(');
  EXPECT_EQ(parser.NextToken(), ttSymbol);
  EXPECT_EQ(parser.NextToken(), ttEnd);
  EXPECT_EQ(parser.NextToken(), ttEnd);
  EXPECT_EQ(parser.TokenText(), "");
}

}  // namespace
}  // namespace strata
