#include "bench/sqlite_statement.h"

namespace bench {

TSqliteStatement::TSqliteStatement(sqlite3* db, const char* sql) : db_(db) {
  const int rc = sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr);
  if (rc != SQLITE_OK) throw ESqliteError(db, rc, std::string("prepare ") + sql);
}

TSqliteStatement& TSqliteStatement::Reset() {
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
  return *this;
}

TSqliteStatement& TSqliteStatement::Bind(int index, int64_t value) {
  sqlite3_bind_int64(statement_, index, value);
  return *this;
}

TSqliteStatement& TSqliteStatement::Bind(int index, const std::string& text) {
  sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                    SQLITE_TRANSIENT);
  return *this;
}

TSqliteStatement& TSqliteStatement::BindBlob(int index, const std::string& bytes) {
  sqlite3_bind_blob(statement_, index, bytes.data(), static_cast<int>(bytes.size()),
                    SQLITE_TRANSIENT);
  return *this;
}

TSqliteStatement& TSqliteStatement::BindNull(int index) {
  sqlite3_bind_null(statement_, index);
  return *this;
}

bool TSqliteStatement::Step() {
  const int rc = sqlite3_step(statement_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  throw ESqliteError(db_, rc, std::string("step ") + sqlite3_sql(statement_));
}

std::string TSqliteStatement::Text(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  return text ? std::string(text, sqlite3_column_bytes(statement_, column)) : std::string();
}

std::string TSqliteStatement::Blob(int column) const {
  const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement_, column));
  return bytes ? std::string(bytes, sqlite3_column_bytes(statement_, column)) : std::string();
}

void ExecSql(sqlite3* db, const char* sql) {
  char* message = nullptr;
  const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &message);
  if (rc != SQLITE_OK) {
    const std::string text = message ? message : sqlite3_errstr(rc);
    sqlite3_free(message);
    throw ESqliteError(nullptr, rc, std::string(sql).substr(0, 60) + ": " + text);
  }
}

}  // namespace bench
