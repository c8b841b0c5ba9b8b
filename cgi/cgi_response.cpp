#include "cgi/cgi_response.h"

#include <vector>

#include "cgi/http_date.h"
#include "cgi/web_request.h"

namespace cgi {
namespace {

constexpr int kCopyBlockSize = 8192;

void AddIfSet(std::string& header, const char* name, const std::string& value) {
  if (!value.empty()) header += std::string(name) + ": " + value + "\r\n";
}

}  // namespace

std::string TCGIResponse::HeaderText() {
  if (HTTPRequest().ProtocolVersion().empty()) return std::string();
  std::string header = "Status: ";
  if (!ReasonPhrase().empty() && StatusCode() > 0) {
    header += std::to_string(StatusCode()) + " " + ReasonPhrase();
  } else {
    header += "200 OK";
  }
  header += "\r\n";
  AddIfSet(header, "Location", Location());
  AddIfSet(header, "Allow", Allow());
  for (int i = 0; i < Cookies().Count(); ++i) {
    header += "Set-Cookie: " + CookieHeaderText(Cookies()[i]) + "\r\n";
  }
  AddIfSet(header, "Derived-From", DerivedFrom());
  if (Expires() > 0) header += "Expires: " + HTTPDateText(Expires()) + "\r\n";
  if (LastModified() > 0) header += "Last-Modified: " + HTTPDateText(LastModified()) + "\r\n";
  AddIfSet(header, "Title", Title());
  AddIfSet(header, "WWW-Authenticate", WWWAuthenticate());
  // Each line carries the value of the first entry of its name.
  TStringList& custom = CustomHeaders();
  for (int i = 0; i < custom.Count(); ++i) {
    std::string name = custom.Names(i);
    header += name + ": " + custom.Values(name) + "\r\n";
  }
  AddIfSet(header, "Content-Version", ContentVersion());
  AddIfSet(header, "Content-Encoding", ContentEncoding());
  AddIfSet(header, "Content-Type", ContentType());
  if (!Body().empty() || BodyStream() != nullptr) {
    header += "Content-Length: " + std::to_string(ContentLength()) + "\r\n";
  }
  header += "Content:\r\n\r\n";
  return header;
}

void TCGIResponse::Send() {
  std::string header = HeaderText();
  if (!header.empty()) HTTPRequest().WriteOutputText(header);
  if (BodyStream() == nullptr) {
    HTTPRequest().WriteOutputText(Body());
  } else {
    CopyStream(*BodyStream());
    SetBodyStream(nullptr);
  }
  MarkSent();
}

void TCGIResponse::Redirect(const std::string& uri) {
  SetLocation(uri);
  SetStatusCode(302);
  SetContentType("text/html");
  SetBody(
      "<html><title>Dokument wurde verschoben 302</title>\r\n"
      "<body><h1>Objekt wurde verschoben</h1><hr>\r\n"
      "Das Objekt kann <a HREF=\"" +
      uri +
      "\">hier</a> gefunden werden.<br>\r\n"
      "<br></body></html>\r\n");
  Send();
}

void TCGIResponse::CopyStream(TStream& stream) {
  std::vector<char> buffer(kCopyBlockSize);
  while (stream.Position() < stream.Size()) {
    int64_t n = stream.Read(buffer.data(), kCopyBlockSize);
    if (n <= 0) break;
    HTTPRequest().WriteOutput(buffer.data(), static_cast<int>(n));
  }
}

}  // namespace cgi
