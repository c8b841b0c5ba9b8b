// The texts of every statement-level message, each written once. "%s"
// stands for an inserted value, in order: mostly the offending token's text
// as TokenText gives it. All are raised as engine error 11949, "SQL error - %s".
#pragma once

#include <string_view>

namespace strata::msg {

// clang-format off
// ---- Statements and their ends
inline constexpr std::string_view kStatementExpected = "SELECT, INSERT, UPDATE, DELETE, CREATE, ALTER, or DROP keyword expected, instead found '%s'";
inline constexpr std::string_view kCreateWhatExpected = "TABLE, INDEX, UNIQUE, ASC, ASCENDING, DESC, DESCENDING, or NOCASE keyword expected, instead found '%s'";
inline constexpr std::string_view kTableOrIndexExpected = "TABLE or INDEX keyword expected, instead found '%s'";
inline constexpr std::string_view kValuesOrSelectExpected = "VALUES or SELECT  keyword expected, instead found '%s'";
inline constexpr std::string_view kEndOfStatement = "End of %s statement expected, instead found '%s'";
// "<keyword> keyword expected, instead found '<token>'": SELECT, FROM, INTO,
// SET, TABLE, TRANSACTION, ON (the index's table), ...
inline constexpr std::string_view kKeywordExpected = "%s keyword expected, instead found '%s'";
// "<keyword> keyword expected after <keyword> keyword, ...": BY after GROUP,
// LOCKS after WITH, WITH after ENCRYPTED, JOIN after INNER, ...
inline constexpr std::string_view kKeywordAfterKeyword = "%s keyword expected after %s keyword, instead found '%s'";
inline constexpr std::string_view kIntegerAfterKeyword = "Integer value expected after %s keyword, instead found '%s'";
inline constexpr std::string_view kStringAfterKeyword = "String constant expected after %s keyword, instead found '%s'";

// ---- Table references and correlation names
inline constexpr std::string_view kTableNameAfterKeyword = "Table name expected after %s keyword, instead found '%s'";
inline constexpr std::string_view kTableNameAfterIntoClause = "Table name expected after INTO clause, instead found '%s'";
inline constexpr std::string_view kTableNameExpected = "Table name expected, instead found '%s'";
inline constexpr std::string_view kDuplicateCorrelation = "Duplicate table correlation name '%s' found in source tables";
inline constexpr std::string_view kSymbolAfterAs = "Symbol or string expected after AS keyword, instead found '%s'";
inline constexpr std::string_view kSymbolAfterCorrelationName = "Symbol or string expected after table correlation name, instead found '%s'";

// ---- SELECT
inline constexpr std::string_view kRightParenAfterSelect = "Right parentheses expected after SELECT statement, instead found '%s'";
inline constexpr std::string_view kIntoOnlyInMaster = "The INTO clause can only be used with the master query";
inline constexpr std::string_view kResultTableExpected = "Result table name expected in INTO clause, instead found '%s'";
inline constexpr std::string_view kOnExpected = "ON keyword expected in JOIN clause, instead found '%s'";
inline constexpr std::string_view kFullJoin = "Full outer joins are currently not supported in Strata SQL SELECT statements";
inline constexpr std::string_view kColumnExpectedIn = "Column name or column number expected in %s clause, instead found '%s'";
inline constexpr std::string_view kInvalidLanguage = "Invalid language constant '%s' specified after LANGUAGE keyword";
inline constexpr std::string_view kInvalidSort = "Invalid sort constant '%s' specified after SORT keyword";
inline constexpr std::string_view kOrderByInUnion = "You cannot use an ORDER BY clause within a UNIONed query";

// ---- INSERT, UPDATE, DELETE
inline constexpr std::string_view kRightParenAfterColumns = "Right parentheses expected after list of table columns, instead found '%s'";
inline constexpr std::string_view kLeftParenAfterValues = "Left parentheses expected after VALUES keyword, instead found '%s'";
inline constexpr std::string_view kRightParenAfterValues = "Right parentheses expected after list of values, instead found '%s'";
inline constexpr std::string_view kValueCountMismatch = "The number of values must match the number of table columns";
inline constexpr std::string_view kAssignmentExpected = "Assignment (=) operator expected after column name, instead found '%s'";
inline constexpr std::string_view kFirstSourceMismatch = "The first source table specified in FROM clause must match the table being updated in the UPDATE statement";
inline constexpr std::string_view kCommitOptions = "INTERVAL and/or FLUSH keywords expected after COMMIT keyword, instead found '%s'";
inline constexpr std::string_view kTableColumnsContext = "table columns";

// ---- Empty clauses
inline constexpr std::string_view kWhereEmpty = "WHERE or JOIN clause is empty";
inline constexpr std::string_view kHavingEmpty = "HAVING clause is empty";
inline constexpr std::string_view kSourceColumnEmpty = "Source column expression is empty";
inline constexpr std::string_view kTableColumnEmpty = "Table column name is empty";
inline constexpr std::string_view kValueEmpty = "Value expression is empty";

// ---- CREATE TABLE, ALTER TABLE, CREATE INDEX, DROP
inline constexpr std::string_view kLeftParenAfter = "Left parentheses expected after %s, instead found '%s'";
inline constexpr std::string_view kRightParenAfter = "Right parentheses expected after %s, instead found '%s'";
inline constexpr std::string_view kColumnNameExpected = "Column name expected, instead found '%s'";
inline constexpr std::string_view kIndexNameExpected = "Index name expected, instead found '%s'";
inline constexpr std::string_view kColumnNotDefined = "Column '%s' is not defined in the table '%s'";
inline constexpr std::string_view kColumnDefined = "Column '%s' is already defined in the table '%s'";
inline constexpr std::string_view kInvalidLength = "Invalid length %s specified for the column '%s'";
inline constexpr std::string_view kInvalidScale = "Invalid scale %s specified for the column '%s'";
inline constexpr std::string_view kInvalidBlobType = "Invalid blob type %s specified for the column '%s'";
inline constexpr std::string_view kConstantExpectedAfter = "Constant value expected after %s keyword, instead found '%s'";
inline constexpr std::string_view kCharCaseExpected = "UPPER, LOWER, or NOCHANGE keyword expected after CHARCASE keyword, instead found '%s'";
inline constexpr std::string_view kCompressionExpected = "FULL, DUPBYTE, TRAILBYTE, or NONE keyword expected after COMPRESS keyword, instead found '%s'";
inline constexpr std::string_view kAlterActionExpected = "ADD, DROP, or REDEFINE keyword expected, instead found '%s'";
inline constexpr std::string_view kPrimaryKeyDefined = "A primary key is already defined for the table '%s'";
inline constexpr std::string_view kNoPrimaryKey = "No primary key is defined for the table '%s'";
inline constexpr std::string_view kPositionOutOfRange = "Column position %s is out of range for the table '%s'";
inline constexpr std::string_view kValueOutOfRange = "Value %s specified after %s keyword is out of range";

// ---- Parse contexts: the place named at the end of expression messages
inline constexpr std::string_view kSourceColumnContext = "source column expression";
inline constexpr std::string_view kTableColumnContext = "table column";
inline constexpr std::string_view kValueContext = "value expression";
inline constexpr std::string_view kWhereContext = "WHERE or JOIN clause";
inline constexpr std::string_view kHavingContext = "HAVING clause";
inline constexpr std::string_view kIndexColumnContext = "index column";
inline constexpr std::string_view kIndexNameContext = "index name expression";
inline constexpr std::string_view kAutoIncContext = "next auto-increment number";
inline constexpr std::string_view kStopWordsContext = "stop words";
inline constexpr std::string_view kCharacterSetContext = "character set";
// clang-format on

}  // namespace strata::msg
