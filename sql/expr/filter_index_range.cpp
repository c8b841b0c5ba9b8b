#include "sql/expr/filter_index_range.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "storage/cursor/data_cursor.h"
#include "storage/index/index_key.h"
#include "storage/record/bcd.h"
#include "storage/record/date_time.h"

namespace strata {

namespace {

// One condition: the field, and the constants bounding it. A number
// field's bounds are numbers in the field's unit; a text field's are texts,
// turned into keys per index (their order is the index's order): the range
// runs from the lowest key of LowTexts to the highest of HighTexts.
struct TCondition {
  uint16_t Field = 0;
  int Rank = 0;  // 2 equality, IN or BETWEEN, 1 one-sided
  std::optional<double> Low;
  std::optional<double> High;
  bool Text = false;
  bool Upper = false;   // UPPER(field): only a case-insensitive index keys it
  bool Prefix = false;  // every text beginning with HighTexts[0]
  std::vector<std::string> LowTexts;
  std::vector<std::string> HighTexts;
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

std::optional<std::string> TextConstant(const TExpToken& constant) {
  const TExpValue& value = constant.Value;
  if (constant.Class != ncConstant || value.Null || value.Type != fldZSTRING) return std::nullopt;
  return value.Str;
}

bool IsFieldColumn(const TExpToken& node) { return node.Class == ncColumn && node.Source == 0; }

// The field a condition constrains: a field itself, or UPPER of a text field.
struct TOperand {
  const TExpToken* Column = nullptr;
  bool Upper = false;
};

std::optional<TOperand> OperandOf(const TExpToken& node) {
  if (IsFieldColumn(node)) return TOperand{&node, false};
  if (node.Class == ncFunction && node.Code == fnUpper && node.Args.size() == 1 &&
      IsFieldColumn(*node.Args[0]) && node.Args[0]->ResultType == fldZSTRING) {
    return TOperand{node.Args[0], true};
  }
  return std::nullopt;
}

// A condition before its constants are read: the operand, and the constants
// bounding it from below and from above.
struct TShape {
  TOperand Operand;
  std::vector<const TExpToken*> Low;
  std::vector<const TExpToken*> High;
  int Rank = 0;
  bool Prefix = false;  // LIKE 'text%' (the one constant is the pattern)
};

// A LIKE pattern that asks only for a prefix: longer than one character,
// ending in its only "%", without "_".
bool IsPrefixPattern(const std::string& pattern) {
  if (pattern.size() < 2 || pattern.back() != '%') return false;
  return pattern.find_first_of("%_") == pattern.size() - 1;
}

std::optional<TShape> PredicateShape(const TExpToken& node) {
  auto operand = OperandOf(*node.Left);
  if (!operand) return std::nullopt;
  TShape shape{*operand, {}, {}, 2, false};
  switch (node.Code) {
    case opBetween:
      shape.Low = {node.Args[0]};
      shape.High = {node.Args[1]};
      return shape;
    case opIn:
      if (node.Args.empty()) return std::nullopt;
      shape.Low.assign(node.Args.begin(), node.Args.end());
      shape.High = shape.Low;
      return shape;
    case opLike: {
      const auto pattern = TextConstant(*node.Args[0]);
      if (!pattern || !IsPrefixPattern(*pattern)) return std::nullopt;
      shape.Low = shape.High = {node.Args[0]};
      shape.Prefix = true;
      return shape;
    }
    default:
      return std::nullopt;
  }
}

std::optional<TShape> ComparisonShape(const TExpToken& node) {
  uint8_t op = node.Code;
  auto operand = OperandOf(*node.Left);
  const TExpToken* constant = node.Right;
  if (!operand) {
    operand = OperandOf(*node.Right);
    constant = node.Left;
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
  if (!operand) return std::nullopt;
  TShape shape{*operand, {}, {}, 1, false};
  switch (op) {
    case opEqual:
      shape.Low = shape.High = {constant};
      shape.Rank = 2;
      return shape;
    case opLess:
    case opLessEqual:
      shape.High = {constant};
      return shape;
    case opGreater:
    case opGreaterEqual:
      shape.Low = {constant};
      return shape;
    default:
      return std::nullopt;
  }
}

bool TextBounds(const std::vector<const TExpToken*>& constants, bool prefix,
                std::vector<std::string>& out) {
  for (const TExpToken* constant : constants) {
    auto text = TextConstant(*constant);
    if (!text) return false;
    if (prefix) text->pop_back();  // the "%"
    out.push_back(std::move(*text));
  }
  return true;
}

// The lowest (`upper`: highest) of the constants in the field's unit.
bool NumberBound(const std::vector<const TExpToken*>& constants, uint8_t type, bool upper,
                 std::optional<double>& out) {
  for (const TExpToken* constant : constants) {
    const std::optional<double> value = ConstantIn(*constant, type);
    if (!value) return false;
    if (!out || (upper ? *value > *out : *value < *out)) out = value;
  }
  return true;
}

std::optional<TCondition> ConditionOf(const TExpToken& node) {
  std::optional<TShape> shape;
  if (node.Class == ncPredicate) shape = PredicateShape(node);
  if (node.Class == ncBinary) shape = ComparisonShape(node);
  if (!shape) return std::nullopt;
  const uint8_t type = shape->Operand.Column->ResultType;
  TCondition condition;
  condition.Field = shape->Operand.Column->Column;
  condition.Rank = shape->Rank;
  if (type == fldZSTRING) {
    condition.Text = true;
    condition.Upper = shape->Operand.Upper;
    condition.Prefix = shape->Prefix;
    if (!TextBounds(shape->Low, shape->Prefix, condition.LowTexts) ||
        !TextBounds(shape->High, shape->Prefix, condition.HighTexts)) {
      return std::nullopt;
    }
    return condition;
  }
  if (!IndexableType(type) || shape->Operand.Upper || shape->Prefix) return std::nullopt;
  // A boolean range is no narrower than its equalities.
  if (type == fldBOOL &&
      (shape->Low.size() != 1 || shape->High.size() != 1 || shape->Low[0] != shape->High[0])) {
    return std::nullopt;
  }
  if (!NumberBound(shape->Low, type, false, condition.Low) ||
      !NumberBound(shape->High, type, true, condition.High)) {
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

// The range of a text condition in one index, bounded by the index's own
// key comparison; nullopt when the index cannot key the condition.
std::optional<TIndexRange> TextRange(const TCondition& condition, const TIndexChoice& choice) {
  const TIndexKeyFormat* format = choice.Format;
  if (format == nullptr || !format->FirstFieldIsText()) return std::nullopt;
  if (format->CaseInsensitive() != condition.Upper) return std::nullopt;
  const auto below = [format](const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    return format->Compare(a.data(), b.data(), TKeyLimit::FirstFields(1)) < 0;
  };
  TIndexRange range;
  range.Index = choice.Slot;
  range.Keys = true;
  for (const std::string& text : condition.LowTexts) {
    std::vector<uint8_t> key = format->TextKey(text);
    if (!range.Low || below(key, *range.Low)) range.Low = std::move(key);
  }
  // In the locale's order the texts beginning with a prefix have no highest
  // key to write down: a prefix then bounds the range from below only.
  if (!condition.Prefix || format->ComparesBytes()) {
    for (const std::string& text : condition.HighTexts) {
      std::vector<uint8_t> key = format->TextKey(text, condition.Prefix);
      if (!range.High || below(*range.High, key)) range.High = std::move(key);
    }
  }
  if (range.Low && range.High && below(*range.High, *range.Low)) range.Empty = true;
  return range;
}

std::optional<TIndexRange> NumberRange(const TCondition& condition, const TFieldDescriptor& field,
                                       const TIndexChoice& choice) {
  TIndexRange range;
  range.Index = choice.Slot;
  if (condition.Low) range.Low = Encode(field.TypeCode, *condition.Low, false, range.Empty);
  if (condition.High) range.High = Encode(field.TypeCode, *condition.High, true, range.Empty);
  if (condition.Low && condition.High && *condition.Low > *condition.High) range.Empty = true;
  return range;
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
    if (!field || (field->TypeCode == fldZSTRING) != condition.Text) continue;
    for (const TIndexChoice& choice : indexes) {
      const TIndexDescriptor& index = *choice.Descriptor;
      if (index.FieldCount == 0 || index.FieldNumbers[0] != condition.Field) continue;
      if (index.Descending || index.FieldDescending[0]) continue;
      std::optional<TIndexRange> range =
          condition.Text ? TextRange(condition, choice) : NumberRange(condition, *field, choice);
      if (!range) continue;
      best = std::move(range);
      best_rank = condition.Rank;
      break;
    }
  }
  return best;
}

void SetCursorRange(TDataCursor& cursor, const TIndexRange& range) {
  if (!range.Low && !range.High) {
    cursor.CancelRange();
    return;
  }
  if (range.Keys) {
    static const std::vector<uint8_t> kNone;
    const std::vector<uint8_t>& low = range.Low ? *range.Low : kNone;
    const std::vector<uint8_t>& high = range.High ? *range.High : kNone;
    cursor.SetRange(low, range.Low ? 1 : 0, high, range.High ? 1 : 0);
    return;
  }
  const TKeyFieldValue low =
      range.Low ? TKeyFieldValue{range.Low->data(), range.Low->size()} : TKeyFieldValue{};
  const TKeyFieldValue high =
      range.High ? TKeyFieldValue{range.High->data(), range.High->size()} : TKeyFieldValue{};
  if (range.Low && range.High && *range.Low == *range.High) {
    // An equality: one key serves as both ends.
    const std::vector<uint8_t> key = cursor.BuildKey(std::span(&low, 1));
    cursor.SetRange(key, 1, key, 1);
    return;
  }
  cursor.SetRange(std::span(&low, range.Low ? 1 : 0), std::span(&high, range.High ? 1 : 0));
}

}  // namespace strata
