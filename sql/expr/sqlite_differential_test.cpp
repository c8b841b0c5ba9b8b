// Differential test against SQLite: thousands of generated expressions whose
// meaning is the same in both dialects (whole and float arithmetic,
// comparisons of non-NULL values, LIKE on ASCII, IN, BETWEEN, string
// functions) are evaluated by our engine and by SQLite; every disagreement
// is reported with both texts.
//
// Where the dialects spell things differently the generator writes each
// side its own way: our '+' on strings is SQLite's '||', SUBSTRING(s FROM a
// FOR b) is substr(s, a, b), POS(x IN s) is instr(s, x), and our '/' on whole
// numbers gives a float (SQLite: the whole quotient), so SQLite's side
// divides a REAL. Texts are lower-case letters, whose locale order is their
// byte order.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <cstring>
#include <random>

#include "sql/expr/exp_eval.h"
#include "sql/expr/exp_grammar.h"
#include "sql/expr/operand_types.h"
#include "storage/engine_error.h"

namespace strata {
namespace {

struct TPair {
  std::string Ours;
  std::string Theirs;
};

class TGenerator {
 public:
  explicit TGenerator(uint32_t seed) : random_(seed) {}

  TPair Boolean(int depth) {
    switch (Pick(depth > 0 ? 9 : 6)) {
      case 0:
        return Compare(Integer(depth - 1), Integer(depth - 1));
      case 1:
        return Compare(Float(depth - 1), Integer(depth - 1));
      case 2:
        return Compare(Text(depth - 1), Text(depth - 1));
      case 3: {
        TPair text = Text(depth - 1);
        TPair pattern = Quote(Word("ab%_", 1, 4));
        const bool negated = Pick(3) == 0;
        const char* op = negated ? " NOT LIKE " : " LIKE ";
        return {"(" + text.Ours + op + pattern.Ours + ")",
                "(" + text.Theirs + op + pattern.Theirs + ")"};
      }
      case 4: {
        TPair value = Integer(depth - 1);
        TPair list = Integer(0);
        for (int i = Pick(4); i >= 0; --i) {
          TPair more = Integer(depth - 1);
          list = {list.Ours + ", " + more.Ours, list.Theirs + ", " + more.Theirs};
        }
        const char* op = Pick(3) == 0 ? " NOT IN (" : " IN (";
        return {"(" + value.Ours + op + list.Ours + "))",
                "(" + value.Theirs + op + list.Theirs + "))"};
      }
      case 5: {
        TPair value = Pick(2) ? Integer(depth - 1) : Float(depth - 1);
        TPair low = Integer(0);
        TPair high = Integer(depth - 1);
        const char* op = Pick(3) == 0 ? " NOT BETWEEN " : " BETWEEN ";
        return {"(" + value.Ours + op + low.Ours + " AND " + high.Ours + ")",
                "(" + value.Theirs + op + low.Theirs + " AND " + high.Theirs + ")"};
      }
      case 6:
        return Join(Boolean(depth - 1), " AND ", Boolean(depth - 1));
      case 7:
        return Join(Boolean(depth - 1), " OR ", Boolean(depth - 1));
      default: {
        TPair inner = Boolean(depth - 1);
        return {"(NOT " + inner.Ours + ")", "(NOT " + inner.Theirs + ")"};
      }
    }
  }

  TPair Integer(int depth) {
    switch (Pick(depth > 0 ? 9 : 2)) {
      case 0: {
        const std::string n = std::to_string(Pick(100));
        return {n, n};
      }
      case 1: {
        const std::string n = "(-" + std::to_string(Pick(50)) + ")";
        return {n, n};
      }
      case 2:
        return Join(Integer(depth - 1), " + ", Integer(depth - 1));
      case 3:
        return Join(Integer(depth - 1), " - ", Integer(depth - 1));
      case 4:
        return Join(Integer(depth - 1), " * ", Integer(depth - 1));
      case 5: {
        TPair s = Text(depth - 1);
        return {"LENGTH(" + s.Ours + ")", "length(" + s.Theirs + ")"};
      }
      case 6: {
        TPair x = Quote(Word("ab", 1, 2));
        TPair s = Text(depth - 1);
        return {"POS(" + x.Ours + " IN " + s.Ours + ")",
                "instr(" + s.Theirs + ", " + x.Theirs + ")"};
      }
      case 7: {
        TPair x = Integer(depth - 1);
        return {"ABS(" + x.Ours + ")", "abs(" + x.Theirs + ")"};
      }
      default: {
        TPair s = Text(depth - 1);
        return {"LENGTH(UPPER(" + s.Ours + "))", "length(upper(" + s.Theirs + "))"};
      }
    }
  }

