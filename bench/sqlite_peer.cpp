#include "bench/sqlite_peer.h"

#include <sqlite3.h>

#include <cstdio>
#include <stdexcept>

namespace bench {
namespace {

void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
  }
}

void Exec(sqlite3* db, const char* sql) {
  Check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), db, sql);
}

// A prepared statement, finalised on every path.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    Check(sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr), db, sql);
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  sqlite3_stmt* get() { return stmt_; }
  int Step() {
    int rc = sqlite3_step(stmt_);
    Check(rc, db_, "step");
    return rc;
  }
  void Reset() { sqlite3_reset(stmt_); }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace

SqlitePeer::SqlitePeer(std::string folder) : path_(folder + "/peer.sqlite") {
  std::remove(path_.c_str());
  Check(sqlite3_open(path_.c_str(), &db_), db_, "open");
  // Our engine does not fsync unless asked; compare like with like.
  Exec(db_, "PRAGMA synchronous=OFF");
  Exec(db_, "CREATE TABLE t (k INTEGER NOT NULL, name TEXT, counter INTEGER)");
  Exec(db_, "CREATE UNIQUE INDEX t_k ON t(k)");
}

SqlitePeer::~SqlitePeer() {
  sqlite3_close(db_);
  std::remove(path_.c_str());
}

void SqlitePeer::InsertAll(const Workload& work) {
  Exec(db_, "BEGIN");
  Statement insert(db_, "INSERT INTO t VALUES (?, ?, ?)");
  for (int i = 0; i < work.records; ++i) {
    sqlite3_bind_int(insert.get(), 1, work.keys[i]);
    sqlite3_bind_text(insert.get(), 2, work.names[i].data(), 40, SQLITE_STATIC);
    sqlite3_bind_int(insert.get(), 3, i);
    insert.Step();
    insert.Reset();
  }
  Exec(db_, "COMMIT");
}

long SqlitePeer::LookupAll(const Workload& work) {
  Statement select(db_, "SELECT counter FROM t WHERE k = ?");
  long found = 0;
  for (int32_t key : work.lookup_keys) {
    sqlite3_bind_int(select.get(), 1, key);
    if (select.Step() == SQLITE_ROW) ++found;
    select.Reset();
  }
  return found;
}

long SqlitePeer::CountOdd() {
  // A scan that reads every row, as ours does.
  Statement scan(db_, "SELECT counter FROM t");
  long odd = 0;
  while (scan.Step() == SQLITE_ROW) {
    if (sqlite3_column_int(scan.get(), 0) % 2 != 0) ++odd;
  }
  return odd;
}

void SqlitePeer::UpdateEach(const Workload& work) {
  Statement update(db_, "UPDATE t SET counter = counter + 1 WHERE k = ?");
  for (int32_t key : work.update_keys) {
    sqlite3_bind_int(update.get(), 1, key);
    update.Step();
    update.Reset();
  }
}

}  // namespace bench
