#include "sql/expr/exp_value.h"

#include <cmath>

namespace strata {

bool IsWholeType(uint8_t type) {
  return type == fldINT16 || type == fldINT32 || type == fldUINT16 || type == fldINT64;
}

bool IsNumericType(uint8_t type) { return IsWholeType(type) || type == fldFLOAT || type == fldBCD; }

bool IsStringType(uint8_t type, uint8_t subtype) {
  return type == fldZSTRING || (type == fldBLOB && subtype == fldstMEMO);
}

bool IsDateTimeType(uint8_t type) {
  return type == fldDATE || type == fldTIME || type == fldTIMESTAMP;
}

double NumericAsDouble(const TExpValue& value) {
  if (value.Type == fldFLOAT || value.Type == fldBCD || value.Type == fldTIMESTAMP) {
    return value.Float;
  }
  return static_cast<double>(value.Int);
}

int64_t NumericAsInt(const TExpValue& value) {
  if (value.Type == fldFLOAT || value.Type == fldBCD || value.Type == fldTIMESTAMP) {
    const double truncated = std::trunc(value.Float);
    if (!(truncated >= -9.2e18 && truncated <= 9.2e18))
      return truncated < 0 ? INT64_MIN : INT64_MAX;
    return static_cast<int64_t>(truncated);
  }
  return value.Int;
}

}  // namespace strata
