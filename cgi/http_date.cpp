#include "cgi/http_date.h"

#include <cctype>
#include <cstdio>
#include <vector>

#include "cgi/errors.h"
#include "cgi/string_list.h"
#include "platform/windows1252.h"

namespace cgi {

using namespace platform::literals;

namespace {

const char* const kWeekdays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Splits a date text into words (letters), numbers (digits) and single
// punctuation characters; blanks only separate.
std::vector<std::string> Tokenize(const std::string& text) {
  std::vector<std::string> tokens;
  size_t i = 0;
  auto is_alpha = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
  auto is_digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
  while (i < text.size()) {
    char c = text[i];
    size_t start = i;
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    if (is_alpha(c)) {
      while (i < text.size() && is_alpha(text[i])) ++i;
    } else if (is_digit(c)) {
      while (i < text.size() && is_digit(text[i])) ++i;
    } else {
      ++i;
    }
    tokens.push_back(text.substr(start, i - start));
  }
  return tokens;
}

// Reads the tokens of one date text in order.
class DateReader {
 public:
  explicit DateReader(const std::string& text) : text_(text), tokens_(Tokenize(text)) {}

  const std::string& Current() const {
    static const std::string kEnd;
    return pos_ < tokens_.size() ? tokens_[pos_] : kEnd;
  }
  void Next() { ++pos_; }
  void SkipIf(const char* token) {
    if (Current() == token) Next();
  }
  // The month number (1..12) of the current token, 0 when it is none.
  int MonthOfCurrent() const {
    for (int m = 0; m < 12; ++m) {
      if (SameText(Current(), kMonths[m])) return m + 1;
    }
    return 0;
  }
  int TakeMonth() {
    int month = MonthOfCurrent();
    if (month == 0) Fail();
    Next();
    return month;
  }
  int TakeNumber() {
    const std::string& token = Current();
    if (token.empty()) Fail();
    if (token.size() > 9 || !std::isdigit(static_cast<unsigned char>(token[0]))) {
      RaiseInvalidInteger(token);
    }
    int value = std::stoi(token);
    Next();
    return value;
  }
  [[noreturn]] void Fail() const {
    throw EConvertError("'" + text_ + "' ist kein gültiges Datum"_w1252);
  }

 private:
  const std::string& text_;
  std::vector<std::string> tokens_;
  size_t pos_ = 0;
};

}  // namespace

TDateTime ParseHTTPDate(const std::string& text) {
  DateReader reader(text);
  // The weekday (or a header name followed by ":" and the weekday), then
  // the separator after it.
  reader.Next();
  reader.SkipIf(":");
  bool is_number =
      !reader.Current().empty() && std::isdigit(static_cast<unsigned char>(reader.Current()[0]));
  if (reader.MonthOfCurrent() == 0 && !is_number) reader.Next();
  reader.SkipIf(",");

  int year, month, day;
  auto take_time = [&reader](int& hour, int& minute, int& second) {
    hour = reader.TakeNumber();
    reader.SkipIf(":");
    minute = reader.TakeNumber();
    reader.SkipIf(":");
    second = reader.TakeNumber();
  };
  int hour, minute, second;
  if (reader.MonthOfCurrent() != 0) {
    // "Nov 6 08:49:37 1994"
    month = reader.TakeMonth();
    day = reader.TakeNumber();
    take_time(hour, minute, second);
    year = reader.TakeNumber();
  } else {
    // "06 Nov 1994 08:49:37" or "06-Nov-94 08:49:37"
    day = reader.TakeNumber();
    reader.SkipIf("-");
    month = reader.TakeMonth();
    reader.SkipIf("-");
    year = reader.TakeNumber();
    if (year < 100) year += 1900;
    take_time(hour, minute, second);
  }
  return EncodeDateTime(year, month, day, hour, minute, second);
}

std::string HTTPDateText(TDateTime value) {
  TDateTimeParts p = DecodeDateTime(value);
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kWeekdays[p.day_of_week],
                p.day, kMonths[p.month - 1], p.year, p.hour, p.minute, p.second);
  return text;
}

}  // namespace cgi
