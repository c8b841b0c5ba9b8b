// Value texts: the text form of a field's default, minimum and maximum
// values as descriptors keep them, and their conversion to the field's
// encoding. Texts that do not parse raise EConvertError.
//
//  code       accepted text                              value
//  1          any text                                   the text
//  2          year-month-day, or CURRENT_DATE            day number
//  4          TRUE or FALSE                              1 or 0 (16-bit)
//  5, 6, 12   decimal integer in the type's range        the integer
//  7          decimal number                             double
//  8          decimal number                             BCD with the field's decimals
//  10         h:mm[:ss[.fff]] [AM|PM], or CURRENT_TIME   ms since midnight
//  11         date, blank, time; or CURRENT_TIMESTAMP,   ms since year 1 (double)
//             CURRENT_DATE (midnight), CURRENT_TIME (on day 0)
//  18         decimal 64-bit integer                     the integer
//
// Keywords ignore letter case. Other codes have no value texts.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storage/record/field_descriptor.h"
#include "storage/record/record_context.h"

namespace strata {

int32_t ParseDateText(std::string_view text);      // "'%s' is not a valid date"
int32_t ParseTimeText(std::string_view text);      // "'%s' is not a valid time"
double ParseTimestampText(std::string_view text);  // "'%s' is not a valid date and time"
bool ParseBooleanText(std::string_view text);      // "'%s' is not a valid boolean"
int64_t ParseIntegerText(std::string_view text, int64_t min, int64_t max);
double ParseFloatText(std::string_view text);

// The value texts of dates ("2026-12-08"; a day number outside the calendar
// as its number) and times ("13:05:00", with ".mmm" when the milliseconds
// are not 0), as the parsers above read them.
std::string DateText(int32_t day_number);
std::string TimeText(int32_t time_ms);

// The value `text` stands for, in the field type's encoding: data-size bytes,
// or for a string field the text itself (the set rules cut it). Raises
// EConvertError when the text does not parse or the type has no value texts.
std::vector<uint8_t> EncodeValueText(const TFieldDescriptor& field, std::string_view text);

// Whether `text` is empty or a valid value text of the field's type.
bool IsValidValueText(const TFieldDescriptor& field, std::string_view text);

// Sets the field from a value text by the set rules of record_buffer.h.
bool SetFieldFromText(const TFieldDescriptor& field, std::span<uint8_t> record,
                      std::string_view text, const TRecordContext& context);

}  // namespace strata
