#include "cgi/errors.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "platform/windows1252.h"

namespace cgi {

using namespace platform::literals;

void RaiseInvalidInteger(const std::string& text) {
  throw EConvertError("'" + text + "' ist kein gültiger Integerwert"_w1252);
}

std::string ClassNameOf(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
  std::string name = status == 0 && demangled ? demangled.get() : type.name();
  // Drop the namespaces, but not a "::" inside template arguments.
  size_t cut = 0;
  int depth = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '<') ++depth;
    if (name[i] == '>') --depth;
    if (depth == 0 && name.compare(i, 2, "::") == 0) cut = i + 2;
  }
  return name.substr(cut);
}

}  // namespace cgi
