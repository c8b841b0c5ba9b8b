// TExpToken: one node of a parsed expression, and the holder of the value it
// yields. TExpTokenStack: the pool that owns every node of one statement (or
// one filter); nodes link to each other by plain pointers into the pool.
//
// A tree is built by the grammar (exp_grammar.h), resolved and typed against
// the sources (operand_types.h), then evaluated row after row (exp_eval.h).
// Evaluation writes each node's result into the node's own Value, so a tree
// evaluated again and again allocates nothing once its string values have
// grown to size.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sql/expr/exp_value.h"

namespace strata {

struct TEvalContext;

// The node classes.
enum TNodeClass : uint8_t {
  ncUnary,       // NOT, unary minus, unary plus: Left
  ncBinary,      // arithmetic, concatenation, comparison, AND, OR: Left, Right
  ncColumn,      // a column reference (resolved: Source, Column)
  ncConstant,    // a constant (Value)
  ncFunction,    // a function of the function table: Args
  ncAggregate,   // COUNT, SUM, AVG, MIN, MAX, RUNSUM: Args (empty for COUNT(*))
  ncPredicate,   // LIKE, IN (list), BETWEEN and their NOT forms: Left, Args
  ncSubSelect,   // IN (SELECT ...): Left, SubQuery
  ncParameter,   // "?": Value is bound by the statement
  ncAllColumns,  // "*" or correlation.* (a select item)
};

// Operator codes (Code of unary, binary, predicate and sub-select nodes).
enum TExpOperator : uint8_t {
  opNone,
  opOr,
  opAnd,
  opNot,
  opEqual,
  opNotEqual,
  opLess,
  opLessEqual,
  opGreater,
  opGreaterEqual,
  opAdd,  // also "||"
  opSubtract,
  opMultiply,
  opDivide,
  opNegate,
  opPlus,
  opLike,
  opNotLike,
  opIn,
  opNotIn,
  opBetween,
  opNotBetween,
};

// Function codes (Code of function and aggregate nodes).
enum TExpFunction : uint8_t {
  fnNone,
  fnLower,
  fnUpper,
  fnLength,
  fnSubstring,  // Args: s, start [, length]
  fnReplace,    // Args: search, replacement, s
  fnPos,        // Args: search, s
  fnOccurs,     // Args: search, s
  fnCast,       // Args: x; CastType, Size, Scale, SubType describe the target
  fnTrim,       // Args: character, s; Part: trim placement
  fnExtract,    // Args: x; Part: the date or time part
  fnAbs,
  fnRound,   // Args: x [, places constant]
  fnIf,      // Args: condition, a, b
  fnIfNull,  // Args: x, a, b
  fnCoalesce,
  fnTextSearch,   // Args: text, column
  fnTextOccurs,   // Args: text, column
  fnLastAutoInc,  // Args: table name; also IDENT_CURRENT
  // Aggregates
  agCount,
  agSum,
  agAvg,
  agMin,
  agMax,
  agRunSum,
};

// TRIM placements and EXTRACT parts (Part of the node).
enum TTrimPlacement : uint8_t { tpLeading, tpTrailing, tpBoth };
enum TExtractPart : uint8_t {
  xpYear,
  xpMonth,
  xpWeek,
  xpDay,
  xpDayOfWeek,
  xpDayOfYear,
  xpHour,
  xpMinute,
  xpSecond
};

// A sub-select in IN (SELECT ...): built and owned by the statement layer,
// which parses, prepares and runs it; the expression only asks for its values.
class TSubQuery {
 public:
  virtual ~TSubQuery() = default;
  // The number of result columns (more than one is an error at resolution).
  virtual int ColumnCount() const = 0;
  // Runs the sub-select for the current rows and calls `visit` with each
  // value of its result column until `visit` returns false.
  virtual void ForEachValue(TEvalContext& context,
                            const std::function<bool(const TExpValue&)>& visit) = 0;
};

struct TExpToken {
  TNodeClass Class = ncConstant;
  uint8_t Code = 0;  // TExpOperator or TExpFunction
  uint8_t Part = 0;  // TTrimPlacement / TExtractPart
  // The text as written: operator, function name, constant text; for
  // operators and predicates the whole expression's text (for messages).
  std::string Text;

  // Result type after resolution (fldUNKNOWN: untyped NULL), and for CAST
  // the target type.
  uint8_t ResultType = fldUNKNOWN;
  uint8_t ResultSubType = fldstNONE;
  uint16_t Size = 0;
  uint8_t Scale = 0;

  // A constant's value, a bound parameter's value, or the last evaluation's result.
  TExpValue Value;

  // Column references.
  std::string ColumnName;
  std::string CorrelationName;
  int Source = -1;          // index into the resolver's sources, -1 until resolved
  uint16_t Column = 0;      // field number in that source
  bool FromString = false;  // a string constant taken as a column name
  bool Quoted = false;      // a constant written as a quoted string (may name a column)

  // Operands.
  TExpToken* Left = nullptr;
  TExpToken* Right = nullptr;
  std::vector<TExpToken*> Args;

  bool Parameter = false;
  bool CountAll = false;  // COUNT(*)
  bool Distinct = false;  // an aggregate over DISTINCT values
  std::unique_ptr<TSubQuery> SubQuery;
};

// The text naming a node in the type mismatch message: "expression",
// "column", "constant" or "function".
std::string_view NodeKindName(const TExpToken& node);

// The nodes of one statement or filter. Nodes live until the pool is
// cleared or destroyed; released nodes are reused by later New() calls.
class TExpTokenStack {
 public:
  TExpToken* New();
  // Gives a node back (its links are not followed).
  void Release(TExpToken* node);
  void Clear();
  size_t Size() const { return nodes_.size() - free_.size(); }

 private:
  std::deque<TExpToken> nodes_;
  std::vector<TExpToken*> free_;
};

}  // namespace strata
