#include "sql/expr/sql_error.h"

#include "storage/engine_error.h"

namespace strata {

void RaiseSqlError(const TSqlErrorTarget& target, std::string_view message) {
  ErrorContext context;
  context.table = target.Table;
  context.detail = std::string(message);
  RaiseEngineError(target.Code == 0 ? STRATA_SQLPARSE : target.Code, context);
}

void RaiseSqlError(std::string_view message) { RaiseSqlError(TSqlErrorTarget{}, message); }

std::string FormatMessage(std::string_view pattern,
                          std::initializer_list<std::string_view> values) {
  std::string out;
  out.reserve(pattern.size() + 32);
  auto value = values.begin();
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's' &&
        value != values.end()) {
      out += *value++;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

}  // namespace strata
