#include "sql/expr/operand_types.h"

#include "sql/expr/datetime_constant.h"
#include "sql/expr/exp_messages.h"
#include "sql/expr/expression_parser.h"
#include "sql/expr/functions.h"

namespace strata {

namespace {

bool IsNullType(const TExpToken& node) {
  return node.ResultType == fldUNKNOWN || node.Class == ncParameter;
}

bool IsStringNode(const TExpToken& node) {
  return IsStringType(node.ResultType, node.ResultSubType);
}
bool IsDateOrTimestamp(uint8_t type) { return type == fldDATE || type == fldTIMESTAMP; }

// The wider of two numeric types: float, then BCD, then largeint, else integer.
uint8_t WiderNumeric(uint8_t a, uint8_t b) {
  if (a == fldFLOAT || b == fldFLOAT) return fldFLOAT;
  if (a == fldBCD || b == fldBCD) return fldBCD;
  if (a == fldINT64 || b == fldINT64) return fldINT64;
  return fldINT32;
}

class TChecker {
 public:
  TChecker(const TColumnResolver& resolver, const TResolveOptions& options)
      : resolver_(resolver), options_(options), scope_{options.Context, &options.Target} {}

  void Resolve(TExpToken& node);

 private:
  void ResolveColumn(TExpToken& node);
  void TryStringAsColumn(TExpToken& node);
  void TypeConstant(TExpToken& node);
  void CheckUnary(TExpToken& node);
  void CheckBinary(TExpToken& node);
  void CheckPredicate(TExpToken& node);
  void CheckAggregate(TExpToken& node);
  // Converts a string constant beside a date, time or timestamp operand.
  void ConvertDateTimeConstant(TExpToken& constant, const TExpToken& other);
  // The result of a comparison (raises the mismatch message otherwise).
  void RequireComparable(const TExpToken& left, const TExpToken& right, bool ordering);
  uint8_t ArithmeticType(const TExpToken& node, const TExpToken& left, const TExpToken& right);
  [[noreturn]] void Mismatch(const TExpToken& left, const TExpToken& right) const {
    scope_.Raise(msg::kTypeMismatch, {NodeKindName(left), left.Text, NodeKindName(right),
                                      right.Text, options_.Context});
  }

