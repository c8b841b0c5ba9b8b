#include "sql/query/param_scan.h"

#include <array>

#include "storage/engine_names.h"

namespace strata {
namespace {

bool IsQuote(char c) { return c == '\'' || c == '"' || c == '`'; }

// The characters the scan stops at: the quotes and the colon.
constexpr std::array<bool, 256> kStops = [] {
  std::array<bool, 256> stops{};
  for (unsigned char c : {'\'', '"', '`', ':'}) stops[c] = true;
  return stops;
}();

bool EndsName(char c) {
  return c == ' ' || c == ',' || c == ';' || c == ')' || c == '\r' || c == '\n';
}

// A quoted name loses the quote at its start and the one at its end.
std::string BareName(std::string name) {
  if (name.empty() || !IsQuote(name.front())) return name;
  name.erase(0, 1);
  if (!name.empty() && IsQuote(name.back())) name.pop_back();
  return name;
}

}  // namespace

TParamScan ScanParameters(std::string_view text, const std::vector<TQueryParam>& previous) {
  TParamScan scan;
  scan.Text.reserve(text.size());
  bool quoted = false;
  size_t i = 0;
  size_t run = 0;  // start of the text not yet copied; copied in runs
  while (i < text.size()) {
    // The text between quotes and colons is passed over in one tight loop.
    while (i < text.size() && !kStops[static_cast<unsigned char>(text[i])]) ++i;
    if (i == text.size()) break;
    const char c = text[i];
    if (IsQuote(c)) {
      quoted = !quoted;
    } else if (c == ':' && !quoted) {
      scan.Text.append(text.substr(run, i - run));
      if (i + 1 < text.size() && text[i + 1] == ':') {
        scan.Text += ':';
        i += 2;
        run = i;
        continue;
      }
      size_t end = i + 1;
      while (end < text.size() && (quoted || !EndsName(text[end]))) {
        if (IsQuote(text[end])) quoted = !quoted;
        ++end;
      }
      TQueryParam param{BareName(std::string(text.substr(i + 1, end - i - 1))), std::nullopt};
      for (const TQueryParam& old : previous) {
        if (SameName(old.Name, param.Name)) {
          param.Value = old.Value;
          break;
        }
      }
      scan.Params.push_back(std::move(param));
      scan.Text += '?';
      i = end;
      run = i;
      continue;
    }
    ++i;
  }
  scan.Text.append(text.substr(run));
  return scan;
}

}  // namespace strata
