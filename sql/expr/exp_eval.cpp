#include "sql/expr/exp_eval.h"

#include <cstring>

#include "sql/expr/exp_messages.h"
#include "sql/expr/functions.h"
#include "sql/expr/string_compare.h"
#include "storage/record/date_time.h"

namespace strata {

namespace {

bool IsStringValue(const TExpValue& value) {
  return value.Type == fldZSTRING || value.Type == fldBLOB;
}

// Whole-number arithmetic wraps (no undefined behaviour on overflow).
int64_t Wrap(uint64_t value) { return static_cast<int64_t>(value); }

// Whether two operands compare as strings (a NULL then counts as "").
bool StringOperands(const TExpToken& left, const TExpToken& right) {
  return IsStringType(left.ResultType, left.ResultSubType) ||
         IsStringType(right.ResultType, right.ResultSubType);
}

// A comparison operator applied by the NULL rules.
bool Compare(uint8_t op, const TExpToken& left_node, const TExpValue& left,
             const TExpToken& right_node, const TExpValue& right, uint32_t locale) {
  if (op == opEqual || op == opNotEqual) {
    bool equal;
    if (left.Null || right.Null) {
      equal = left.Null && right.Null;
    } else {
      equal = CompareValues(left, right, locale) == 0;
    }
    return op == opEqual ? equal : !equal;
  }
  int order;
  if (left.Null || right.Null) {
    if (!StringOperands(left_node, right_node)) return false;
    // On strings a NULL is the empty text.
    static const TExpValue kEmpty = [] {
      TExpValue value;
      value.SetString("");
      return value;
    }();
    order = CompareValues(left.Null ? kEmpty : left, right.Null ? kEmpty : right, locale);
  } else {
    order = CompareValues(left, right, locale);
  }
  switch (op) {
    case opLess:
      return order < 0;
    case opLessEqual:
      return order <= 0;
    case opGreater:
      return order > 0;
    default:
      return order >= 0;
  }
}

void EvaluateArithmetic(TExpToken& node, const TExpValue& a, const TExpValue& b) {
  TExpValue& out = node.Value;
  const uint8_t type = node.ResultType;
  if (type == fldZSTRING || type == fldBLOB) {
    // Concatenation; a NULL side is the empty text.
    if (a.Null && b.Null) {
      out.SetNull(type);
      return;
    }
    out.Type = type;
    out.SubType = node.ResultSubType;
    out.Null = false;
    out.Str.assign(a.Null ? std::string_view() : std::string_view(a.Str));
    if (!b.Null) out.Str.append(b.Str);
    return;
  }
  if (a.Null || b.Null) {
    out.SetNull(type);
    return;
  }
  const uint8_t op = node.Code;
  switch (type) {
    case fldDATE:
    case fldTIME: {
      // A date plus or minus days; a time plus or minus milliseconds.
      const int64_t base = IsDateTimeType(a.Type) ? a.Int : b.Int;
      const int64_t step = IsDateTimeType(a.Type) ? NumericAsInt(b) : NumericAsInt(a);
      int64_t value = op == opSubtract ? base - step : base + step;
      if (type == fldTIME) value = ((value % kMsPerDay) + kMsPerDay) % kMsPerDay;
      out.SetInt(type, value);
      return;
    }
    case fldTIMESTAMP: {
      const double base = a.Type == fldTIMESTAMP ? a.Float : b.Float;
      const double step =
          static_cast<double>(a.Type == fldTIMESTAMP ? NumericAsInt(b) : NumericAsInt(a));
      out.SetFloat(type, op == opSubtract ? base - step : base + step);
      return;
    }
    default:
      break;
  }
  // Differences of dates, times and timestamps.
  if (a.Type == fldDATE && b.Type == fldDATE) return out.SetInt(type, a.Int - b.Int);
  if (a.Type == fldTIME && b.Type == fldTIME) return out.SetInt(type, a.Int - b.Int);
  if (a.Type == fldTIMESTAMP) {
    double other = b.Float;
    if (b.Type == fldDATE) other = static_cast<double>(b.Int) * kMsPerDay;
    if (b.Type == fldTIME) other = static_cast<double>(b.Int);
    if (type == fldFLOAT) return out.SetFloat(type, a.Float - other);
    return out.SetInt(type, static_cast<int64_t>(a.Float - other));
  }
  if (type == fldFLOAT || type == fldBCD) {
    const double x = NumericAsDouble(a);
    const double y = NumericAsDouble(b);
    double value = 0;
    switch (op) {
      case opAdd:
        value = x + y;
        break;
      case opSubtract:
        value = x - y;
        break;
      case opMultiply:
        value = x * y;
        break;
      default:
        if (y == 0) return out.SetNull(type);  // division by zero yields no value
        value = x / y;
        break;
    }
    out.SetFloat(type, value);
    return;
  }
  const auto x = static_cast<uint64_t>(NumericAsInt(a));
  const auto y = static_cast<uint64_t>(NumericAsInt(b));
  switch (op) {
    case opAdd:
      return out.SetInt(type, Wrap(x + y));
    case opSubtract:
      return out.SetInt(type, Wrap(x - y));
    default:
      return out.SetInt(type, Wrap(x * y));
  }
}

void EvaluateBinary(TExpToken& node, TEvalContext& context) {
  TExpValue& out = node.Value;
  switch (node.Code) {
    case opAnd:
      // The right operand first; the left only when it can still matter.
      out.SetBoolean(Evaluate(*node.Right, context).IsTrue() &&
                     Evaluate(*node.Left, context).IsTrue());
      return;
    case opOr:
      out.SetBoolean(Evaluate(*node.Right, context).IsTrue() ||
                     Evaluate(*node.Left, context).IsTrue());
      return;
    case opEqual:
    case opNotEqual:
    case opLess:
    case opLessEqual:
    case opGreater:
    case opGreaterEqual: {
      const TExpValue& a = Evaluate(*node.Left, context);
      const TExpValue& b = Evaluate(*node.Right, context);
      out.SetBoolean(Compare(node.Code, *node.Left, a, *node.Right, b, context.LocaleId));
      return;
    }
    default:
      EvaluateArithmetic(node, Evaluate(*node.Left, context), Evaluate(*node.Right, context));
      return;
  }
}

void EvaluateUnary(TExpToken& node, TEvalContext& context) {
  const TExpValue& operand = Evaluate(*node.Left, context);
  TExpValue& out = node.Value;
  if (node.Code == opNot) return out.SetBoolean(!operand.IsTrue());
  if (operand.Null) return out.SetNull(node.ResultType);
  out.Type = operand.Type;
  out.SubType = operand.SubType;
  out.Null = false;
  out.Int = operand.Int;
  out.Float = operand.Float;
  if (node.Code == opNegate) {
    out.Int = Wrap(0 - static_cast<uint64_t>(operand.Int));
    out.Float = -operand.Float;
  }
}

bool EvaluateLike(TExpToken& node, TEvalContext& context) {
  const TExpValue& text = Evaluate(*node.Left, context);
  const TExpValue& pattern = Evaluate(*node.Args[0], context);
  if (text.Null || pattern.Null) return false;
  return LikeMatch(text.Str, pattern.Str, context.LocaleId);
}

void EvaluatePredicate(TExpToken& node, TEvalContext& context) {
  bool result = false;
  switch (node.Code) {
    case opLike:
    case opNotLike:
      result = EvaluateLike(node, context);
      if (node.Code == opNotLike) {
        // NOT LIKE is true also when a side is NULL.
        result = !result;
      }
      break;
    case opIn:
    case opNotIn: {
      const TExpValue& left = Evaluate(*node.Left, context);
      for (TExpToken* arg : node.Args) {
        const TExpValue& value = Evaluate(*arg, context);
        if (Compare(opEqual, *node.Left, left, *arg, value, context.LocaleId)) {
          result = true;
          break;
        }
      }
      if (node.Code == opNotIn) result = !result;
      break;
    }
    default: {  // BETWEEN, NOT BETWEEN
      const TExpValue& left = Evaluate(*node.Left, context);
      const TExpValue& low = Evaluate(*node.Args[0], context);
      result = Compare(opGreaterEqual, *node.Left, left, *node.Args[0], low, context.LocaleId);
      if (result) {
        const TExpValue& high = Evaluate(*node.Args[1], context);
        result = Compare(opLessEqual, *node.Left, left, *node.Args[1], high, context.LocaleId);
      }
      if (node.Code == opNotBetween) result = !result;
      break;
    }
  }
  node.Value.SetBoolean(result);
}

void EvaluateSubSelect(TExpToken& node, TEvalContext& context) {
  const TExpValue& left = Evaluate(*node.Left, context);
  bool found = false;
  if (node.SubQuery) {
    node.SubQuery->ForEachValue(context, [&](const TExpValue& value) {
      TExpToken value_node;
      value_node.ResultType = value.Type;
      found = Compare(opEqual, *node.Left, left, value_node, value, context.LocaleId);
      return !found;
    });
  }
  node.Value.SetBoolean(node.Code == opNotIn ? !found : found);
}

}  // namespace

int CompareValues(const TExpValue& a, const TExpValue& b, uint32_t locale_id) {
  if (IsStringValue(a) || IsStringValue(b)) return CompareStrings(a.Str, b.Str, locale_id);
  if (a.Type == fldBOOL || b.Type == fldBOOL) {
    return static_cast<int>(a.Int != 0) - static_cast<int>(b.Int != 0);
  }
  if (a.Type == fldBYTES || a.Type == fldVARBYTES) {
    const size_t common = std::min(a.Str.size(), b.Str.size());
    const int order = common == 0 ? 0 : std::memcmp(a.Str.data(), b.Str.data(), common);
    if (order != 0) return order;
    return a.Str.size() < b.Str.size() ? -1 : a.Str.size() > b.Str.size() ? 1 : 0;
  }
  // A date meets a timestamp at midnight.
  if ((a.Type == fldDATE && b.Type == fldTIMESTAMP) ||
      (a.Type == fldTIMESTAMP && b.Type == fldDATE)) {
    const double x = a.Type == fldDATE ? static_cast<double>(a.Int) * kMsPerDay : a.Float;
    const double y = b.Type == fldDATE ? static_cast<double>(b.Int) * kMsPerDay : b.Float;
    return x < y ? -1 : x > y ? 1 : 0;
  }
  const bool a_whole = a.Type != fldFLOAT && a.Type != fldBCD && a.Type != fldTIMESTAMP;
  const bool b_whole = b.Type != fldFLOAT && b.Type != fldBCD && b.Type != fldTIMESTAMP;
  if (a_whole && b_whole) return a.Int < b.Int ? -1 : a.Int > b.Int ? 1 : 0;
  const double x = NumericAsDouble(a);
  const double y = NumericAsDouble(b);
  return x < y ? -1 : x > y ? 1 : 0;
}

const TExpValue& Evaluate(TExpToken& node, TEvalContext& context) {
  switch (node.Class) {
    case ncConstant:
    case ncParameter:
    case ncAggregate:
      break;
    case ncColumn:
      if (node.Source < 0 || context.Rows == nullptr ||
          !context.Rows->ReadColumn(node.Source, node.Column, node.Value)) {
        RaiseSqlError(FormatMessage(msg::kIllegalColumn, {node.ColumnName}));
      }
      break;
    case ncAllColumns:
      RaiseSqlError(FormatMessage(msg::kIllegalColumn, {node.Text}));
    case ncUnary:
      EvaluateUnary(node, context);
      break;
    case ncBinary:
      EvaluateBinary(node, context);
      break;
    case ncPredicate:
      EvaluatePredicate(node, context);
      break;
    case ncSubSelect:
      EvaluateSubSelect(node, context);
      break;
    case ncFunction:
      EvaluateFunction(node, context);
      break;
  }
  return node.Value;
}

}  // namespace strata
