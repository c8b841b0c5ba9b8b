// The texts of the executor's own messages, each written once. "%s" stands
// for an inserted value, in order. All are raised as engine error 11949,
// "SQL error - %s".
#pragma once

#include <string_view>

namespace strata::msg {

// clang-format off
// ---- SELECT preparation
inline constexpr std::string_view kTooManyResultColumns = "Maximum number of columns (1024) in result set exceeded";
inline constexpr std::string_view kTooManyItemColumns = "Maximum number of columns (1024) in %s clause exceeded";
inline constexpr std::string_view kFieldTooWide = "Column expression '%s' exceeds the maximum allowable field size";
inline constexpr std::string_view kGroupByMissing = "Invalid use of aggregate function(s), the necessary GROUP BY clause is missing";
inline constexpr std::string_view kHavingWithoutGroupBy = "A GROUP BY clause must exist in order to use the HAVING clause";
inline constexpr std::string_view kWhereNotBoolean = "WHERE or JOIN clause must be a boolean expression";
inline constexpr std::string_view kHavingNotBoolean = "HAVING clause must be a boolean expression";
inline constexpr std::string_view kHavingNotInColumns = "Expression in HAVING clause not found in source columns";
inline constexpr std::string_view kInvalidItemNumber = "Invalid column number '%s' specified in %s clause";
inline constexpr std::string_view kInvalidItemName = "Invalid column name '%s' or table correlation name '%s' specified in %s clause";
inline constexpr std::string_view kBlobItem = "Invalid BLOB column '%s' specified in %s clause";

// ---- Joins
inline constexpr std::string_view kJoinMultipleCorrelations = "The join condition cannot contain multiple table correlation names in either the left or right operand in WHERE or JOIN clause";
inline constexpr std::string_view kJoinMultipleTargets = "Internal join error - table correlation name \"%s\" is target of multiple join conditions in WHERE or JOIN clause";

// ---- INSERT and UPDATE values
inline constexpr std::string_view kValueDateTimeExpected = "Date, time, or timestamp expression expected, instead found '%s' in %s";
inline constexpr std::string_view kValueTypeMismatch = "Type mismatch between column '%s' and %s '%s' in %s";
inline constexpr std::string_view kStoreTypeMismatch = "Type mismatch between column %s and constant value %s in %s statement";
inline constexpr std::string_view kInsertValuesContext = "insert values";
inline constexpr std::string_view kUpdateValuesContext = "update values";

// ---- Transactions
inline constexpr std::string_view kTransactionActive = "Transaction already in progress for database '%s'";
inline constexpr std::string_view kNoTransaction = "Transaction not in progress for database '%s'";
// clang-format on

}  // namespace strata::msg
