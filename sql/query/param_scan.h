// The parameter scan of a query's text: ":name" outside quotes marks a
// parameter and becomes "?", "::" outside quotes stands for one ":".
//
// Quoting: every single quote, double quote or backquote switches one
// quoting state on or off, whichever of the three it is (so 'it"s' leaves
// the state on). A name runs from after its colon to the next blank, comma,
// semicolon, ")", CR or LF met while the state is off; quotes inside the
// name switch the state as they do elsewhere, and a quote at the start or
// end of a quoted name is not part of it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sql/query/strata_query.h"

namespace strata {

struct TParamScan {
  std::string Text;                 // the text with "?" for each parameter
  std::vector<TQueryParam> Params;  // one per marker, in text order
};

// Scans `text`; a parameter whose name (letter case ignored) is among
// `previous` takes over its value.
TParamScan ScanParameters(std::string_view text, const std::vector<TQueryParam>& previous);

}  // namespace strata
