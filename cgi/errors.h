// The gateway's exception classes and the class name the error page shows.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace cgi {

// A text that cannot be converted (a bad percent escape, a non-number where a
// number is needed, a date that does not fit).
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Errors of the application, the module pool and the dispatcher.
class EWebBrokerException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An invalid path pattern of an action item.
class EMaskException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A module class that has no component definition.
class EResNotFound : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "'<text>' ist kein gültiger Integerwert": the conversion error of a text
// that is not an integer.
[[noreturn]] void RaiseInvalidInteger(const std::string& text);

// The class name of an object's dynamic type, without namespaces
// ("EConvertError", "EStrataEngineError").
std::string ClassNameOf(const std::type_info& type);
inline std::string ExceptionClassName(const std::exception& error) {
  return ClassNameOf(typeid(error));
}

}  // namespace cgi
