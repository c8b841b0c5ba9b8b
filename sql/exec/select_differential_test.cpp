// Differential test against SQLite: a few hundred generated SELECTs over
// three small generated tables (non-NULL integers and lower-case ASCII
// words, whose order is their byte order in both engines) run on our engine
// (TQueryStatement over the statement executor) and on SQLite, and their
// rows are compared: as multisets, and where an ORDER BY is given, also the
// order of the ORDER BY columns' values row by row.
//
// The queries: filters, joins (comma with WHERE, INNER and LEFT JOIN),
// GROUP BY with COUNT/SUM/MIN/MAX/AVG/RUNSUM and HAVING (also over a LEFT
// JOIN), aggregates over a whole
// table, DISTINCT, UNION and UNION ALL, IN and NOT IN sub-selects, ORDER BY
// by name and number, ascending and descending, and TOP after a full ORDER
// BY, NOCASE. Where the dialects differ the generator writes each side its own way:
// TOP n is LIMIT n; our SUM and AVG over no values are 0, so SQLite's side
// wraps them in COALESCE; numbers compare by value (an integer average on
// one side equals the same float on the other).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "sql/exec/query_statement.h"
#include "sql/exec/strata_executor.h"
#include "storage/cursor/data_cursor.h"
#include "storage/engine_error.h"
#include "storage/record/field_validation.h"
#include "storage/session/data_directory.h"
#include "storage/session/data_session.h"
#include "storage/test_temp_dir.h"

namespace strata {
namespace {

using TRow = std::vector<std::string>;

// The texts in the tables. A string constant naming a column is that column
// in our dialect: no word is a column name.
const char* const kWords[] = {"x", "xy", "y", "yx", "yy", "z", "zx", "xyz"};
// T3's texts: the same letters in both cases. (Only sorted, never compared
// in a condition: there our texts compare in the locale's order, in which
// "x" comes before "X".)
const char* const kMixedWords[] = {"x", "X", "xY", "Xy", "y", "Y", "yx", "YX"};

// One generated query in both dialects; `Keys` are the result columns (from
// 0) of its ORDER BY, which fix the order of their values.
struct TQuery {
  std::string Ours;
  std::string Theirs;
  std::vector<size_t> Keys;
  std::string Kind;
  bool NoCase = false;  // the ORDER BY ignores case: keys compare case-folded
};

struct TTableSpec {
  const char* Name;
  std::vector<std::pair<const char*, bool>> Columns;  // name, is text
};

const std::vector<TTableSpec>& Tables() {
  static const std::vector<TTableSpec> tables = {
      {"T1", {{"a", false}, {"b", false}, {"s", true}}},
      {"T2", {{"a", false}, {"c", false}, {"t", true}}},
      {"T3", {{"b", false}, {"s", true}}},
  };
  return tables;
}

// A number in a canonical text, so that 2, 2.0 and 2.00000 agree.
std::string Canonical(const std::string& text) {
  if (text.empty() || text == "NULL") return text;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end == nullptr || *end != '\0') return text;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.9g", value);
  return buffer;
}

std::string Show(const std::vector<TRow>& rows) {
  std::string text;
  for (const TRow& row : rows) {
    std::string line;
    for (const std::string& value : row) line += (line.empty() ? "" : "|") + value;
    text += "  " + line + "\n";
  }
  return text;
}

class TQueryGenerator {
 public:
  explicit TQueryGenerator(uint32_t seed) : random_(seed) {}

  TQuery Next() {
    static const char* kinds[] = {"filter",        "join",        "group",          "group",
                                  "whole table",   "distinct",    "union",          "in sub-select",
                                  "top",           "union chain", "order nocase",   "group top",
                                  "distinct join", "running sum", "left join group"};
    const int kind = Pick(15);
    TQuery query = Make(kind);
    query.Kind = kinds[kind];
    return query;
  }

 private:
  TQuery Make(int kind) {
    switch (kind) {
      case 0:
        return Filtered();
      case 1:
        return Join();
      case 2:
      case 3:
        return Grouped();
      case 4:
        return WholeTable();
      case 5:
        return Distinct();
      case 6:
        return Union();
      case 7:
        return InSubSelect();
      case 8:
        return Top();
      case 9:
        return UnionChain();
      case 10:
        return OrderNoCase();
      case 11:
        return GroupTop();
      case 12:
        return DistinctJoin();
      case 13:
        return RunningSum();
      default:
        return LeftJoinGroup();
    }
  }

