#include "cgi/cgi_request.h"

#include "platform/process.h"

namespace cgi {

TCGIRequest::TCGIRequest() { ReadRequestStart(); }

// Both give at most `count` bytes, which fits an int, or -1.
int TCGIRequest::ReadInput(void* buffer, int count) {
  if (count <= 0) return 0;
  return static_cast<int>(platform::ReadStandardInput(buffer, static_cast<size_t>(count)));
}

int TCGIRequest::WriteOutput(const void* buffer, int count) {
  if (count <= 0) return 0;
  return static_cast<int>(platform::WriteStandardOutput(buffer, static_cast<size_t>(count)));
}

std::string TCGIRequest::EnvironmentField(const std::string& name) {
  std::string value = platform::GetEnvironmentVariable(name).value_or(std::string());
  if (value.empty() && name.compare(0, 5, "HTTP_") == 0) {
    value = platform::GetEnvironmentVariable(name.substr(5)).value_or(std::string());
  }
  return value;
}

}  // namespace cgi
