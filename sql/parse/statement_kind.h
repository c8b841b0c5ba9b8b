// The kinds of statement the SQL dialect knows, with the names messages use.
#pragma once

#include <cstdint>
#include <string_view>

namespace strata {

enum class TStatementKind : uint8_t {
  kUnknown = 0,
  kSelect = 1,
  kInsert = 2,
  kUpdate = 3,
  kDelete = 4,
  kCreateTable = 5,
  kAlterTable = 6,
  kDropTable = 7,
  kCreateIndex = 8,
  kDropIndex = 9,
  kStartTransaction = 10,
  kRollback = 11,
  kCommit = 12,
};

// "SELECT", "INSERT", ..., "COMMIT"; "UNKNOWN" for any other code.
std::string_view StatementKindName(TStatementKind kind);

}  // namespace strata