  int Pick(int n) { return static_cast<int>(random_() % static_cast<uint32_t>(n)); }
  bool Chance(int one_in) { return Pick(one_in) == 0; }
  std::string Number(int below) { return std::to_string(Pick(below)); }
  static std::string Word(int i) { return std::string("'") + kWords[i % 8] + "'"; }

  // A condition on the integer column `a` and text column `s` (qualified).
  std::string Condition(const std::string& a, const std::string& s) {
    static const char* ops[] = {"=", "<>", "<", "<=", ">", ">="};
    switch (Pick(5)) {
      case 0:
        return a + " " + ops[Pick(6)] + " " + Number(10);
      case 1:
        return s + " " + ops[Pick(6)] + " " + Word(Pick(8));
      case 2:
        return "(" + a + " > " + Number(10) + " OR " + s + " = " + Word(Pick(8)) + ")";
      case 3:
        return a + " BETWEEN " + Number(5) + " AND " + std::to_string(4 + Pick(6));
      default:
        return a + " IN (" + Number(10) + ", " + Number(10) + ", " + Number(10) + ")";
    }
  }

  // ORDER BY over `count` result columns named `names`: the clause and the
  // keys; with `all` every column takes part (in a random order).
  std::string OrderBy(const std::vector<std::string>& names, TQuery& query, bool all = false) {
    std::vector<size_t> columns(names.size());
    for (size_t i = 0; i < columns.size(); ++i) columns[i] = i;
    std::shuffle(columns.begin(), columns.end(), random_);
    if (!all) columns.resize(1 + Pick(static_cast<int>(columns.size())));
    std::string clause = " ORDER BY ";
    for (size_t i = 0; i < columns.size(); ++i) {
      if (i > 0) clause += ", ";
      clause += Chance(2) ? std::to_string(columns[i] + 1) : names[columns[i]];
      if (Chance(2)) clause += " DESC";
    }
    query.Keys = columns;
    return clause;
  }

  TQuery Both(const std::string& text) { return {text, text, {}}; }

  TQuery Filtered() {
    TQuery q = Both("SELECT a, s, b FROM T1");
    if (Chance(3)) q = Both("SELECT a, s, b FROM T1 WHERE " + Condition("a", "s"));
    if (Chance(2)) {
      const std::string order = OrderBy({"a", "s", "b"}, q);
      q.Ours += order;
      q.Theirs += order;
    }
    return q;
  }

  TQuery Join() {
    std::string from;
    switch (Pick(3)) {
      case 0:
        from = " FROM T1 x, T2 y WHERE x.a = y.a";
        break;
      case 1:
        from = " FROM T1 x INNER JOIN T2 y ON x.a = y.a";
        break;
      default:
        from = " FROM T1 x LEFT JOIN T2 y ON x.a = y.a";
    }
    if (Chance(2)) {
      from +=
          (from.find("WHERE") == std::string::npos ? " WHERE " : " AND ") + Condition("x.b", "x.s");
    }
    TQuery q = Both("SELECT x.a, x.s, y.c, y.t" + from);
    if (Chance(2)) {
      const std::string order = " ORDER BY 1, 2 DESC";
      q.Keys = {0, 1};
      q.Ours += order;
      q.Theirs += order;
    }
    return q;
  }

  // An aggregate over `column`; COUNT(*) when empty.
  std::pair<std::string, std::string> Aggregate(const std::string& column, bool text) {
    switch (text ? Pick(3) : Pick(6)) {
      case 0:
        return {"COUNT(*)", "COUNT(*)"};
      case 1:
        return {"MIN(" + column + ")", "MIN(" + column + ")"};
      case 2:
        return {"MAX(" + column + ")", "MAX(" + column + ")"};
      case 3:
        return {"COUNT(" + column + ")", "COUNT(" + column + ")"};
      case 4:
        return {"SUM(" + column + ")", "COALESCE(SUM(" + column + "), 0)"};
      default:
        return {"AVG(" + column + ")", "COALESCE(AVG(" + column + "), 0)"};
    }
  }

