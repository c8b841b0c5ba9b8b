#include "sql/expr/filter_index_range.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "storage/record/bcd.h"
#include "storage/record/date_time.h"

namespace strata {

namespace {

// One condition: field, and the bounds as numbers in the field's unit.
struct TCondition {
  uint16_t Field = 0;
  std::optional<double> Low;
  std::optional<double> High;
  int Rank = 0;  // 2 equality or BETWEEN, 1 one-sided
};

bool IndexableType(uint8_t type) {
  switch (type) {
    case fldINT16:
    case fldINT32:
    case fldUINT16:
    case fldINT64:
    case fldFLOAT:
    case fldBCD:
    case fldDATE:
    case fldTIME:
    case fldTIMESTAMP:
    case fldBOOL:
      return true;
    default:
      return false;
  }
}

// The constant as a number in the unit of a field of type `field_type`.
std::optional<double> ConstantIn(const TExpToken& constant, uint8_t field_type) {
  const TExpValue& value = constant.Value;
  if (constant.Class != ncConstant || value.Null) return std::nullopt;
  switch (field_type) {
    case fldDATE:
      if (value.Type == fldDATE) return static_cast<double>(value.Int);
      if (value.Type == fldTIMESTAMP) return std::floor(value.Float / kMsPerDay);
      return std::nullopt;
    case fldTIME:
      return value.Type == fldTIME ? std::optional<double>(static_cast<double>(value.Int))
                                   : std::nullopt;
    case fldTIMESTAMP:
      if (value.Type == fldTIMESTAMP) return value.Float;
      if (value.Type == fldDATE) return static_cast<double>(value.Int) * kMsPerDay;
      return std::nullopt;
    case fldBOOL:
      return value.Type == fldBOOL ? std::optional<double>(value.Int != 0 ? 1 : 0) : std::nullopt;
    default:
      if (!IsNumericType(value.Type)) return std::nullopt;
      return NumericAsDouble(value);
  }
}

bool IsFieldColumn(const TExpToken& node) { return node.Class == ncColumn && node.Source == 0; }

std::optional<TCondition> ConditionOf(const TExpToken& node) {
  TCondition condition;
  if (node.Class == ncPredicate && node.Code == opBetween && IsFieldColumn(*node.Left)) {
    const uint8_t type = node.Left->ResultType;
    if (!IndexableType(type) || type == fldBOOL) return std::nullopt;
    condition.Field = node.Left->Column;
    condition.Low = ConstantIn(*node.Args[0], type);
    condition.High = ConstantIn(*node.Args[1], type);
    if (!condition.Low || !condition.High) return std::nullopt;
    condition.Rank = 2;
    return condition;
  }
  if (node.Class != ncBinary) return std::nullopt;
  uint8_t op = node.Code;
  const TExpToken* column = node.Left;
  const TExpToken* constant = node.Right;
  if (!IsFieldColumn(*column)) {
    std::swap(column, constant);
    // c < field is field > c.
    switch (op) {
      case opLess:
        op = opGreater;
        break;
      case opLessEqual:
        op = opGreaterEqual;
        break;
      case opGreater:
        op = opLess;
        break;
      case opGreaterEqual:
        op = opLessEqual;
        break;
      default:
        break;
    }
  }
  if (!IsFieldColumn(*column)) return std::nullopt;
  const uint8_t type = column->ResultType;
  if (!IndexableType(type)) return std::nullopt;
  const std::optional<double> value = ConstantIn(*constant, type);
  if (!value) return std::nullopt;
  condition.Field = column->Column;
  switch (op) {
    case opEqual:
      condition.Low = condition.High = value;
      condition.Rank = 2;
      break;
    case opLess:
    case opLessEqual:
      if (type == fldBOOL) return std::nullopt;
      condition.High = value;
      condition.Rank = 1;
      break;
    case opGreater:
    case opGreaterEqual:
      if (type == fldBOOL) return std::nullopt;
      condition.Low = value;
      condition.Rank = 1;
      break;
    default:
      return std::nullopt;
  }
  return condition;
}

void Conditions(const TExpToken& node, std::vector<TCondition>& out) {
  if (node.Class == ncBinary && node.Code == opAnd) {
    Conditions(*node.Left, out);
    Conditions(*node.Right, out);
    return;
  }
  if (auto condition = ConditionOf(node)) out.push_back(*condition);
}

template <class T>
std::vector<uint8_t> Bytes(T value) {
  std::vector<uint8_t> out(sizeof(T));
  std::memcpy(out.data(), &value, sizeof(T));  // little-endian, as records keep it
  return out;
}

// A bound in the field's encoding; `upper` rounds outward upwards. Sets
// `empty` when the bound lies beyond every value the field can hold.
std::optional<std::vector<uint8_t>> Encode(uint8_t type, double bound, bool upper, bool& empty) {
  auto whole = [&](double min, double max) -> std::optional<double> {
    const double rounded = upper ? std::ceil(bound) : std::floor(bound);
    if (upper && rounded < min) empty = true;
    if (!upper && rounded > max) empty = true;
    if (rounded < min) return upper ? std::optional<double>(min) : std::nullopt;
    if (rounded > max) return upper ? std::nullopt : std::optional<double>(max);
    return rounded;
  };
  switch (type) {
    case fldINT16:
      if (auto v = whole(-32768, 32767)) return Bytes(static_cast<int16_t>(*v));
      return std::nullopt;
    case fldUINT16:
    case fldBOOL:
      if (auto v = whole(0, 65535)) return Bytes(static_cast<uint16_t>(*v));
      return std::nullopt;
    case fldINT32:
    case fldDATE:
    case fldTIME:
      if (auto v = whole(-2147483648.0, 2147483647.0)) return Bytes(static_cast<int32_t>(*v));
      return std::nullopt;
    case fldINT64:
      // Doubles near the ends of the range cannot be told apart: leave those open.
      if (auto v = whole(-9.2e18, 9.2e18)) return Bytes(static_cast<int64_t>(*v));
      return std::nullopt;
    case fldFLOAT:
    case fldTIMESTAMP:
      return Bytes(std::nextafter(bound, upper ? std::numeric_limits<double>::infinity()
                                               : -std::numeric_limits<double>::infinity()));
    case fldBCD: {
      // Keys hold 1/10000 units rounded: one unit outward covers the rounding.
      const double units = bound * 10000.0;
      if (!(std::fabs(units) < 9e18)) return std::nullopt;
      const int64_t key =
          static_cast<int64_t>(upper ? std::ceil(units) + 1 : std::floor(units) - 1);
      std::vector<uint8_t> out(TBcd::kSize);
      TBcd::FromScaled(key).Encode(out.data());
      return out;
    }
    default:
      return std::nullopt;
  }
}

}  // namespace

std::optional<TIndexRange> FindIndexRange(const TExpToken& root,
                                          const std::vector<TFieldDescriptor>& fields,
                                          const std::vector<TIndexChoice>& indexes) {
  std::vector<TCondition> conditions;
  Conditions(root, conditions);
  std::optional<TIndexRange> best;
  int best_rank = 0;
  for (const TCondition& condition : conditions) {
    if (condition.Rank <= best_rank) continue;
    const TFieldDescriptor* field = nullptr;
    for (const TFieldDescriptor& f : fields) {
      if (f.FieldNumber == condition.Field) field = &f;
    }
    if (!field) continue;
    for (const TIndexChoice& choice : indexes) {
      const TIndexDescriptor& index = *choice.Descriptor;
      if (index.FieldCount == 0 || index.FieldNumbers[0] != condition.Field) continue;
      if (index.Descending || index.FieldDescending[0]) continue;
      TIndexRange range;
      range.Index = choice.Slot;
      if (condition.Low) range.Low = Encode(field->TypeCode, *condition.Low, false, range.Empty);
      if (condition.High) range.High = Encode(field->TypeCode, *condition.High, true, range.Empty);
      if (condition.Low && condition.High && *condition.Low > *condition.High) range.Empty = true;
      best = std::move(range);
      best_rank = condition.Rank;
      break;
    }
  }
  return best;
}

}  // namespace strata
