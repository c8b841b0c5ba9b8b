// The request of a CGI process: values from the environment, the body from
// standard input, output to standard output.
#pragma once

#include "cgi/web_request.h"

namespace cgi {

// Built once per process from the environment and standard input. Reads and
// writes go straight to the process's standard handles, unbuffered, in the
// order of the calls.
class TCGIRequest : public TWebRequest {
 public:
  TCGIRequest();

  int ReadInput(void* buffer, int count) override;
  int WriteOutput(const void* buffer, int count) override;
  std::string EnvironmentField(const std::string& name) override;
};

}  // namespace cgi
