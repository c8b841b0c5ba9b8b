#include "sql/expr/functions.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "sql/expr/exp_messages.h"
#include "sql/expr/string_compare.h"
#include "storage/record/convert_error.h"
#include "storage/record/date_time.h"
#include "storage/record/value_text.h"

namespace strata {

void TTypeScope::Raise(std::string_view pattern,
                       std::initializer_list<std::string_view> values) const {
  RaiseSqlError(Target ? *Target : TSqlErrorTarget{}, FormatMessage(pattern, values));
}

namespace {

// ---- Type checks ------------------------------------------------------------

bool Untyped(const TExpToken& node) {
  return node.ResultType == fldUNKNOWN || node.Class == ncParameter;
}
bool StringArg(const TExpToken& node) {
  return Untyped(node) || IsStringType(node.ResultType, node.ResultSubType);
}
bool WholeArg(const TExpToken& node) { return Untyped(node) || IsWholeType(node.ResultType); }

std::string_view FunctionName(const TExpToken& node) { return node.Text; }

void SetType(TExpToken& node, uint8_t type, uint8_t subtype = fldstNONE, uint16_t size = 0,
             uint8_t scale = 0) {
  node.ResultType = type;
  node.ResultSubType = subtype;
  node.Size = size;
  node.Scale = scale;
}

void CopyType(TExpToken& node, const TExpToken& from) {
  SetType(node, from.ResultType, from.ResultSubType, from.Size, from.Scale);
}

// IF, IFNULL, COALESCE: the branches must agree as "=" operands would.
void CheckAlternatives(TExpToken& node, size_t first, const TTypeScope& scope) {
  const TExpToken* typed = nullptr;
  for (size_t i = first; i < node.Args.size(); ++i) {
    const TExpToken& arg = *node.Args[i];
    if (Untyped(arg)) continue;
    if (!typed) {
      typed = &arg;
      continue;
    }
    const bool strings = StringArg(*typed) && StringArg(arg);
    const bool numbers = IsNumericType(typed->ResultType) && IsNumericType(arg.ResultType);
    if (!strings && !numbers && typed->ResultType != arg.ResultType) {
      scope.Raise(msg::kTypeMismatch,
                  {NodeKindName(*typed), typed->Text, NodeKindName(arg), arg.Text, scope.Context});
    }
  }
  if (typed) {
    CopyType(node, *typed);
    for (size_t i = first; i < node.Args.size(); ++i) {
      const TExpToken& arg = *node.Args[i];
      if (Untyped(arg)) continue;
      if (IsNumericType(arg.ResultType) && IsNumericType(node.ResultType) &&
          arg.ResultType == fldFLOAT) {
        node.ResultType = fldFLOAT;
      }
      node.Size = std::max(node.Size, arg.Size);
    }
  } else {
    SetType(node, fldUNKNOWN);
  }
}

}  // namespace

void CheckFunctionTypes(TExpToken& node, const TTypeScope& scope) {
  const std::string_view name = FunctionName(node);
  const auto& args = node.Args;
  switch (node.Code) {
    case fnLower:
    case fnUpper:
      if (!StringArg(*args[0])) scope.Raise(msg::kArgumentMustBeString, {name, scope.Context});
      CopyType(node, *args[0]);
      if (Untyped(*args[0])) SetType(node, fldZSTRING);
      return;
    case fnLength:
      if (!StringArg(*args[0])) scope.Raise(msg::kFunctionArgumentMismatch, {name, scope.Context});
      SetType(node, fldINT32);
      return;
    case fnSubstring:
      if (!StringArg(*args[0])) scope.Raise(msg::kArgumentMustBeString, {name, scope.Context});
      if (!WholeArg(*args[1])) {
        scope.Raise(msg::kNamedArgumentMustBeInteger, {"FROM", name, scope.Context});
      }
      if (args.size() > 2 && !WholeArg(*args[2])) {
        scope.Raise(msg::kNamedArgumentMustBeInteger, {"FOR", name, scope.Context});
      }
      SetType(node, fldZSTRING, fldstNONE, std::max<uint16_t>(args[0]->Size, 2));
      return;
    case fnReplace:
      if (!StringArg(*args[0]))
        scope.Raise(msg::kNamedArgumentMustBeString, {"Search", name, scope.Context});
      if (!StringArg(*args[1]))
        scope.Raise(msg::kNamedArgumentMustBeString, {"WITH", name, scope.Context});
      if (!StringArg(*args[2]))
        scope.Raise(msg::kNamedArgumentMustBeString, {"IN", name, scope.Context});
      SetType(node, fldZSTRING, fldstNONE, 256);
      return;
    case fnPos:
    case fnOccurs:
      if (!StringArg(*args[0]))
        scope.Raise(msg::kNamedArgumentMustBeString, {"Search", name, scope.Context});
      if (!StringArg(*args[1]))
        scope.Raise(msg::kNamedArgumentMustBeString, {"IN", name, scope.Context});
      SetType(node, fldINT32);
      return;
    case fnCast: {
      const TExpToken& arg = *args[0];
      const uint8_t target = node.ResultType;
      const bool from_blob = arg.ResultType == fldBLOB && !StringArg(arg);
      const bool to_number = IsNumericType(target) || IsDateTimeType(target) || target == fldBOOL;
      if (from_blob && to_number) scope.Raise(msg::kCastMismatch, {scope.Context});
      if (target == fldZSTRING && node.Size == 0) node.Size = 255;
      if (target == fldZSTRING) node.Size = static_cast<uint16_t>(node.Size + 1);
      return;
    }
    case fnTrim: {
      const TExpToken& character = *args[0];
      const bool single = character.Class == ncConstant && character.ResultType == fldZSTRING &&
                          character.Value.Str.size() == 1;
      if (!single) scope.Raise(msg::kTrimCharacter, {scope.Context});
      if (!StringArg(*args[1])) scope.Raise(msg::kArgumentMustBeString, {name, scope.Context});
      CopyType(node, *args[1]);
      if (Untyped(*args[1])) SetType(node, fldZSTRING);
      return;
    }
    case fnExtract:
      if (!Untyped(*args[0]) && !IsDateTimeType(args[0]->ResultType)) {
        scope.Raise(msg::kArgumentMustBeDateTime, {name, scope.Context});
      }
      SetType(node, fldINT32);
      return;
    case fnAbs:
      if (!Untyped(*args[0]) && !IsNumericType(args[0]->ResultType)) {
        scope.Raise(msg::kArgumentMustBeNumeric, {name, scope.Context});
      }
      CopyType(node, *args[0]);
      return;
    case fnRound: {
      const TExpToken& arg = *args[0];
      if (!Untyped(arg) && arg.ResultType != fldFLOAT && arg.ResultType != fldBCD) {
        scope.Raise(msg::kArgumentMustBeFloatOrBcd, {name, scope.Context});
      }
      if (args.size() > 1) {
        const TExpToken& places = *args[1];
        const bool valid = places.Class == ncConstant && IsWholeType(places.ResultType) &&
                           places.Value.Int >= 0 && places.Value.Int <= 32;
        if (!valid) scope.Raise(msg::kRoundPlaces, {scope.Context});
      }
      CopyType(node, arg);
      return;
    }
    case fnIf:
      if (!Untyped(*args[0]) && args[0]->ResultType != fldBOOL) {
        scope.Raise(msg::kFirstArgumentMustBeBoolean, {name, scope.Context});
      }
      CheckAlternatives(node, 1, scope);
      return;
    case fnIfNull:
      CheckAlternatives(node, 1, scope);
      return;
    case fnCoalesce:
      CheckAlternatives(node, 0, scope);
      return;
    case fnTextSearch:
    case fnTextOccurs: {
      const TExpToken& text = *args[0];
      if (text.Class != ncConstant || text.ResultType != fldZSTRING) {
        scope.Raise(msg::kTextSearchText, {name, scope.Context});
      }
      if (args[1]->Class != ncColumn) scope.Raise(msg::kTextSearchColumn, {name, scope.Context});
      SetType(node, node.Code == fnTextSearch ? fldBOOL : fldUINT16);
      return;
    }
    case fnLastAutoInc: {
      const TExpToken& table = *args[0];
      const bool constant =
          table.FromString || (table.Class == ncConstant && table.ResultType == fldZSTRING);
      if (!constant) scope.Raise(msg::kLastAutoIncTable, {name, scope.Context});
      if (table.FromString) {
        // A table name that happens to be a column name stays a name.
        TExpToken& arg = *args[0];
        arg.Class = ncConstant;
        arg.Value.SetString(arg.ColumnName);
        SetType(arg, fldZSTRING);
      }
      SetType(node, fldINT32);
      return;
    }
    default:
      return;
  }
}

namespace {

// ---- Evaluation --------------------------------------------------------------

// Words of a text for the full-text functions: runs of letters and digits,
// compared without regard to ASCII letter case.
bool NextWord(std::string_view text, size_t& pos, std::string_view& word) {
  auto is_word = [](unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 128;
  };
  while (pos < text.size() && !is_word(static_cast<unsigned char>(text[pos]))) ++pos;
  const size_t start = pos;
  while (pos < text.size() && is_word(static_cast<unsigned char>(text[pos]))) ++pos;
  word = text.substr(start, pos - start);
  return !word.empty();
}

bool SameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// How often the search text's words occur in order in `text`.
int64_t CountPhrase(std::string_view phrase, std::string_view text) {
  std::vector<std::string_view> words;
  size_t pos = 0;
  std::string_view word;
  while (NextWord(phrase, pos, word)) words.push_back(word);
  if (words.empty()) return 0;
  std::vector<std::string_view> found;
  pos = 0;
  while (NextWord(text, pos, word)) found.push_back(word);
  int64_t count = 0;
  for (size_t i = 0; i + words.size() <= found.size(); ++i) {
    bool match = true;
    for (size_t j = 0; j < words.size() && match; ++j) match = SameWord(found[i + j], words[j]);
    if (match) ++count;
  }
  return count;
}

std::string FormatNumber(double value) {
  char text[40];
  auto [end, error] = std::to_chars(text, text + sizeof text, value);
  if (error != std::errc()) return "0";
  return std::string(text, end);
}

// The value as text, as CAST to a string gives it.
std::string ValueText(const TExpValue& value) {
  switch (value.Type) {
    case fldZSTRING:
    case fldBLOB:
    case fldBYTES:
    case fldVARBYTES:
      return value.Str;
    case fldBOOL:
      return value.Int != 0 ? "TRUE" : "FALSE";
    case fldDATE:
      return DateText(static_cast<int32_t>(value.Int));
    case fldTIME:
      return TimeText(static_cast<int32_t>(value.Int));
    case fldTIMESTAMP: {
      int32_t day = 0;
      int32_t time = 0;
      SplitTimestamp(value.Float, day, time);
      return DateText(day) + " " + TimeText(time);
    }
    case fldFLOAT:
    case fldBCD:
      return FormatNumber(value.Float);
    default:
      return std::to_string(value.Int);
  }
}

void Cast(TExpToken& node, const TExpValue& from) {
  TExpValue& out = node.Value;
  const uint8_t target = node.ResultType;
  if (from.Null) return out.SetNull(target);
  const bool from_text = from.Type == fldZSTRING || from.Type == fldBLOB;
  switch (target) {
    case fldZSTRING:
      out.SetString(ValueText(from));
      if (node.Size > 0 && out.Str.size() > node.Size - 1u) out.Str.resize(node.Size - 1u);
      return;
    case fldBLOB:
    case fldBYTES:
    case fldVARBYTES:
      out.SetString(ValueText(from));
      out.Type = target;
      out.SubType = node.ResultSubType;
      return;
    case fldBOOL:
      if (from_text) return out.SetBoolean(ParseBooleanText(from.Str));
      return out.SetBoolean(from.Type == fldFLOAT ? from.Float != 0 : from.Int != 0);
    case fldDATE:
      if (from_text) return out.SetInt(target, ParseDateText(from.Str));
      if (from.Type == fldTIMESTAMP) {
        int32_t day = 0, time = 0;
        SplitTimestamp(from.Float, day, time);
        return out.SetInt(target, day);
      }
      return out.SetInt(target, NumericAsInt(from));
    case fldTIME:
      if (from_text) return out.SetInt(target, ParseTimeText(from.Str));
      if (from.Type == fldTIMESTAMP) {
        int32_t day = 0, time = 0;
        SplitTimestamp(from.Float, day, time);
        return out.SetInt(target, time);
      }
      return out.SetInt(target, NumericAsInt(from));
    case fldTIMESTAMP:
      if (from_text) return out.SetFloat(target, ParseTimestampText(from.Str));
      if (from.Type == fldDATE)
        return out.SetFloat(target, MakeTimestamp(static_cast<int32_t>(from.Int), 0));
      if (from.Type == fldTIME)
        return out.SetFloat(target, MakeTimestamp(0, static_cast<int32_t>(from.Int)));
      return out.SetFloat(target, NumericAsDouble(from));
    case fldFLOAT:
    case fldBCD:
      if (from_text) return out.SetFloat(target, ParseFloatText(from.Str));
      return out.SetFloat(target, NumericAsDouble(from));
    default:  // whole numbers
      if (from_text) return out.SetInt(target, ParseIntegerText(from.Str, INT64_MIN, INT64_MAX));
      return out.SetInt(target, NumericAsInt(from));
  }
}

int64_t Extract(uint8_t part, const TExpValue& value) {
  int32_t day = 0;
  int32_t time = 0;
  if (value.Type == fldDATE) day = static_cast<int32_t>(value.Int);
  if (value.Type == fldTIME) time = static_cast<int32_t>(value.Int);
  if (value.Type == fldTIMESTAMP) SplitTimestamp(value.Float, day, time);
  TCalendarDate date;
  TryDecodeDate(day, date);
  const TTimeOfDay clock = DecodeTime(time);
  int32_t first_of_year = 0;
  TryEncodeDate(date.year, 1, 1, first_of_year);
  const int64_t day_of_year = day - first_of_year + 1;
  switch (part) {
    case xpYear:
      return date.year;
    case xpMonth:
      return date.month;
    case xpWeek:
      return (day_of_year - 1) / 7 + 1;
    case xpDay:
      return date.day;
    case xpDayOfWeek:
      return day % 7 + 1;  // 1 Sunday .. 7 Saturday (day 1 was a Monday)
    case xpDayOfYear:
      return day_of_year;
    case xpHour:
      return clock.Hour;
    case xpMinute:
      return clock.Minute;
    default:
      return clock.Second;
  }
}

void CopyValue(TExpValue& out, const TExpValue& from, uint8_t type) {
  out.Type = from.Null ? type : from.Type;
  out.SubType = from.SubType;
  out.Null = from.Null;
  out.Int = from.Int;
  out.Float = from.Float;
  out.Str.assign(from.Str);
  // A whole-number branch of a float result becomes a float.
  if (!from.Null && type == fldFLOAT && from.Type != fldFLOAT) {
    out.Float = NumericAsDouble(from);
    out.Type = fldFLOAT;
  }
}

}  // namespace

void EvaluateFunction(TExpToken& node, TEvalContext& context) {
  TExpValue& out = node.Value;
  const auto& args = node.Args;
  const uint8_t type = node.ResultType;
  switch (node.Code) {
    case fnLower:
    case fnUpper: {
      const TExpValue& s = Evaluate(*args[0], context);
      if (s.Null) return out.SetNull(type);
      out.Type = fldZSTRING;
      out.SubType = fldstNONE;
      out.Null = false;
      MapCase(out.Str, s.Str, node.Code == fnUpper, context.LocaleId);
      return;
    }
    case fnLength: {
      const TExpValue& s = Evaluate(*args[0], context);
      if (s.Null) return out.SetNull(type);
      return out.SetInt(fldINT32, static_cast<int64_t>(s.Str.size()));
    }
    case fnSubstring: {
      const TExpValue& s = Evaluate(*args[0], context);
      const TExpValue& start = Evaluate(*args[1], context);
      if (s.Null || start.Null) return out.SetNull(type);
      const int64_t size = static_cast<int64_t>(s.Str.size());
      int64_t first = NumericAsInt(start);
      int64_t last = size;  // one past the last position, 1-based
      if (args.size() > 2) {
        const TExpValue& length = Evaluate(*args[2], context);
        if (length.Null) return out.SetNull(type);
        const int64_t count = NumericAsInt(length);
        last = count < 0 ? first : std::min(size, first + std::min<int64_t>(count, size + 1) - 1);
        last = std::max(last, first - 1);
      }
      first = std::max<int64_t>(first, 1);
      out.Type = fldZSTRING;
      out.SubType = fldstNONE;
      out.Null = false;
      if (last < first) {
        out.Str.clear();
      } else {
        out.Str.assign(s.Str, static_cast<size_t>(first - 1),
                       static_cast<size_t>(last - first + 1));
      }
      return;
    }
    case fnReplace: {
      const TExpValue& search = Evaluate(*args[0], context);
      const TExpValue& replacement = Evaluate(*args[1], context);
      const TExpValue& s = Evaluate(*args[2], context);
      if (s.Null) return out.SetNull(type);
      out.Type = fldZSTRING;
      out.SubType = fldstNONE;
      out.Null = false;
      out.Str.clear();
      if (search.Null || search.Str.empty()) {
        out.Str.assign(s.Str);
        return;
      }
      size_t at = 0;
      for (;;) {
        const size_t next = s.Str.find(search.Str, at);
        if (next == std::string::npos) break;
        out.Str.append(s.Str, at, next - at);
        if (!replacement.Null) out.Str.append(replacement.Str);
        at = next + search.Str.size();
      }
      out.Str.append(s.Str, at, std::string::npos);
      return;
    }
    case fnPos:
    case fnOccurs: {
      const TExpValue& search = Evaluate(*args[0], context);
      const TExpValue& s = Evaluate(*args[1], context);
      if (search.Null || s.Null) return out.SetNull(type);
      if (node.Code == fnPos) {
        const size_t at = s.Str.find(search.Str);
        return out.SetInt(fldINT32, at == std::string::npos ? 0 : static_cast<int64_t>(at) + 1);
      }
      int64_t count = 0;
      if (!search.Str.empty()) {
        for (size_t at = s.Str.find(search.Str); at != std::string::npos;
             at = s.Str.find(search.Str, at + search.Str.size())) {
          ++count;
        }
      }
      return out.SetInt(fldINT32, count);
    }
    case fnCast:
      try {
        Cast(node, Evaluate(*args[0], context));
      } catch (const EConvertError& error) {
        RaiseSqlError(error.what());
      }
      return;
    case fnTrim: {
      const char c = args[0]->Value.Str[0];
      const TExpValue& s = Evaluate(*args[1], context);
      if (s.Null) return out.SetNull(type);
      size_t first = 0;
      size_t last = s.Str.size();
      if (node.Part != tpTrailing) {
        while (first < last && s.Str[first] == c) ++first;
      }
      if (node.Part != tpLeading) {
        while (last > first && s.Str[last - 1] == c) --last;
      }
      out.Type = fldZSTRING;
      out.SubType = fldstNONE;
      out.Null = false;
      out.Str.assign(s.Str, first, last - first);
      return;
    }
    case fnExtract: {
      const TExpValue& x = Evaluate(*args[0], context);
      if (x.Null) return out.SetNull(type);
      return out.SetInt(fldINT32, Extract(node.Part, x));
    }
    case fnAbs: {
      const TExpValue& x = Evaluate(*args[0], context);
      if (x.Null) return out.SetNull(type);
      if (x.Type == fldFLOAT || x.Type == fldBCD) return out.SetFloat(x.Type, std::fabs(x.Float));
      return out.SetInt(x.Type,
                        x.Int < 0 ? static_cast<int64_t>(0 - static_cast<uint64_t>(x.Int)) : x.Int);
    }
    case fnRound: {
      const TExpValue& x = Evaluate(*args[0], context);
      if (x.Null) return out.SetNull(type);
      const int places = args.size() > 1 ? static_cast<int>(args[1]->Value.Int) : 0;
      const double scale = std::pow(10.0, places);
      const double value = NumericAsDouble(x);
      double rounded = std::round(value * scale) / scale;
      if (!std::isfinite(rounded)) rounded = value;
      return out.SetFloat(x.Type == fldBCD ? fldBCD : fldFLOAT, rounded);
    }
    case fnIf: {
      const bool condition = Evaluate(*args[0], context).IsTrue();
      return CopyValue(out, Evaluate(*args[condition ? 1 : 2], context), type);
    }
    case fnIfNull: {
      const bool null = Evaluate(*args[0], context).Null;
      return CopyValue(out, Evaluate(*args[null ? 1 : 2], context), type);
    }
    case fnCoalesce:
      for (TExpToken* arg : args) {
        const TExpValue& value = Evaluate(*arg, context);
        if (!value.Null) return CopyValue(out, value, type);
      }
      return out.SetNull(type);
    case fnTextSearch:
    case fnTextOccurs: {
      const TExpValue& text = Evaluate(*args[1], context);
      const int64_t count = text.Null ? 0 : CountPhrase(args[0]->Value.Str, text.Str);
      if (node.Code == fnTextSearch) return out.SetBoolean(count > 0);
      return out.SetInt(fldUINT16, std::min<int64_t>(count, 65535));
    }
    case fnLastAutoInc: {
      const TExpValue& table = Evaluate(*args[0], context);
      std::optional<int64_t> value;
      if (context.Rows && !table.Null) value = context.Rows->LastAutoInc(table.Str);
      if (!value) RaiseSqlError(msg::kIllegalLastAutoInc);
      return out.SetInt(fldINT32, *value);
    }
    default:
      out.SetNull(type);
      return;
  }
}

}  // namespace strata
