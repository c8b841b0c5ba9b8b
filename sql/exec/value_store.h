// Storing an expression's value into a field of a cursor's record buffer,
// converted to the field's type:
//
//   value            field                 stored
//   NULL             any                   blank
//   ''               string, blob          blank
//   string           string                the text, cut to the field's width
//   any other        string, memo          its value text
//   number, boolean  number               the number (rounded for whole fields)
//   string           number, boolean,      read as a value text of the type
//                    date, time, stamp
//   date, stamp      date, time, stamp     the part that fits the field
//   string, bytes    blob, bytes           the bytes
//
// Every other pair cannot be converted.
#pragma once

#include <cstdint>

#include "sql/expr/exp_value.h"

namespace strata {

class TDataCursor;

// False when the value cannot be converted to the field's type (nothing is
// stored); storage errors (a value out of the field's range) propagate.
bool StoreValue(TDataCursor& cursor, uint16_t field, const TExpValue& value);

// The value text of a non-NULL value (numbers in decimal, booleans TRUE or
// FALSE, dates and times as their value texts).
std::string ValueText(const TExpValue& value);

}  // namespace strata
