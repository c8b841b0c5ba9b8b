// Field values as text, both ways, for tools and tests: the value texts of
// each type (as defaults, minimums and maximums are written), hexadecimal
// digits for the raw byte types.
//
//  code              text
//  1                 the characters
//  2                 year-month-day, e.g. 2024-05-31
//  4                 TRUE or FALSE
//  5, 6, 12, 13, 18  decimal integer (auto-increment: the row number)
//  7                 shortest decimal form that reads back as the same double
//  8                 decimal with the field's places
//  10                hh:mm:ss, with .zzz when there are milliseconds
//  11                date, a blank, time
//  9, 14, 15         two hexadecimal digits per data byte
// Blob fields (3) and the structured kinds have no text here.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storage/record/field_descriptor.h"
#include "storage/record/record_context.h"

namespace strata {

// The field's value as text; nullopt when it is blank or has no text form.
std::optional<std::string> FormatFieldText(const TFieldDescriptor& field,
                                           std::span<const uint8_t> record,
                                           const TRecordContext& context);

// The value a text stands for, in the form SetField takes (a string field:
// its characters). Raises EConvertError when the text does not parse or the
// type has no text form.
std::vector<uint8_t> ParseFieldText(const TFieldDescriptor& field, std::string_view text);

// Whether the type has a text form here.
bool HasFieldText(const TFieldDescriptor& field);

}  // namespace strata