  TPair Float(int depth) {
    switch (Pick(depth > 0 ? 6 : 1)) {
      case 0: {
        const std::string n = std::to_string(Pick(1000)) + "." + std::to_string(Pick(100)) + "5";
        return {n, n};
      }
      case 1:
        return Join(Float(depth - 1), " + ", Integer(depth - 1));
      case 2:
        return Join(Integer(depth - 1), " * ", Float(depth - 1));
      case 3: {
        // A divisor that is never zero.
        TPair a = Integer(depth - 1);
        const std::string b = std::to_string(1 + Pick(9));
        return {"(" + a.Ours + " / " + b + ")", "(CAST(" + a.Theirs + " AS REAL) / " + b + ")"};
      }
      case 4: {
        TPair a = Float(depth - 1);
        const std::string b = std::to_string(1 + Pick(9)) + ".5";
        return {"(" + a.Ours + " / " + b + ")", "(" + a.Theirs + " / " + b + ")"};
      }
      default: {
        TPair x = Float(depth - 1);
        return {"ABS(-" + x.Ours + ")", "abs(-" + x.Theirs + ")"};
      }
    }
  }

  TPair Text(int depth) {
    switch (Pick(depth > 0 ? 8 : 1)) {
      case 0:
        return Quote(Word("abcde", 1, 5));
      case 1: {
        TPair a = Text(depth - 1);
        TPair b = Text(depth - 1);
        const char* plus = Pick(2) ? " + " : " || ";
        return {"(" + a.Ours + plus + b.Ours + ")", "(" + a.Theirs + " || " + b.Theirs + ")"};
      }
      case 2: {
        TPair s = Text(depth - 1);
        return {"LOWER(UPPER(" + s.Ours + "))", "lower(upper(" + s.Theirs + "))"};
      }
      case 3: {
        TPair s = Text(depth - 1);
        const std::string from = std::to_string(1 + Pick(6));
        if (Pick(2)) {
          return {"SUBSTRING(" + s.Ours + " FROM " + from + ")",
                  "substr(" + s.Theirs + ", " + from + ")"};
        }
        const std::string count = std::to_string(Pick(6));
        return {"SUBSTRING(" + s.Ours + " FROM " + from + " FOR " + count + ")",
                "substr(" + s.Theirs + ", " + from + ", " + count + ")"};
      }
      case 4: {
        TPair s = Text(depth - 1);
        TPair x = Quote(Word("abc", 1, 2));
        TPair y = Quote(Word("xyz", 1, 3));
        return {"REPLACE(" + x.Ours + " WITH " + y.Ours + " IN " + s.Ours + ")",
                "replace(" + s.Theirs + ", " + x.Theirs + ", " + y.Theirs + ")"};
      }
      case 5: {
        TPair s = Text(depth - 1);
        const std::string c = std::string(1, "abc"[Pick(3)]);
        const int where = Pick(3);
        const char* ours = where == 0 ? "LEADING" : where == 1 ? "TRAILING" : "BOTH";
        const char* theirs = where == 0 ? "ltrim" : where == 1 ? "rtrim" : "trim";
        return {"TRIM(" + std::string(ours) + " '" + c + "' FROM " + s.Ours + ")",
                std::string(theirs) + "(" + s.Theirs + ", '" + c + "')"};
      }
      case 6: {
        TPair s = Text(depth - 1);
        return {"LOWER(" + s.Ours + ")", "lower(" + s.Theirs + ")"};
      }
      default: {
        TPair condition = Boolean(depth - 1);
        TPair a = Text(depth - 1);
        TPair b = Text(depth - 1);
        return {"IF(" + condition.Ours + " THEN " + a.Ours + " ELSE " + b.Ours + ")",
                "iif(" + condition.Theirs + ", " + a.Theirs + ", " + b.Theirs + ")"};
      }
    }
  }

