// TExpValue: one typed value of an expression with its NULL flag. The type
// is a field type code (fldZSTRING, fldINT32, ...; fldUNKNOWN for the untyped
// NULL); which member carries the value depends on it:
//   Int    boolean (-1 true, 0 false), smallint, integer, word, largeint,
//          date (day number), time (milliseconds since midnight)
//   Float  float, money, BCD (its value as a double), timestamp (ms since year 1)
//   Str    string, memo (blob of the memo subtype), other blobs, bytes
// A value keeps its string's capacity when overwritten, so evaluating row
// after row into the same value allocates nothing once it has grown.
#pragma once

#include <cstdint>
#include <string>

#include "storage/record/field_descriptor.h"

namespace strata {

constexpr int64_t kSqlTrue = -1;
constexpr int64_t kSqlFalse = 0;

struct TExpValue {
  uint8_t Type = fldUNKNOWN;
  uint8_t SubType = fldstNONE;
  bool Null = true;
  int64_t Int = 0;
  double Float = 0;
  std::string Str;

  void SetNull(uint8_t type = fldUNKNOWN) {
    Type = type;
    Null = true;
  }
  void SetBoolean(bool value) {
    Type = fldBOOL;
    SubType = fldstNONE;
    Null = false;
    Int = value ? kSqlTrue : kSqlFalse;
  }
  void SetInt(uint8_t type, int64_t value) {
    Type = type;
    SubType = fldstNONE;
    Null = false;
    Int = value;
  }
  void SetFloat(uint8_t type, double value) {
    Type = type;
    SubType = fldstNONE;
    Null = false;
    Float = value;
  }
  void SetString(std::string_view value) {
    Type = fldZSTRING;
    SubType = fldstNONE;
    Null = false;
    Str.assign(value.data(), value.size());
  }
  // True only for a non-NULL true boolean (a NULL boolean counts as false).
  bool IsTrue() const { return !Null && Int != 0; }
};

// Type classes of the operand rules.
bool IsWholeType(uint8_t type);                    // smallint, integer, word, largeint
bool IsNumericType(uint8_t type);                  // the whole types, float, BCD
bool IsStringType(uint8_t type, uint8_t subtype);  // string, or a memo blob
bool IsDateTimeType(uint8_t type);                 // date, time, timestamp

// The value as a double / 64-bit integer (numeric, date and time types).
double NumericAsDouble(const TExpValue& value);
int64_t NumericAsInt(const TExpValue& value);

}  // namespace strata
