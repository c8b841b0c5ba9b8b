// Splitting a query string into fields and decoding their URL escapes.
#pragma once

#include <string>
#include <string_view>

#include "cgi/string_list.h"

namespace cgi {

// Appends the decoded fields of `text` to `list`. Fields are separated by any
// character of `separators` and by CR and LF; characters of `white_space`,
// CR and LF are skipped at the start of a field; a NUL byte ends the text.
// A double quote opens a quoted stretch in which separators do not split: a
// quote that starts a field is dropped together with its closing quote (the
// text after the closing quote then starts a new field); otherwise both
// quotes stay and the character after the closing quote is skipped. Empty
// fields are skipped; every other field goes through DecodeURLText.
// Raises EConvertError for a bad percent escape.
void SplitFields(std::string_view separators, std::string_view white_space, std::string_view text,
                 TStringList& list);

// Plus and percent decoding: "+" gives a space, "%%" one "%", "%" and two hex
// digits the byte they denote. A "%" followed by anything else (also by fewer
// than two characters at the end of the text) raises the conversion error
// "'$xy' ist kein gültiger Integerwert" with the characters that follow it.
std::string DecodeURLText(std::string_view text);

}  // namespace cgi
