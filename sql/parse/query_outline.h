// A readable outline of a parsed statement: one line per part, expressions
// quoted as written. The parser's script tests compare it; it also serves
// for diagnostics.
//
//   SELECT
//     item: id
//     source 1: Visitor AS Visitor
//     where: (request = 'x') and (LastReq > 'y')
#pragma once

#include <string>
#include <string_view>

#include "sql/parse/parsed_statement.h"

namespace strata {

// The master query of `statement` (with its UNION members, INSERT source
// and sub-selects), whose texts stand in `text`.
std::string QueryOutline(const TParsedStatement& statement, std::string_view text);

}  // namespace strata
