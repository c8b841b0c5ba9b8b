// Runs the SQL execution scripts (sql/tests/exec/*.sqltest) through the
// query component, as the banner service runs its statements. A script is
// a list of cases, each
//
//   <title line>             what the case shows (any text)
//   <statement lines>        one or more statements, ";" between them
//   ----
//   <expected lines>         up to a blank line or the end of the file
//
// The statement lines go into the query one line each (SQL.Add) and run by
// ExecSQL. Expected is then one of
//
//   - the result of a text whose first statement is a SELECT: a line of the
//     column names, then one line per row; the values are separated by "|"
//     and read as text (AsString), a NULL value shows as NULL;
//   - "rows affected: N" for any other text (N summed over its statements);
//   - "error: " and the exact message of the error raised (Windows-1252
//     texts shown in UTF-8, as the script files are written).
//
// Lines starting with "#" between cases are comments. Every script runs in
// a fresh temporary database folder (its session's private folder beside
// it), so a script sets up its own tables with CREATE TABLE and INSERT in
// its first cases; the cases of one script run in order on the same tables.
// With BANNER_SQLTEST_REWRITE=1 in the environment the scripts are written
// back with the results found (review the diff before committing it).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/windows1252.h"
#include "sql/query/strata_query.h"
#include "storage/session/strata_database.h"
#include "storage/session/strata_session.h"
#include "storage/test_temp_dir.h"

namespace strata {
namespace {

struct TScriptCase {
  int Line = 0;
  std::string Title;
  std::vector<std::string> Statements;
  std::string Expected;
};

// The cases of a script, and the comment lines before each (kept for
// rewriting).
struct TScript {
  std::vector<std::string> Comments;
  std::vector<TScriptCase> Cases;
  std::string Trailer;
};

std::vector<std::string> ReadLines(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TScript ParseScript(const std::vector<std::string>& lines) {
  TScript script;
  std::string comments;
  size_t i = 0;
  while (i < lines.size()) {
    if (lines[i].empty() || lines[i][0] == '#') {
      comments += lines[i++] + "\n";
      continue;
    }
    TScriptCase c;
    c.Line = static_cast<int>(i + 1);
    c.Title = lines[i++];
    while (i < lines.size() && lines[i] != "----") c.Statements.push_back(lines[i++]);
    ++i;  // ----
    while (i < lines.size() && !lines[i].empty()) c.Expected += lines[i++] + "\n";
    script.Comments.push_back(comments);
    comments.clear();
    script.Cases.push_back(std::move(c));
  }
  script.Trailer = comments;
  return script;
}

std::string Utf8Of(std::string_view windows1252) {
  std::string out;
  for (char c : windows1252) {
    const char16_t code = platform::Windows1252ToUnicode(static_cast<uint8_t>(c));
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

// The open result: names, then the rows from the first.
std::string ResultText(TStrataQuery& query) {
  std::string text;
  for (int i = 0; i < query.FieldCount(); ++i) {
    if (i > 0) text += '|';
    text += query.Fields(i).FieldName();
  }
  text += "\n";
  query.First();
  while (!query.Eof()) {
    for (int i = 0; i < query.FieldCount(); ++i) {
      const TField& field = query.Fields(i);
      if (i > 0) text += '|';
      text += field.IsNull() ? std::string("NULL") : field.AsString();
    }
    text += "\n";
    query.MoveBy(1);
  }
  return text;
}

// One script's database: a session and a database component on a fresh
// folder, and the query that runs the cases.
class TScriptDatabase {
 public:
  TScriptDatabase() {
    std::filesystem::create_directories(dir_.File("private"));
    session_.SetSessionName("ScriptSession");
    session_.SetPrivateDir(dir_.File("private"));
    session_.SetLockWaitTime(5);
    database_.SetSessionName("ScriptSession");
    database_.SetDatabaseName("ScriptDB");
    database_.SetDirectory(dir_.Dir());
    database_.SetConnected(true);
    query_.SetSessionName("ScriptSession");
    query_.SetDatabaseName("ScriptDB");
  }

  std::string Run(const std::vector<std::string>& statements) {
    try {
      query_.Close();
      query_.SQL().Clear();
      for (const std::string& line : statements) query_.SQL().Add(line);
      query_.ExecSQL();
      if (query_.Active()) {
        std::string text = ResultText(query_);
        query_.Close();
        return Utf8Of(text);
      }
      return "rows affected: " + std::to_string(query_.RowsAffected()) + "\n";
    } catch (const std::exception& error) {
      return "error: " + Utf8Of(error.what()) + "\n";
    }
  }

  // Files left in the private folder (result tables must not be).
  size_t PrivateFiles() const {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(dir_.File("private"))) {
      ++count;
    }
    return count;
  }

 private:
  testing::TTempDir dir_;
  TStrataSession session_;
  TStrataDatabase database_;
  TStrataQuery query_;
};

std::vector<std::filesystem::path> Scripts() {
  std::vector<std::filesystem::path> paths;
  for (const auto& entry : std::filesystem::directory_iterator(BANNER_SQL_EXEC_SCRIPTS)) {
    if (entry.path().extension() == ".sqltest") paths.push_back(entry.path());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

class ExecutionScript : public ::testing::TestWithParam<std::filesystem::path> {};

TEST_P(ExecutionScript, GivesTheExpectedRowsCountsAndMessages) {
  const std::filesystem::path path = GetParam();
  TScript script = ParseScript(ReadLines(path));
  ASSERT_FALSE(script.Cases.empty()) << path;
  const bool rewrite = std::getenv("BANNER_SQLTEST_REWRITE") != nullptr;
  TScriptDatabase database;
  for (TScriptCase& c : script.Cases) {
    const std::string actual = database.Run(c.Statements);
    std::string text;
    for (const std::string& line : c.Statements) text += line + "\n";
    EXPECT_EQ(c.Expected, actual) << path.filename() << ":" << c.Line << " " << c.Title << "\n"
                                  << text;
    EXPECT_EQ(database.PrivateFiles(), 0u)
        << path.filename() << ":" << c.Line << " left a result table behind";
    if (rewrite) c.Expected = actual;
  }
  if (rewrite) {
    std::ofstream out(path);
    for (size_t i = 0; i < script.Cases.size(); ++i) {
      const TScriptCase& c = script.Cases[i];
      out << script.Comments[i] << c.Title << "\n";
      for (const std::string& line : c.Statements) out << line << "\n";
      out << "----\n" << c.Expected;
    }
    out << script.Trailer;
  }
}

// A checkout without script files still builds and passes.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ExecutionScript);
INSTANTIATE_TEST_SUITE_P(Scripts, ExecutionScript, ::testing::ValuesIn(Scripts()),
                         [](const auto& info) { return info.param.stem().string(); });

}  // namespace
}  // namespace strata
