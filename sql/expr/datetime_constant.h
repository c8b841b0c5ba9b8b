// The texts a string constant compared with (or added to) a date, time or
// timestamp is read in:
//   date       year "-" month "-" day, each a decimal integer
//   time       hours ":" minutes [":" seconds ["." milliseconds]], with an
//              optional AM or PM anywhere (letter case ignored; 12 AM is hour
//              0, PM adds 12 to hours other than 12)
//   timestamp  a date, blanks, a time; a text without a blank is a time when
//              it holds ":", else a date
// Surrounding blanks are ignored.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace strata {

std::optional<int32_t> ReadDateConstant(std::string_view text);  // day number
std::optional<int32_t> ReadTimeConstant(std::string_view text);  // ms since midnight
std::optional<double> ReadTimestampConstant(std::string_view text);

}  // namespace strata