 private:
  int Pick(int n) { return static_cast<int>(random_() % static_cast<uint32_t>(n)); }
  std::string Word(const char* alphabet, int min, int max) {
    const int length = min + Pick(max - min + 1);
    const int letters = static_cast<int>(std::strlen(alphabet));
    std::string out;
    for (int i = 0; i < length; ++i) out += alphabet[Pick(letters)];
    return out;
  }
  static TPair Quote(const std::string& word) { return {"'" + word + "'", "'" + word + "'"}; }
  static TPair Join(const TPair& a, const char* op, const TPair& b) {
    return {"(" + a.Ours + op + b.Ours + ")", "(" + a.Theirs + op + b.Theirs + ")"};
  }
  TPair Compare(const TPair& a, const TPair& b) {
    static const char* kOps[] = {" = ", " <> ", " < ", " <= ", " > ", " >= "};
    return Join(a, kOps[Pick(6)], b);
  }

  std::mt19937 random_;
};

class TNoSources : public TColumnResolver {
 public:
  int SourceCount() const override { return 0; }
  std::string_view CorrelationName(int) const override { return {}; }
  std::optional<TColumnInfo> FindColumn(int, std::string_view) const override { return {}; }
};

// Our value printed in SQLite's terms: NULL, a number, or 'text'.
std::string Ours(const std::string& text) {
  try {
    TExpressionParser tokens(text);
    tokens.NextToken();
    TExpTokenStack pool;
    TExpToken* root = ParseExpression(tokens, pool, kSelectItemPermissions);
    if (!tokens.AtEnd()) return "(stopped at " + tokens.TokenText() + ")";
    TNoSources none;
    ResolveExpression(*root, none, TResolveOptions{});
    TEvalContext context;
    const TExpValue& value = Evaluate(*root, context);
    if (value.Null) return "NULL";
    if (value.Type == fldZSTRING) return "'" + value.Str + "'";
    if (value.Type == fldBOOL) return value.Int != 0 ? "1" : "0";
    if (value.Type == fldFLOAT) return "#" + std::to_string(value.Float);
    return std::to_string(value.Int);
  } catch (const EStrataEngineError& error) {
    return std::string("! ") + error.what();
  }
}

std::string Theirs(sqlite3* db, const std::string& text) {
  sqlite3_stmt* statement = nullptr;
  const std::string sql = "SELECT " + text;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    return std::string("! ") + sqlite3_errmsg(db);
  }
  std::string out = "(no row)";
  if (sqlite3_step(statement) == SQLITE_ROW) {
    switch (sqlite3_column_type(statement, 0)) {
      case SQLITE_NULL:
        out = "NULL";
        break;
      case SQLITE_INTEGER:
        out = std::to_string(sqlite3_column_int64(statement, 0));
        break;
      case SQLITE_FLOAT:
        out = "#" + std::to_string(sqlite3_column_double(statement, 0));
        break;
      default:
        out = "'" + std::string(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0))) +
              "'";
    }
  }
  sqlite3_finalize(statement);
  return out;
}

// Numbers agree when they are equal within rounding, whether either side
// printed a whole number or a float.
bool Agree(const std::string& ours, const std::string& theirs) {
  if (ours == theirs) return true;
  auto number = [](const std::string& text, double& out) {
    if (text.empty() || text[0] == '\'' || text[0] == '!' || text == "NULL") return false;
    out = std::stod(text[0] == '#' ? text.substr(1) : text);
    return true;
  };
  double a = 0;
  double b = 0;
  if (!number(ours, a) || !number(theirs, b)) return false;
  return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b));
}

TEST(SqliteDifferential, GeneratedExpressionsAgree) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  sqlite3_exec(db, "PRAGMA case_sensitive_like = ON", nullptr, nullptr, nullptr);
  TGenerator generator(20261209);
  int disagreements = 0;
  constexpr int kExpressions = 4000;
  for (int i = 0; i < kExpressions; ++i) {
    const int kind = i % 4;
    const int depth = 1 + i % 4;
    TPair pair = kind == 0   ? generator.Boolean(depth)
                 : kind == 1 ? generator.Integer(depth)
                 : kind == 2 ? generator.Float(depth)
                             : generator.Text(depth);
    const std::string ours = Ours(pair.Ours);
    const std::string theirs = Theirs(db, pair.Theirs);
    if (!Agree(ours, theirs)) {
      ++disagreements;
      ADD_FAILURE() << "ours:   " << pair.Ours << "\n  -> " << ours << "\nSQLite: " << pair.Theirs
                    << "\n  -> " << theirs;
      if (disagreements > 20) break;
    }
  }
  sqlite3_close(db);
  EXPECT_EQ(disagreements, 0);
}

}  // namespace
}  // namespace strata
