#include "sql/expr/sql_types.h"

#include <array>
#include <string_view>

#include "sql/expr/exp_messages.h"
#include "storage/record/field_descriptor.h"

namespace strata {

namespace {

enum TSizeForm : uint8_t { sfNone, sfLength, sfDecimal, sfBlob };

struct TTypeName {
  std::string_view Name;
  uint8_t TypeCode;
  uint8_t SubType;
  TSizeForm Form;
};

// clang-format off
constexpr std::array<TTypeName, 26> kTypeNames = {{
    {"SMALLINT", fldINT16, fldstNONE, sfNone},      {"WORD", fldUINT16, fldstNONE, sfNone},
    {"INTEGER", fldINT32, fldstNONE, sfNone},       {"INT", fldINT32, fldstNONE, sfNone},
    {"AUTOINC", fldINT32, fldstAUTOINC, sfNone},    {"LARGEINT", fldINT64, fldstNONE, sfNone},
    {"DECIMAL", fldBCD, fldstNONE, sfDecimal},      {"NUMERIC", fldBCD, fldstNONE, sfDecimal},
    {"FLOAT", fldFLOAT, fldstNONE, sfNone},         {"MONEY", fldFLOAT, fldstMONEY, sfNone},
    {"CHARACTER", fldZSTRING, fldstNONE, sfLength}, {"CHAR", fldZSTRING, fldstNONE, sfLength},
    {"VARCHAR", fldZSTRING, fldstNONE, sfLength},   {"BYTES", fldBYTES, fldstNONE, sfLength},
    {"BINARY", fldBYTES, fldstNONE, sfLength},      {"VARBYTES", fldVARBYTES, fldstNONE, sfLength},
    {"VARBINARY", fldVARBYTES, fldstNONE, sfLength},{"DATE", fldDATE, fldstNONE, sfNone},
    {"TIME", fldTIME, fldstNONE, sfNone},           {"TIMESTAMP", fldTIMESTAMP, fldstNONE, sfNone},
    {"BOOLEAN", fldBOOL, fldstNONE, sfNone},        {"BOOL", fldBOOL, fldstNONE, sfNone},
    {"BLOB", fldBLOB, fldstNONE, sfBlob},           {"LONGVARBINARY", fldBLOB, fldstNONE, sfNone},
    {"LONGVARCHAR", fldBLOB, fldstMEMO, sfNone},    {"MEMO", fldBLOB, fldstMEMO, sfNone},
}};
// clang-format on

constexpr TTypeName kGraphic = {"GRAPHIC", fldBLOB, fldstGRAPHIC, sfNone};

// An unsigned integer token, or nullopt (the caller words the error).
std::optional<uint32_t> IntegerToken(const TExpressionParser& tokens) {
  if (!tokens.IsToken(ttInteger)) return std::nullopt;
  uint64_t value = 0;
  for (char c : tokens.RawTokenText()) {
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > UINT32_MAX) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

// Reads "(" n ["," m] ")" when a "(" follows; returns how many numbers were read.
int ReadSizes(TExpressionParser& tokens, uint32_t& first, uint32_t& second) {
  if (!tokens.IsToken('(')) return 0;
  tokens.NextToken();
  auto value = IntegerToken(tokens);
  if (!value) tokens.Raise(msg::kTypeNameExpected, {tokens.TokenText()});
  first = *value;
  int count = 1;
  tokens.NextToken();
  if (tokens.IsToken(',')) {
    tokens.NextToken();
    value = IntegerToken(tokens);
    if (!value) tokens.Raise(msg::kTypeNameExpected, {tokens.TokenText()});
    second = *value;
    ++count;
    tokens.NextToken();
  }
  if (!tokens.IsToken(')')) tokens.Raise(msg::kRightParenExpected, {tokens.TokenText()});
  tokens.NextToken();
  return count;
}

}  // namespace

std::optional<uint8_t> BlobSubTypeOf(int blob_type) {
  switch (blob_type) {
    case 1:
      return fldstMEMO;
    case 2:
      return fldstNONE;
    case 3:
      return fldstFMTMEMO;
    case 5:
      return fldstGRAPHIC;
    case 7:
      return fldstTYPEDBINARY;
    default:
      return std::nullopt;
  }
}

TSqlType ParseSqlType(TExpressionParser& tokens) {
  const TTypeName* found = nullptr;
  if (tokens.IsToken(ttSymbol)) {
    for (const TTypeName& entry : kTypeNames) {
      if (tokens.TokenIsKeyword(entry.Name)) {
        found = &entry;
        break;
      }
    }
    if (!found && tokens.TokenIsKeyword(kGraphic.Name)) found = &kGraphic;
  }
  if (!found) tokens.Raise(msg::kTypeNameExpected, {tokens.TokenText()});
  TSqlType type;
  type.TypeCode = found->TypeCode;
  type.SubType = found->SubType;
  tokens.NextToken();
  uint32_t first = 0;
  uint32_t second = 0;
  switch (found->Form) {
    case sfNone:
      break;
    case sfLength:
      if (ReadSizes(tokens, first, second) > 0)
        type.Size = static_cast<uint16_t>(std::min<uint32_t>(first, 65535));
      break;
    case sfDecimal: {
      const int count = ReadSizes(tokens, first, second);
      if (count > 0) type.Precision = static_cast<uint16_t>(std::min<uint32_t>(first, 65535));
      if (count > 1) type.Scale = static_cast<uint8_t>(std::min<uint32_t>(second, 255));
      break;
    }
    case sfBlob: {
      const int count = ReadSizes(tokens, first, second);
      if (count > 0) type.BlobBlockSize = first;
      if (count > 1) {
        type.BlobType = static_cast<int>(std::min<uint32_t>(second, 1000));
        if (auto subtype = BlobSubTypeOf(type.BlobType)) type.SubType = *subtype;
      }
      break;
    }
  }
  return type;
}

}  // namespace strata
