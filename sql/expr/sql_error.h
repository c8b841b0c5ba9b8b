// How the SQL engine raises its errors: a syntax, type or resolution failure
// is the engine error of the tokenizer's error code (11949 for statements,
// "SQL error - %s"; 10051 for table filters, "Filter error for the table
// '%s' - %s") with the composed message as its detail.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace strata {

// Where an error is raised and how: the code and, for filter errors, the table.
struct TSqlErrorTarget {
  uint16_t Code = 0;  // 0: the statement code 11949
  std::string Table;
};

[[noreturn]] void RaiseSqlError(const TSqlErrorTarget& target, std::string_view message);
// The statement code 11949 with `message` as its detail.
[[noreturn]] void RaiseSqlError(std::string_view message);

// `pattern` with each "%s" replaced in turn by the next of `values`.
std::string FormatMessage(std::string_view pattern, std::initializer_list<std::string_view> values);

}  // namespace strata
