// The response of a CGI process: header block, "Content:" line, empty line
// and body, written through the request to standard output.
#pragma once

#include "cgi/web_response.h"

namespace cgi {

class TCGIResponse : public TWebResponse {
 public:
  explicit TCGIResponse(TWebRequest& request) : TWebResponse(request) {}

  // Writes the header block (only when the request's protocol is not empty)
  // with one write, then the body; marks the response sent. Does not look at
  // Sent: a second call writes again (without the stream, freed by the
  // first). Write failures are ignored.
  void Send() override;
  // Location := uri, status 302, an HTML body pointing at uri, then Send.
  void Redirect(const std::string& uri) override;
  // Writes the stream from its position to its end in blocks of 8192 bytes.
  void CopyStream(TStream& stream) override;

  // The header block Send writes ("" when the request's protocol is empty).
  std::string HeaderText();
};

}  // namespace cgi