  const TColumnResolver& resolver_;
  const TResolveOptions& options_;
  TTypeScope scope_;
};

void TChecker::Resolve(TExpToken& node) {
  switch (node.Class) {
    case ncColumn:
      ResolveColumn(node);
      return;
    case ncConstant:
      TryStringAsColumn(node);
      if (node.Class == ncColumn) return;
      TypeConstant(node);
      return;
    case ncParameter:
      node.ResultType = node.Value.Null ? fldUNKNOWN : node.Value.Type;
      return;
    case ncAllColumns:
      if (!node.CorrelationName.empty()) ResolveColumn(node);
      return;
    case ncUnary:
      Resolve(*node.Left);
      CheckUnary(node);
      return;
    case ncBinary:
      Resolve(*node.Left);
      Resolve(*node.Right);
      CheckBinary(node);
      return;
    case ncPredicate:
      Resolve(*node.Left);
      for (TExpToken* arg : node.Args) Resolve(*arg);
      CheckPredicate(node);
      return;
    case ncSubSelect:
      Resolve(*node.Left);
      if (node.SubQuery && node.SubQuery->ColumnCount() > 1) {
        scope_.Raise(msg::kSubSelectColumns, {options_.Context});
      }
      node.ResultType = fldBOOL;
      return;
    case ncFunction:
      for (TExpToken* arg : node.Args) Resolve(*arg);
      CheckFunctionTypes(node, scope_);
      return;
    case ncAggregate:
      for (TExpToken* arg : node.Args) Resolve(*arg);
      CheckAggregate(node);
      return;
  }
}

void TChecker::ResolveColumn(TExpToken& node) {
  const bool whole_table =
      node.Class == ncAllColumns || node.ColumnName.empty() || node.ColumnName == "*";
  bool correlation_known = node.CorrelationName.empty();
  for (int source = 0; source < resolver_.SourceCount(); ++source) {
    if (!node.CorrelationName.empty()) {
      if (!SameKeyword(resolver_.CorrelationName(source), node.CorrelationName)) continue;
      correlation_known = true;
      if (whole_table) {
        node.Class = ncAllColumns;
        node.Source = source;
        node.CorrelationName = std::string(resolver_.CorrelationName(source));
        return;
      }
    }
    if (auto column = resolver_.FindColumn(source, node.ColumnName)) {
      node.Class = ncColumn;
      node.Source = source;
      node.Column = column->Column;
      node.ResultType = column->Type;
      node.ResultSubType = column->SubType;
      node.Size = column->Size;
      node.Scale = column->Scale;
      node.CorrelationName = std::string(resolver_.CorrelationName(source));
      return;
    }
  }
  if (!correlation_known && options_.WhereClause) {
    scope_.Raise(msg::kCorrelationNotInFrom, {node.CorrelationName});
  }
  scope_.Raise(msg::kInvalidColumn, {node.ColumnName, node.CorrelationName, options_.Context});
}

void TChecker::TryStringAsColumn(TExpToken& node) {
  if (!options_.StringsNameColumns || !node.Quoted || node.Text.empty() || node.Text == "*") return;
  for (int source = 0; source < resolver_.SourceCount(); ++source) {
    if (auto column = resolver_.FindColumn(source, node.Text)) {
      node.Class = ncColumn;
      node.FromString = true;
      node.ColumnName = node.Text;
      node.Source = source;
      node.Column = column->Column;
      node.ResultType = column->Type;
      node.ResultSubType = column->SubType;
      node.Size = column->Size;
      node.Scale = column->Scale;
      node.CorrelationName = std::string(resolver_.CorrelationName(source));
      node.Value = TExpValue{};
      return;
    }
  }
}

void TChecker::TypeConstant(TExpToken& node) {
  node.ResultType = node.Value.Null ? fldUNKNOWN : node.Value.Type;
  node.ResultSubType = fldstNONE;
  if (node.ResultType == fldZSTRING) {
    node.Size = static_cast<uint16_t>(std::min<size_t>(node.Value.Str.size() + 1, 65535));
  }
}

void TChecker::ConvertDateTimeConstant(TExpToken& constant, const TExpToken& other) {
  if (constant.Class != ncConstant || constant.ResultType != fldZSTRING) return;
  if (!IsDateTimeType(other.ResultType)) return;
  const std::string text = constant.Value.Str;
  switch (other.ResultType) {
    case fldDATE:
      if (auto day = ReadDateConstant(text)) {
        constant.Value.SetInt(fldDATE, *day);
        constant.ResultType = fldDATE;
        return;
      }
      break;
    case fldTIME:
      if (auto time = ReadTimeConstant(text)) {
        constant.Value.SetInt(fldTIME, *time);
        constant.ResultType = fldTIME;
        return;
      }
      break;
    default:
      if (auto stamp = ReadTimestampConstant(text)) {
        constant.Value.SetFloat(fldTIMESTAMP, *stamp);
        constant.ResultType = fldTIMESTAMP;
        return;
      }
      break;
  }
  scope_.Raise(msg::kDateTimeExpected, {text, options_.Context});
}

void TChecker::CheckUnary(TExpToken& node) {
  const TExpToken& operand = *node.Left;
  const uint8_t type = operand.ResultType;
  bool valid = IsNullType(operand);
  std::string_view name = "NOT";
  if (node.Code == opNot) {
    valid = valid || type == fldBOOL;
    node.ResultType = fldBOOL;
  } else {
    name = node.Code == opNegate ? "-" : "+";
    const bool numeric = IsNumericType(type) && !(node.Code == opNegate && type == fldUINT16);
    valid = valid || numeric || IsDateTimeType(type);
    node.ResultType = type;
    node.ResultSubType = operand.ResultSubType;
    node.Size = operand.Size;
    node.Scale = operand.Scale;
  }
  if (!valid) scope_.Raise(msg::kUnaryTypeMismatch, {name, operand.Text, options_.Context});
  // A sign before a number is part of the constant (so that "Score < -50"
  // compares a field with a constant).
  if (node.Code != opNot && operand.Class == ncConstant && !operand.Value.Null &&
      IsNumericType(type)) {
    TExpValue value = operand.Value;
    if (node.Code == opNegate) {
      value.Int = static_cast<int64_t>(0 - static_cast<uint64_t>(value.Int));
      value.Float = -value.Float;
    }
    node.Class = ncConstant;
    node.Value = value;
    node.Left = nullptr;
  }
}

void TChecker::RequireComparable(const TExpToken& left, const TExpToken& right, bool ordering) {
  if (IsNullType(left) || IsNullType(right)) return;
  const uint8_t a = left.ResultType;
  const uint8_t b = right.ResultType;
  if (IsStringNode(left) && IsStringNode(right)) return;
  if (IsDateOrTimestamp(a) && IsDateOrTimestamp(b)) return;
  if (IsNumericType(a) && IsNumericType(b)) return;
  if (ordering) {
    if (a == fldTIME && b == fldTIME) return;
  } else if (a == b && (a == fldBOOL || a == fldBYTES || a == fldVARBYTES || a == fldTIME)) {
    return;
  }
  Mismatch(left, right);
}

uint8_t TChecker::ArithmeticType(const TExpToken& node, const TExpToken& left,
                                 const TExpToken& right) {
  const uint8_t a = left.ResultType;
  const uint8_t b = right.ResultType;
  if (IsNullType(left) && IsNullType(right)) return fldUNKNOWN;
  if (IsNullType(left) || IsNullType(right)) {
    const TExpToken& typed = IsNullType(left) ? right : left;
    if (node.Code == opAdd && IsStringNode(typed)) return typed.ResultType;
    if (IsNumericType(typed.ResultType) || IsDateTimeType(typed.ResultType)) {
      if (node.Code == opDivide) return typed.ResultType == fldBCD ? fldBCD : fldFLOAT;
      return typed.ResultType;
    }
    Mismatch(left, right);
  }
  switch (node.Code) {
    case opAdd:
      if (IsStringNode(left) && IsStringNode(right)) return fldZSTRING;
      if (IsDateTimeType(a) && IsWholeType(b)) return a;
      if (IsWholeType(a) && IsDateTimeType(b)) return b;
      if (IsNumericType(a) && IsNumericType(b)) return WiderNumeric(a, b);
      break;
    case opSubtract:
      if (a == fldDATE && b == fldDATE) return fldINT32;
      if (a == fldTIME && b == fldTIME) return fldINT32;
      if (a == fldTIMESTAMP && (b == fldDATE || b == fldTIME)) return fldINT32;
      if (a == fldTIMESTAMP && b == fldTIMESTAMP) return fldFLOAT;
      if (IsDateTimeType(a) && IsWholeType(b)) return a;
      if (IsNumericType(a) && IsNumericType(b)) return WiderNumeric(a, b);
      break;
    case opMultiply:
      if (IsNumericType(a) && IsNumericType(b)) return WiderNumeric(a, b);
      break;
    case opDivide:
      if (IsNumericType(a) && IsNumericType(b)) {
        return (a == fldBCD || b == fldBCD) && a != fldFLOAT && b != fldFLOAT ? fldBCD : fldFLOAT;
      }
      break;
    default:
      break;
  }
  Mismatch(left, right);
}

void TChecker::CheckBinary(TExpToken& node) {
  TExpToken& left = *node.Left;
  TExpToken& right = *node.Right;
  ConvertDateTimeConstant(left, right);
  ConvertDateTimeConstant(right, left);
  switch (node.Code) {
    case opOr:
    case opAnd:
      if (!IsNullType(left) && left.ResultType != fldBOOL) Mismatch(left, right);
      if (!IsNullType(right) && right.ResultType != fldBOOL) Mismatch(left, right);
      node.ResultType = fldBOOL;
      return;
    case opEqual:
    case opNotEqual:
      RequireComparable(left, right, false);
      node.ResultType = fldBOOL;
      return;
    case opLess:
    case opLessEqual:
    case opGreater:
    case opGreaterEqual:
      RequireComparable(left, right, true);
      node.ResultType = fldBOOL;
      return;
    default:
      break;
  }
  node.ResultType = ArithmeticType(node, left, right);
  node.ResultSubType = fldstNONE;
  if (node.ResultType == fldZSTRING || node.ResultType == fldBLOB) {
    // Concatenation: memo when either side is, the sizes summed less one.
    const bool memo = left.ResultType == fldBLOB || right.ResultType == fldBLOB;
    node.ResultType = memo ? fldBLOB : fldZSTRING;
    node.ResultSubType = memo ? fldstMEMO : fldstNONE;
    const int size = std::max(1, left.Size + right.Size - 1);
    node.Size = static_cast<uint16_t>(std::min(size, 65535));
  } else if (node.ResultType == fldBCD) {
    node.Scale = std::max(left.Scale, right.Scale);
  }
}

void TChecker::CheckPredicate(TExpToken& node) {
  TExpToken& left = *node.Left;
  if (node.Code == opLike || node.Code == opNotLike) {
    TExpToken& pattern = *node.Args[0];
    const bool valid =
        (IsNullType(left) || IsStringNode(left)) && (IsNullType(pattern) || IsStringNode(pattern));
    if (!valid) Mismatch(left, pattern);
  } else {
    const bool ordering = node.Code == opBetween || node.Code == opNotBetween;
    for (TExpToken* arg : node.Args) {
      ConvertDateTimeConstant(*arg, left);
      ConvertDateTimeConstant(left, *arg);
      RequireComparable(left, *arg, ordering);
    }
  }
  node.ResultType = fldBOOL;
}

void TChecker::CheckAggregate(TExpToken& node) {
  if (node.CountAll || node.Code == agCount) {
    node.ResultType = fldINT32;
    return;
  }
  const TExpToken& arg = *node.Args[0];
  switch (node.Code) {
    case agMin:
    case agMax:
      node.ResultType = arg.ResultType;
      node.ResultSubType = arg.ResultSubType;
      node.Size = arg.Size;
      node.Scale = arg.Scale;
      return;
    case agAvg:
      if (!IsNullType(arg) && !IsNumericType(arg.ResultType)) {
        scope_.Raise(msg::kArgumentMustBeNumeric, {"AVG", options_.Context});
      }
      node.ResultType = fldFLOAT;
      return;
    default:  // SUM, RUNSUM
      if (!IsNullType(arg) && !IsNumericType(arg.ResultType)) {
        scope_.Raise(msg::kArgumentMustBeNumeric,
                     {node.Code == agSum ? "SUM" : "RUNSUM", options_.Context});
      }
      node.ResultType =
          IsWholeType(arg.ResultType) ? WiderNumeric(arg.ResultType, fldINT32) : arg.ResultType;
      node.Scale = arg.Scale;
      return;
  }
}

}  // namespace

void ResolveExpression(TExpToken& root, const TColumnResolver& resolver,
                       const TResolveOptions& options) {
  TChecker checker(resolver, options);
  checker.Resolve(root);
}

}  // namespace strata
