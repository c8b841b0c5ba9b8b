// Runs the parser's script tests (sql/tests/parse/*.sqltest). A script is a
// list of cases, each
//
//   parse | error            the kind of case (a title may follow)
//   <statement text lines>   one or more statements
//   ----
//   <expected lines>         up to a blank line or the end of the file
//
// "parse" expects the outline of each statement of the text in turn (see
// query_outline.h); "error" expects the outlines of the statements that
// parse and then "error: " and the exact message of engine error 11949.
// Lines starting with "#" between cases are comments. With
// BANNER_SQLTEST_REWRITE=1 in the environment the scripts are written back
// with the results found (review the diff before committing it).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sql/expr/expression_parser.h"
#include "sql/parse/query_outline.h"
#include "sql/parse/statement_parser.h"
#include "storage/engine_error.h"

namespace strata {
namespace {

struct TScriptCase {
  int Line = 0;
  std::string Header;
  std::string Text;
  std::string Expected;
};

std::vector<std::string> ReadLines(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The cases of a script, and the comment lines before each (kept for
// rewriting).
struct TScript {
  std::vector<std::string> Comments;  // before case i, joined
  std::vector<TScriptCase> Cases;
  std::string Trailer;
};

TScript ParseScript(const std::vector<std::string>& lines) {
  TScript script;
  std::string comments;
  size_t i = 0;
  while (i < lines.size()) {
    const std::string& line = lines[i];
    if (line.empty() || line[0] == '#') {
      comments += line + "\n";
      ++i;
      continue;
    }
    TScriptCase c;
    c.Line = static_cast<int>(i + 1);
    c.Header = line;
    ++i;
    std::string text;
    while (i < lines.size() && lines[i] != "----") text += (text.empty() ? "" : "\n") + lines[i++];
    ++i;  // ----
    c.Text = text;
    while (i < lines.size() && !lines[i].empty()) c.Expected += lines[i++] + "\n";
    script.Comments.push_back(comments);
    comments.clear();
    script.Cases.push_back(std::move(c));
  }
  script.Trailer = comments;
  return script;
}

// Parses every statement of `text` the way a statement runner does: each
// after the one before, from where that one ended.
std::string RunScriptText(const std::string& text) {
  TExpressionParser tokens;
  tokens.SetText(text);
  TParsedStatement statement;
  std::string result;
  try {
    tokens.NextToken();
    do {
      statement.Clear();
      ParseStatement(tokens, statement);
      result += QueryOutline(statement, tokens.Text());
    } while (!tokens.AtEnd());
  } catch (const EStrataEngineError& error) {
    if (error.Code != STRATA_SQLPARSE) {
      result += "engine error " + std::to_string(error.Code) + ": " + error.what() + "\n";
    } else {
      result += "error: " + error.ContextDetail + "\n";
    }
  }
  return result;
}

std::vector<std::filesystem::path> Scripts() {
  std::vector<std::filesystem::path> paths;
  for (const auto& entry : std::filesystem::directory_iterator(BANNER_SQL_PARSE_SCRIPTS)) {
    if (entry.path().extension() == ".sqltest") paths.push_back(entry.path());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

class ParserScript : public ::testing::TestWithParam<std::filesystem::path> {};

TEST_P(ParserScript, GivesTheExpectedOutlinesAndMessages) {
  const std::filesystem::path path = GetParam();
  TScript script = ParseScript(ReadLines(path));
  ASSERT_FALSE(script.Cases.empty()) << path;
  const bool rewrite = std::getenv("BANNER_SQLTEST_REWRITE") != nullptr;
  for (TScriptCase& c : script.Cases) {
    const std::string actual = RunScriptText(c.Text);
    const bool expects_error = c.Header.rfind("error", 0) == 0;
    EXPECT_EQ(expects_error, actual.find("error: ") != std::string::npos)
        << path.filename() << ":" << c.Line << " " << c.Header;
    EXPECT_EQ(c.Expected, actual) << path.filename() << ":" << c.Line << "\n" << c.Text;
    if (rewrite) c.Expected = actual;
  }
  if (rewrite) {
    std::ofstream out(path);
    for (size_t i = 0; i < script.Cases.size(); ++i) {
      const TScriptCase& c = script.Cases[i];
      out << script.Comments[i] << c.Header << "\n" << c.Text << "\n----\n" << c.Expected;
    }
    out << script.Trailer;
  }
}

INSTANTIATE_TEST_SUITE_P(Scripts, ParserScript, ::testing::ValuesIn(Scripts()),
                         [](const auto& info) { return info.param.stem().string(); });

}  // namespace
}  // namespace strata