  TQuery Grouped() {
    const bool joined = Chance(3);
    const std::string group = joined ? (Chance(2) ? "x.b" : "y.c") : (Chance(2) ? "b" : "s");
    const std::string from = joined ? " FROM T1 x, T2 y WHERE x.a = y.a" : " FROM T1";
    // HAVING may only use select items: its COUNT(*) is one.
    const bool having = Chance(3);
    std::string ours = "SELECT " + group + (having ? ", COUNT(*) AS n" : "");
    std::string theirs = ours;
    std::vector<std::string> names = {group.substr(group.find('.') + 1)};
    if (having) names.push_back("n");
    const int aggregates = 1 + Pick(3);
    for (int i = 0; i < aggregates; ++i) {
      const bool text = !joined && Chance(3);
      auto [a, b] = Aggregate(joined ? "x.a" : (text ? "s" : "a"), text);
      const std::string alias = " AS v" + std::to_string(i);
      ours += ", " + a + alias;
      theirs += ", " + b + alias;
      names.push_back("v" + std::to_string(i));
    }
    ours += from;
    theirs += from;
    if (!joined && Chance(3)) {
      const std::string where = " WHERE " + Condition("a", "s");
      ours += where;
      theirs += where;
    }
    ours += " GROUP BY " + group;
    theirs += " GROUP BY " + group;
    if (having) {
      const std::string condition = " HAVING COUNT(*) > " + Number(3);
      ours += condition;
      theirs += condition;
    }
    TQuery q{ours, theirs, {}};
    if (Chance(2)) {
      const std::string order = OrderBy(names, q);
      q.Ours += order;
      q.Theirs += order;
    }
    return q;
  }

  TQuery WholeTable() {
    std::string ours = "SELECT COUNT(*)";
    std::string theirs = ours;
    for (int i = Pick(3); i >= 0; --i) {
      const bool text = Chance(3);
      auto [a, b] = Aggregate(text ? "s" : "b", text);
      ours += ", " + a;
      theirs += ", " + b;
    }
    const std::string where = Chance(2) ? "" : " WHERE " + Condition("a", "s");
    return {ours + " FROM T1" + where, theirs + " FROM T1" + where, {}};
  }

  TQuery Distinct() {
    const char* lists[] = {"b", "s", "b, s", "a, b"};
    const std::string list = lists[Pick(4)];
    TQuery q = Both("SELECT DISTINCT " + list + " FROM T1");
    if (Chance(2)) {
      std::vector<std::string> names;
      for (size_t at = 0; at < list.size(); at += 3) names.push_back(list.substr(at, 1));
      const std::string order = OrderBy(names, q);
      q.Ours += order;
      q.Theirs += order;
    }
    return q;
  }

  TQuery Union() {
    const std::string op = Chance(2) ? " UNION ALL " : " UNION ";
    const std::string left =
        Chance(2) ? "SELECT a, s FROM T1" : "SELECT a, s FROM T1 WHERE " + Condition("a", "s");
    const std::string right = Chance(2) ? "SELECT a, t FROM T2" : "SELECT b, s FROM T3";
    TQuery q = Both(left + op + right);
    if (Chance(2)) {
      const std::string order = " ORDER BY 1, 2";
      q.Keys = {0, 1};
      q.Ours += order;
      q.Theirs += order;
    }
    return q;
  }

  TQuery InSubSelect() {
    const std::string negated = Chance(3) ? " NOT" : "";
    const std::string inner = Chance(2) ? "SELECT a FROM T2 WHERE c > " + Number(10)
                                        : "SELECT b FROM T3 WHERE b < " + Number(10);
    TQuery q = Both("SELECT a, b FROM T1 WHERE a" + negated + " IN (" + inner + ")");
    if (Chance(2)) {
      const std::string order = OrderBy({"a", "b"}, q);
      q.Ours += order;
      q.Theirs += order;
    }
    return q;
  }

  TQuery Top() {
    TQuery q = Both("SELECT a, b, s FROM T1");
    const std::string order = OrderBy({"a", "b", "s"}, q, true);
    const std::string n = Number(8);
    q.Ours += order + " TOP " + n;
    q.Theirs += order + " LIMIT " + n;
    return q;
  }

  // Three members; each link with or without ALL.
  TQuery UnionChain() {
    const char* members[] = {"SELECT a, s FROM T1", "SELECT a, t FROM T2", "SELECT b, s FROM T3"};
    std::string text = members[0];
    for (int i = 1; i < 3; ++i)
      text += std::string(Chance(2) ? " UNION ALL " : " UNION ") + members[i];
    TQuery q = Both(text);
    if (Chance(2)) {
      q.Keys = {1, 0};
      q.Ours += " ORDER BY 2, 1 DESC";
      q.Theirs += " ORDER BY 2, 1 DESC";
    }
    return q;
  }

  // T3's texts differ in letter case.
  TQuery OrderNoCase() {
    const std::string direction = Chance(2) ? " DESC" : "";
    TQuery q{"SELECT s, b FROM T3 ORDER BY s" + direction + ", b NOCASE",
             "SELECT s, b FROM T3 ORDER BY s COLLATE NOCASE" + direction + ", b",
             {0, 1},
             "",
             true};
    if (Chance(2)) {
      const std::string n = Number(6);
      q.Ours += " TOP " + n;
      q.Theirs += " LIMIT " + n;
    }
    return q;
  }

