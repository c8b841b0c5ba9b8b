// The CGI application: one per process, serving the one request of the
// process and writing the error page when an exception escapes.
#pragma once

#include <exception>
#include <string>

#include "cgi/web_application.h"

namespace cgi {

// The runtime's initialisation hook that Initialize runs, when set.
extern void (*InitProc)();

class TCGIApplication : public TWebApplication {
 public:
  // Runs InitProc when it is set; nothing else.
  void Initialize();
  // Builds the request from the environment and standard input and its
  // response, serves it, frees the response and then the request (also when
  // serving raised), and writes the error page for an escaped exception.
  void Run();
  // The status 500 page with the exception's class name and message, written
  // to standard output. The message reaches the status line with its control
  // bytes as blanks, and the page HTML-escaped.
  static void WriteErrorPage(const std::exception& error);
  // The bytes WriteErrorPage writes: the header block and the page.
  static std::string ErrorPageText(const std::string& class_name, const std::string& message);
};

// The process's one application object.
TCGIApplication& Application();

}  // namespace cgi
