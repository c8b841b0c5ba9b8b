// Fuzzes query splitting and URL decoding, and the field list's text form.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cgi/errors.h"
#include "cgi/query_fields.h"
#include "cgi/string_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  cgi::TStringList list;
  try {
    cgi::SplitFields("&", "", text, list);
  } catch (const cgi::EConvertError&) {
  }
  try {
    cgi::SplitFields(",;", " \t", text, list);
  } catch (const cgi::EConvertError&) {
  }
  try {
    std::string decoded = cgi::DecodeURLText(text);
    if (decoded.size() > text.size()) __builtin_trap();
  } catch (const cgi::EConvertError&) {
  }
  cgi::TStringList copy;
  copy.SetText(list.Text());
  for (int i = 0; i < copy.Count(); ++i) {
    std::string name = copy.Names(i);
    if (copy.IndexOfName(name) < 0 && copy[i].find('=') != std::string::npos) __builtin_trap();
    (void)copy.Values(name);
  }
  return 0;
}
