// A prepared SQLite statement with bound parameters, for the SQLite banner
// peer. Owns its statement handle; Reset makes it ready for the next run.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <stdexcept>
#include <string>

namespace bench {

// An SQLite failure: the code and the connection's message.
class ESqliteError : public std::runtime_error {
 public:
  ESqliteError(sqlite3* db, int code, const std::string& what)
      : std::runtime_error(what + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(code))) {}
};

class TSqliteStatement {
 public:
  TSqliteStatement(sqlite3* db, const char* sql);
  ~TSqliteStatement() { sqlite3_finalize(statement_); }
  TSqliteStatement(const TSqliteStatement&) = delete;
  TSqliteStatement& operator=(const TSqliteStatement&) = delete;

  // Resets the statement and clears its bindings.
  TSqliteStatement& Reset();
  TSqliteStatement& Bind(int index, int64_t value);
  TSqliteStatement& Bind(int index, const std::string& text);
  TSqliteStatement& BindBlob(int index, const std::string& bytes);
  TSqliteStatement& BindNull(int index);
  // Steps once: true when a row is current, false when done.
  bool Step();
  // Runs a statement that returns no rows.
  void Run() {
    while (Step()) {
    }
  }

  int64_t Integer(int column) const { return sqlite3_column_int64(statement_, column); }
  std::string Text(int column) const;
  std::string Blob(int column) const;

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
};

// Runs one or more statements without parameters.
void ExecSql(sqlite3* db, const char* sql);

}  // namespace bench
