// The result sort benchmark: ORDER BY on a result table, ours beside
// SQLite's ORDER BY over a table of the same rows, in one run.
//
//   (a) the banner request's sort: 10 rows on one integer column, then the
//       rows read (repeated; the table is refilled between rounds, untimed)
//   (b) a large result: 100,000 rows, sorted externally in runs
//
//   result_sort_bench [ROUNDS] [ROWS]     (defaults 2000 and 100000)
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "sql/exec/result_shaping.h"
#include "storage/cursor/data_cursor.h"
#include "storage/data/data_file.h"
#include "storage/record/field_validation.h"
#include "storage/session/data_session.h"
#include "storage/table/data_table.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace strata;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Rows of the banner table's shape: ID, Link, User, impress.
std::vector<std::vector<int>> MakeRows(int count, uint32_t seed) {
  // impress values are distinct, so that every order is fixed.
  std::mt19937 random(seed);
  std::vector<int> impress(count);
  for (int i = 0; i < count; ++i) impress[i] = i * 3 + 7;
  std::shuffle(impress.begin(), impress.end(), random);
  std::vector<std::vector<int>> rows;
  for (int i = 1; i <= count; ++i) {
    rows.push_back({i, static_cast<int>(random() % 50), static_cast<int>(random() % 20),
                    impress[i - 1]});
  }
  return rows;
}

const char* const kColumns[] = {"ID", "Link", "User", "impress"};

class TOurs {
 public:
  explicit TOurs(const std::string& folder) {
    session_ = TDataSession::Create();
    session_->SetPrivateDirectory(folder);
    directory_ = session_->OpenPrivateDirectory();
    TTableDefinition definition;
    definition.Name = directory_->TemporaryTableName();
    uint16_t number = 0;
    for (const char* name : kColumns) {
      TFieldDescriptor field;
      field.FieldNumber = ++number;
      field.Name = name;
      field.TypeCode = fldINT32;
      definition.Fields.push_back(field);
    }
    ValidateFieldDescriptors(definition.Fields, definition.Name, 0, 0);
    cursor_ = std::make_unique<TDataCursor>(directory_);
    cursor_->CreateTable(definition);
    cursor_->Open(definition.Name, {.Exclusive = true});
  }

  void Fill(const std::vector<std::vector<int>>& rows) {
    cursor_->EmptyTable();
    for (const std::vector<int>& row : rows) {
      cursor_->InitRecord();
      for (uint16_t f = 1; f <= 4; ++f) cursor_->PutFieldInt64(f, row[f - 1]);
      cursor_->InsertRecord();
    }
  }

  // Sorts on impress and reads every row; returns the sum of the IDs
  // weighted by place (a check that both sides agree on the order).
  long long SortAndRead() {
    TResultShape shape;
    shape.OrderBy = {{4, false}};
    ShapeResult(*cursor_, shape);
    long long check = 0, place = 0;
    cursor_->First();
    while (cursor_->MoveNext()) check += ++place * *cursor_->GetFieldInt64(1);
    return check;
  }

  uint32_t Runs() const { return 0; }

 private:
  std::shared_ptr<TDataSession> session_;
  std::shared_ptr<TDataDirectory> directory_;
  std::unique_ptr<TDataCursor> cursor_;
};

class TPeer {
 public:
  explicit TPeer(const std::string& path) {
    sqlite3_open(path.c_str(), &db_);
    Exec("PRAGMA journal_mode=DELETE");
    Exec("CREATE TABLE r (ID INTEGER, Link INTEGER, User INTEGER, impress INTEGER)");
    sqlite3_prepare_v2(db_, "SELECT ID FROM r ORDER BY impress", -1, &select_, nullptr);
  }
  ~TPeer() {
    sqlite3_finalize(select_);
    sqlite3_close(db_);
  }

  void Fill(const std::vector<std::vector<int>>& rows) {
    Exec("BEGIN");
    Exec("DELETE FROM r");
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db_, "INSERT INTO r VALUES (?, ?, ?, ?)", -1, &insert, nullptr);
    for (const std::vector<int>& row : rows) {
      for (int i = 0; i < 4; ++i) sqlite3_bind_int(insert, i + 1, row[i]);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Exec("COMMIT");
  }

  long long SortAndRead() {
    long long check = 0, place = 0;
    while (sqlite3_step(select_) == SQLITE_ROW) check += ++place * sqlite3_column_int(select_, 0);
    sqlite3_reset(select_);
    return check;
  }

 private:
  void Exec(const char* sql) { sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }
  sqlite3* db_ = nullptr;
  sqlite3_stmt* select_ = nullptr;
};

// Seconds per round of sort-and-read over `rounds` rounds, each on a freshly
// filled (unsorted) table; the fills are not timed.
template <class Engine>
double Measure(Engine& engine, const std::vector<std::vector<int>>& rows, int rounds,
               long long& check) {
  double total = 0;
  for (int round = 0; round < rounds; ++round) {
    engine.Fill(rows);
    const Clock::time_point start = Clock::now();
    check = engine.SortAndRead();
    total += Since(start);
  }
  return total / rounds;
}

void Row(const char* job, double ours, double peer) {
  std::printf("%-44s %10.2f us %10.2f us %8.2fx\n", job, ours * 1e6, peer * 1e6, ours / peer);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int large = argc > 2 ? std::atoi(argv[2]) : 100000;
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / ("result_sort_bench_" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string dir = folder.string() + "/";

  const std::vector<std::vector<int>> banner = MakeRows(10, 1);
  const std::vector<std::vector<int>> big = MakeRows(large, 2);
  long long ours_check = 0, peer_check = 0, ours_big = 0, peer_big = 0;
  double ours_small, peer_small, ours_large, peer_large;
  {
    TOurs ours(dir);
    ours_small = Measure(ours, banner, rounds, ours_check);
    ours_large = Measure(ours, big, 3, ours_big);
  }
  {
    TPeer peer(dir + "peer.db");
    peer_small = Measure(peer, banner, rounds, peer_check);
    peer_large = Measure(peer, big, 3, peer_big);
  }
  fs::remove_all(folder);

  std::printf("time per sort and read (ours, SQLite, ours/SQLite)\n");
  Row("(a) 10 rows on one column, in memory", ours_small, peer_small);
  const std::string label = "(b) " + std::to_string(large) + " rows, external in runs";
  Row(label.c_str(), ours_large, peer_large);
  if (ours_check != peer_check || ours_big != peer_big) {
    std::printf("orders differ: %lld/%lld, %lld/%lld\n", ours_check, peer_check, ours_big,
                peer_big);
    return 1;
  }
  return 0;
}