  TQuery GroupTop() {
    const std::string n = Number(5);
    return {
        "SELECT b, COUNT(*) AS n, SUM(a) AS v FROM T1 GROUP BY b ORDER BY n DESC, v, b TOP " + n,
        "SELECT b, COUNT(*) AS n, SUM(a) AS v FROM T1 GROUP BY b ORDER BY n DESC, v, b LIMIT " + n,
        {0, 1, 2}};
  }

  TQuery DistinctJoin() {
    TQuery q = Both("SELECT DISTINCT x.b, y.c FROM T1 x, T2 y WHERE x.a = y.a");
    if (Chance(2)) {
      const std::string order = OrderBy({"b", "c"}, q, true);
      q.Ours += order;
      q.Theirs += order;
    }
    return q;
  }

  // RUNSUM: each group's sum plus those of the groups before it, in group
  // order; SQLite's window sum over the groups says the same.
  TQuery RunningSum() {
    const std::string where = Chance(2) ? "" : " WHERE " + Condition("a", "s");
    return {
        "SELECT b, RUNSUM(a) AS r, SUM(a) AS v FROM T1" + where + " GROUP BY b",
        "SELECT b, SUM(SUM(a)) OVER (ORDER BY b) AS r, SUM(a) AS v FROM T1" + where + " GROUP BY b",
        {}};
  }

  // Groups whose inner rows are all missing: COUNT(column) 0, SUM 0.
  TQuery LeftJoinGroup() {
    TQuery q{
        "SELECT x.b, COUNT(y.c) AS n, COUNT(*) AS m, SUM(y.c) AS v, MAX(y.t) AS w "
        "FROM T1 x LEFT JOIN T2 y ON x.a = y.a GROUP BY x.b",
        "SELECT x.b, COUNT(y.c) AS n, COUNT(*) AS m, COALESCE(SUM(y.c), 0) AS v, MAX(y.t) AS w "
        "FROM T1 x LEFT JOIN T2 y ON x.a = y.a GROUP BY x.b",
        {}};
    if (Chance(2)) {
      q.Keys = {1, 0};
      q.Ours += " ORDER BY n DESC, b";
      q.Theirs += " ORDER BY n DESC, b";
    }
    return q;
  }

