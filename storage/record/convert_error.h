// EConvertError: a text that does not stand for a value of the wanted type
// ("'12:75' is not a valid time"), or a number that does not fit.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace strata {

class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;

  // The message `pattern` with its one "%s" replaced by `text`.
  static EConvertError Format(std::string_view pattern, std::string_view text) {
    std::string message(pattern);
    if (size_t at = message.find("%s"); at != std::string::npos) {
      message.replace(at, 2, text);
    }
    return EConvertError(message);
  }
};

constexpr std::string_view kInvalidDate = "'%s' is not a valid date";
constexpr std::string_view kInvalidTime = "'%s' is not a valid time";
constexpr std::string_view kInvalidDateTime = "'%s' is not a valid date and time";
constexpr std::string_view kInvalidBoolean = "'%s' is not a valid boolean";
constexpr std::string_view kInvalidInteger = "'%s' is not a valid integer value";
constexpr std::string_view kInvalidFloat = "'%s' is not a valid floating point value";
constexpr std::string_view kInvalidBcd = "'%s' is not a valid BCD value";
constexpr std::string_view kBcdOverflow = "BCD overflow";

}  // namespace strata
