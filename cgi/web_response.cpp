#include "cgi/web_response.h"

#include "cgi/web_request.h"

namespace cgi {

std::string ReasonPhraseFor(int code) {
  switch (code) {
    case 100:
      return "Continue";
    case 101:
      return "Switching Protocols";
    case 200:
      return "OK";
    case 201:
      return "Created";
    case 202:
      return "Accepted";
    case 203:
      return "Non-Authoritative Information";
    case 204:
      return "No Content";
    case 205:
      return "Reset Content";
    case 206:
      return "Partial Content";
    case 300:
      return "Multiple Choices";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Moved Temporarily";
    case 303:
      return "See Other";
    case 304:
      return "Not Modified";
    case 305:
      return "Use Proxy";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 402:
      return "Payment Required";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 406:
      return "None Acceptable";
    case 407:
      return "Proxy Authentication Required";
    case 408:
      return "Request Timeout";
    case 409:
      return "Conflict";
    case 410:
      return "Gone";
    case 411:
      return "Length Required";
    case 412:
      return "Unless True";
    case 500:
      return "Internal Server Error";
    case 501:
      return "Not Implemented";
    case 502:
      return "Bad Gateway";
    case 503:
      return "Service Unavailable";
    case 504:
      return "Gateway Timeout";
    default:
      return std::string();
  }
}

TWebResponse::TWebResponse(TWebRequest& request) : request_(request) {
  if (request.ProtocolVersion().empty()) SetVersion("1.0");
  SetStatusCode(200);
  SetLastModified(-1);
  SetExpires(-1);
  SetDate(-1);
  SetContentType("text/html");
}

std::string TWebResponse::ResponseField(int index) const {
  if (index < 0 || index > 11) return std::string();
  return strings_[index];
}

void TWebResponse::SetResponseField(int index, const std::string& value) {
  if (index < 0 || index > 11) return;
  strings_[index] = value;
}

TDateTime TWebResponse::ResponseDate(int index) const {
  if (index < 0 || index > 2) return -1;
  return dates_[index];
}

void TWebResponse::SetResponseDate(int index, TDateTime value) {
  if (index < 0 || index > 2) return;
  if (dates_[index] != value) dates_[index] = value;
}

int TWebResponse::ResponseInteger(int index) const { return index == 0 ? content_length_ : -1; }

void TWebResponse::SetResponseInteger(int index, int value) {
  if (index == 0) content_length_ = value;
}

void TWebResponse::SetBody(const std::string& text) {
  body_ = text;
  if (!body_stream_) SetContentLength(static_cast<int>(body_.size()));
}

void TWebResponse::SetBodyStream(std::unique_ptr<TStream> stream) {
  if (stream.get() == body_stream_.get()) {
    stream.release();  // the current stream (or none again): nothing changes
    return;
  }
  body_stream_ = std::move(stream);
  SetContentLength(body_stream_ ? static_cast<int>(body_stream_->Size())
                                : static_cast<int>(body_.size()));
}

void TWebResponse::SetStatusCode(int code) {
  if (code == status_code_) return;
  status_code_ = code;
  SetReasonPhrase(ReasonPhraseFor(code));
}

}  // namespace cgi
