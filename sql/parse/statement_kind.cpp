#include "sql/parse/statement_kind.h"

#include <array>

namespace strata {

std::string_view StatementKindName(TStatementKind kind) {
  // clang-format off
  static constexpr std::array<std::string_view, 13> kNames = {
      "UNKNOWN", "SELECT", "INSERT", "UPDATE", "DELETE", "CREATE TABLE", "ALTER TABLE",
      "DROP TABLE", "CREATE INDEX", "DROP INDEX", "START TRANSACTION", "ROLLBACK", "COMMIT"};
  // clang-format on
  const auto code = static_cast<size_t>(kind);
  return code < kNames.size() ? kNames[code] : kNames[0];
}

}  // namespace strata
