// The texts of every tokenizer and expression message, each written once.
// "%s" stands for an inserted value, in order; a trailing " in %s" takes the
// parse context ("SQL statement", "WHERE or JOIN clause", ...).
#pragma once

#include <string_view>

namespace strata::msg {

// clang-format off
// ---- Tokenizer
inline constexpr std::string_view kMissingCommentEnd = "Missing ending comment slash and asterisk in %s";
inline constexpr std::string_view kMissingSingleQuote = "Missing single quote after '%s' in %s";
inline constexpr std::string_view kMissingDoubleQuote = "Missing double quote after '%s' in %s";
inline constexpr std::string_view kMissingRightBracket = "Missing right bracket after '%s' in %s";
inline constexpr std::string_view kCharCodeRange = "Character constant '%s' is invalid, character constants must be in the range 0 to 255 in %s";
inline constexpr std::string_view kInvalidNumber = "Constant '%s' is not a valid number in %s";

// ---- Permissions per place
inline constexpr std::string_view kAggregatesNotAllowed = "Aggregate functions are not allowed in %s";
inline constexpr std::string_view kAllColumnsNotAllowed = "* (all columns) symbol is not allowed in %s";
inline constexpr std::string_view kPredicatesNotAllowed = "Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in %s";
inline constexpr std::string_view kParametersNotAllowed = "Parameters are not allowed in %s";
inline constexpr std::string_view kSubSelectsNotAllowed = "Sub-select queries are not allowed in %s";

// ---- Grammar
inline constexpr std::string_view kExpectedAndInBetween = "Expected AND operator in %s operator, instead found '%s'";
inline constexpr std::string_view kExpectedLeftParenIn = "Expected left parentheses for %s operator, instead found '%s'";
inline constexpr std::string_view kExpectedRightParenIn = "Expected right parentheses after %s operator, instead found '%s'";
inline constexpr std::string_view kInNeedsValue = "You must provide at least one value as an operand of the %s operator  in %s";
inline constexpr std::string_view kSecondConcatSymbol = "Second concatenation symbol '|' expected after first concatentation symbol, instead found '%s'";
inline constexpr std::string_view kUnknownFunction = "Unknown or unexpected function '%s' found in %s";
inline constexpr std::string_view kSymbolAfterCorrelation = "Symbol or string expression expected after table correlation name separator '.', instead found '%s'";
inline constexpr std::string_view kRightParenExpected = "Right parentheses expected, instead found '%s'";
inline constexpr std::string_view kUnknownSymbol = "Unknown or unexpected symbol '%s' found in %s";
inline constexpr std::string_view kLeftParenAfterKeyword = "Left parentheses expected after %s keyword, instead found '%s'";
inline constexpr std::string_view kRightParenAfterArgument = "Right parentheses expected after %s function argument, instead found '%s'";
inline constexpr std::string_view kKeywordExpectedInFunction = "%s keyword expected in %s function, instead found '%s'";
inline constexpr std::string_view kCommaOrKeywordInFunction = "%s keyword or comma expected in %s function, instead found '%s'";
inline constexpr std::string_view kTrimPlacement = "LEADING, TRAILING, or BOTH keyword expected in TRIM function, instead found '%s'";
inline constexpr std::string_view kExtractPart = "YEAR, MONTH, WEEK, DAY, DAYOFWEEK, DAYOFYEAR, HOUR, MINUTE, or SECOND keyword expected in EXTRACT function, instead found '%s'";
inline constexpr std::string_view kNullAfterIs = "NULL keyword expected after IS keyword, instead found '%s'";
inline constexpr std::string_view kTypeNameExpected = "SQL data type keyword expected, instead found '%s'";
inline constexpr std::string_view kExpressionTooComplex = "Expression is too complex or nested too deeply in %s";
inline constexpr std::string_view kAggregatesNested = "Aggregate functions cannot be nested";
inline constexpr std::string_view kAggregateInExpression = "Aggregate functions cannot be used within expressions";

// ---- Resolution and types
inline constexpr std::string_view kInvalidColumn = "Invalid column name '%s' or table correlation name '%s' specified in %s";
inline constexpr std::string_view kCorrelationNotInFrom = "Table correlation name '%s' referenced in WHERE clause is not defined in the FROM clause";
inline constexpr std::string_view kDateTimeExpected = "Date, time, or timestamp expression expected, instead found '%s' in %s";
inline constexpr std::string_view kTypeMismatch = "Type mismatch between %s '%s' and %s '%s' in %s";
inline constexpr std::string_view kUnaryTypeMismatch = "Type mismatch between '%s' operator and '%s' in %s";
inline constexpr std::string_view kSubSelectColumns = "More than 1 column for sub-select  specified in %s";
inline constexpr std::string_view kIllegalColumn = "Internal error: Column '%s' specified illegally";
inline constexpr std::string_view kIllegalLastAutoInc = "Illegal use of LASTAUTOINC() or IDENT_CURRENT() functions";

// ---- Function arguments
inline constexpr std::string_view kArgumentMustBeString = "Expression argument of %s function must be a string type in %s";
inline constexpr std::string_view kArgumentMustBeNumeric = "Expression argument of %s function must be an integer, floating-point, or BCD type in %s";
inline constexpr std::string_view kArgumentMustBeFloatOrBcd = "Expression argument of %s function must be a floating-point or BCD type in %s";
inline constexpr std::string_view kArgumentMustBeDateTime = "Expression argument of %s function must be a date, time, or timestamp type in %s";
inline constexpr std::string_view kNamedArgumentMustBeInteger = "%s argument of %s function must be an integer value in %s";
inline constexpr std::string_view kNamedArgumentMustBeString = "%s argument of %s function must be a string type in %s";
inline constexpr std::string_view kFirstArgumentMustBeBoolean = "First expression argument of %s function must be a boolean type in %s";
inline constexpr std::string_view kFunctionArgumentMismatch = "Type mismatch between %s function and function argument in %s";
inline constexpr std::string_view kRoundPlaces = "TO argument of ROUND function must be an integer constant from 0 to 32 in %s";
inline constexpr std::string_view kTrimCharacter = "Trim character argument of TRIM function must be a single character constant in %s";
inline constexpr std::string_view kTextSearchText = "Search text argument of %s function must be a string constant in %s";
inline constexpr std::string_view kTextSearchColumn = "Column argument of %s function must be a column in %s";
inline constexpr std::string_view kLastAutoIncTable = "Table name argument of %s function must be a string constant in %s";
inline constexpr std::string_view kCastScale = "Scale of BCD type in CAST function must be from 0 to 4 in %s";
inline constexpr std::string_view kCastBlobType = "Blob type in CAST function must be 1, 2, 3, 5 or 7 in %s";
inline constexpr std::string_view kCastMismatch = "Type mismatch between CAST function and function argument in %s";
inline constexpr std::string_view kCoalesceNeedsArgument = "You must provide at least one argument to the COALESCE function in %s";

// ---- Table filters
inline constexpr std::string_view kFilterNotBoolean = "filter expression must be a boolean expression";
inline constexpr std::string_view kFilterContext = "filter expression";
// clang-format on

}  // namespace strata::msg
