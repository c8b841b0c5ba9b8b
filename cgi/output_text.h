// Text made fit for the CGI output: a value that goes into a header line,
// and text that goes into an HTML page.
#pragma once

#include <string>
#include <string_view>

namespace cgi {

// `text` with every control byte (below 32, and DEL) turned into a blank, so
// that it stays on one header line: a CR or LF in it can never end the line
// and start a header of its own. Other bytes are kept as they are.
std::string HeaderLineText(std::string_view text);

// `text` with "&", "<", ">" and the double quote written as the HTML
// entities "&amp;", "&lt;", "&gt;" and "&quot;", so that it shows as text in
// a page and inside a quoted attribute. Other bytes are kept as they are.
std::string EscapeHTML(std::string_view text);

}  // namespace cgi