  std::mt19937 random_;
};

class SelectDifferentialTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session_ = TDataSession::Create();
    session_->SetPrivateDirectory(private_.Dir());
    database_ = session_->OpenDirectory("", data_.Dir());
    ASSERT_EQ(sqlite3_open(":memory:", &sqlite_), SQLITE_OK);
    std::mt19937 random(20261209);
    for (const TTableSpec& table : Tables())
      Fill(table, 4 + static_cast<int>(random() % 14), random);
    executor_ = MakeStatementExecutor(database_);
    statement_ = std::make_unique<TQueryStatement>(*executor_);
  }
  void TearDown() override { sqlite3_close(sqlite_); }

  void Fill(const TTableSpec& spec, int rows, std::mt19937& random) {
    TTableDefinition definition;
    definition.Name = spec.Name;
    std::string create = std::string("CREATE TABLE ") + spec.Name + " (";
    uint16_t number = 0;
    for (const auto& [name, text] : spec.Columns) {
      TFieldDescriptor field;
      field.FieldNumber = ++number;
      field.Name = name;
      field.TypeCode = text ? fldZSTRING : fldINT32;
      field.DeclaredSize = text ? 8 : 0;
      definition.Fields.push_back(field);
      create += std::string(number > 1 ? ", " : "") + name + (text ? " TEXT" : " INTEGER");
    }
    ValidateFieldDescriptors(definition.Fields, spec.Name, 0, 0);
    database_->CreateTable(definition, {.Exclusive = true}, false);
    Sqlite(create + ")");
    TDataCursor cursor(database_);
    cursor.Open(spec.Name);
    for (int r = 0; r < rows; ++r) {
      cursor.InitRecord();
      std::string values;
      for (uint16_t f = 1; f <= number; ++f) {
        std::string value;
        if (definition.Fields[f - 1].TypeCode == fldZSTRING) {
          value = (std::string(spec.Name) == "T3" ? kMixedWords : kWords)[random() % 8];
          cursor.PutFieldString(f, value);
          value = "'" + value + "'";
        } else {
          const int v = static_cast<int>(random() % 10);
          cursor.PutFieldInt64(f, v);
          value = std::to_string(v);
        }
        values += (f > 1 ? ", " : "") + value;
      }
      cursor.InsertRecord();
      Sqlite(std::string("INSERT INTO ") + spec.Name + " VALUES (" + values + ")");
    }
  }

  void Sqlite(const std::string& sql) {
    char* error = nullptr;
    ASSERT_EQ(sqlite3_exec(sqlite_, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
        << sql << ": " << (error ? error : "");
  }

  std::vector<TRow> Theirs(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    std::vector<TRow> rows;
    if (sqlite3_prepare_v2(sqlite_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << "SQLite refuses " << sql << ": " << sqlite3_errmsg(sqlite_);
      return rows;
    }
    while (sqlite3_step(statement) == SQLITE_ROW) {
      TRow row;
      for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        const unsigned char* text = sqlite3_column_text(statement, i);
        row.push_back(Canonical(text ? reinterpret_cast<const char*>(text) : "NULL"));
      }
      rows.push_back(row);
    }
    sqlite3_finalize(statement);
    return rows;
  }

  std::vector<TRow> Ours(const std::string& sql, size_t columns) {
    statement_->PrepareStatement(sql);
    std::unique_ptr<TDataCursor> result = statement_->ExecuteStatements();
    std::vector<TRow> rows;
    if (!result) return rows;
    // The hidden columns follow the shown ones.
    for (size_t i = 0; i < result->Fields().size(); ++i) {
      if (result->Fields()[i].Name.starts_with("Sys__Avg__Count")) columns = std::min(columns, i);
    }
    result->First();
    while (result->MoveNext()) {
      TRow row;
      for (size_t i = 1; i <= columns && i <= result->Fields().size(); ++i) {
        row.push_back(Canonical(result->GetFieldText(static_cast<uint16_t>(i)).value_or("NULL")));
      }
      rows.push_back(row);
    }
    return rows;
  }

  // Empty when both agree, else what differs.
  std::string Compare(const TQuery& query) {
    const std::vector<TRow> theirs = Theirs(query.Theirs);
    const size_t columns = theirs.empty() ? 64 : theirs.front().size();
    std::vector<TRow> ours;
    try {
      ours = Ours(query.Ours, columns);
    } catch (const std::exception& error) {
      return std::string("ours failed: ") + error.what();
    }
    if (!theirs.empty() && !ours.empty() && ours.front().size() != columns) {
      return "column counts differ";
    }
    auto keys = [&](const std::vector<TRow>& rows) {
      std::vector<TRow> projected;
      for (const TRow& row : rows) {
        TRow key;
        for (size_t k : query.Keys) {
          std::string value = k < row.size() ? row[k] : "?";
          if (query.NoCase) {
            for (char& c : value)
              c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
          }
          key.push_back(value);
        }
        projected.push_back(key);
      }
      return projected;
    };
    if (!query.Keys.empty() && keys(ours) != keys(theirs)) {
      return "order differs\nours:\n" + Show(ours) + "SQLite:\n" + Show(theirs);
    }
    std::vector<TRow> a = ours, b = theirs;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    if (a != b) return "rows differ\nours:\n" + Show(ours) + "SQLite:\n" + Show(theirs);
    return {};
  }

  testing::TTempDir data_;
  testing::TTempDir private_;
  std::shared_ptr<TDataSession> session_;
  std::shared_ptr<TDataDirectory> database_;
  std::unique_ptr<TStatementExecutor> executor_;
  std::unique_ptr<TQueryStatement> statement_;
  sqlite3* sqlite_ = nullptr;
};

TEST_F(SelectDifferentialTest, GeneratedQueriesGiveTheRowsSqliteGives) {
  TQueryGenerator generator(1209);
  int differences = 0;
  std::map<std::string, std::pair<int, int>> kinds;  // differing, run
  for (int i = 0; i < 400; ++i) {
    const TQuery query = generator.Next();
    const std::string difference = Compare(query);
    ++kinds[query.Kind].second;
    if (difference.empty()) continue;
    ++kinds[query.Kind].first;
    ++differences;
    if (differences <= 20) ADD_FAILURE() << query.Ours << "\n" << difference;
  }
  std::string summary;
  for (const auto& [kind, counts] : kinds) {
    summary +=
        kind + ": " + std::to_string(counts.first) + " of " + std::to_string(counts.second) + "\n";
  }
  EXPECT_EQ(differences, 0) << summary;
  RecordProperty("kinds", summary);
}

}  // namespace
}  // namespace strata
