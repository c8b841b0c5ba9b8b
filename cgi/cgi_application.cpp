#include "cgi/cgi_application.h"

#include <memory>

#include "cgi/cgi_request.h"
#include "cgi/cgi_response.h"
#include "cgi/errors.h"
#include "cgi/output_text.h"
#include "platform/process.h"

namespace cgi {

void (*InitProc)() = nullptr;

void TCGIApplication::Initialize() {
  if (InitProc != nullptr) InitProc();
}

void TCGIApplication::Run() {
  try {
    std::unique_ptr<TCGIRequest> request;
    std::unique_ptr<TCGIResponse> response;
    // The response goes before the request on every path: it refers to it.
    struct FreeInOrder {
      std::unique_ptr<TCGIRequest>& request;
      std::unique_ptr<TCGIResponse>& response;
      ~FreeInOrder() {
        response.reset();
        request.reset();
      }
    } free_in_order{request, response};
    request = std::make_unique<TCGIRequest>();
    response = std::make_unique<TCGIResponse>(*request);
    ServeRequest(*request, *response);
  } catch (const std::exception& error) {
    WriteErrorPage(error);
  }
}

namespace {

struct ErrorPage {
  std::string head;
  std::string page;
};

ErrorPage MakeErrorPage(const std::string& class_name, const std::string& message) {
  ErrorPage result;
  result.page =
      "<html><title>Interner Server-Fehler 500</title>\r\n"
      "<h1>Interner Server-Fehlerr 500</h1><hr>\r\n"
      "Exception: " +
      EscapeHTML(class_name) + "<br>\r\nMeldung: " + EscapeHTML(message) + "<br></html>\r\n";
  // The message comes from anywhere (a client's bad escape, a handler): in
  // the status line it stays on that line, and in the page it shows as text.
  result.head =
      "Status: 500 " + HeaderLineText(message) +
      "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(result.page.size()) +
      "\r\nContent:\r\n\r\n";
  return result;
}

}  // namespace

std::string TCGIApplication::ErrorPageText(const std::string& class_name,
                                           const std::string& message) {
  ErrorPage page = MakeErrorPage(class_name, message);
  return page.head + page.page;
}

void TCGIApplication::WriteErrorPage(const std::exception& error) {
  ErrorPage page = MakeErrorPage(ExceptionClassName(error), error.what());
  // The head and the page each go out with one write.
  platform::WriteStandardOutput(page.head.data(), page.head.size());
  platform::WriteStandardOutput(page.page.data(), page.page.size());
}

TCGIApplication& Application() {
  static TCGIApplication application;
  return application;
}

}  // namespace cgi
