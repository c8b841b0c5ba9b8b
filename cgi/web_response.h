// The response of one request: status, header values, cookies, extra header
// lines and a body as text or stream, written once as a CGI response.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "cgi/cookie.h"
#include "cgi/date_time.h"
#include "cgi/stream.h"
#include "cgi/string_list.h"

namespace cgi {

class TWebRequest;

// Indexes of the response's string values.
enum TResponseString {
  rsVersion = 0,
  rsReasonPhrase = 1,
  rsServer = 2,
  rsWWWAuthenticate = 3,
  rsRealm = 4,
  rsAllow = 5,
  rsLocation = 6,
  rsContentEncoding = 7,
  rsContentType = 8,
  rsContentVersion = 9,
  rsDerivedFrom = 10,
  rsTitle = 11,
};
// Indexes of the response's date values.
enum TResponseDate { rdDate = 0, rdExpires = 1, rdLastModified = 2 };

// "OK", "Not Found", ...; "" for a code not in the table.
std::string ReasonPhraseFor(int code);

// Abstract response. Answers exactly one request (referenced, not owned).
// Owns its body stream, extra header lines and cookies. Freeing a response
// never writes anything.
class TWebResponse {
 public:
  virtual ~TWebResponse() = default;
  TWebResponse(const TWebResponse&) = delete;
  TWebResponse& operator=(const TWebResponse&) = delete;

  // Indexes 0..11; others read as "" and are ignored when set.
  virtual std::string ResponseField(int index) const;
  virtual void SetResponseField(int index, const std::string& value);
  // Indexes 0..2; others read as -1 and are ignored when set.
  virtual TDateTime ResponseDate(int index) const;
  virtual void SetResponseDate(int index, TDateTime value);
  // Index 0 is ContentLength; others read as -1 and are ignored when set.
  virtual int ResponseInteger(int index) const;
  virtual void SetResponseInteger(int index, int value);
  virtual const std::string& Body() const { return body_; }
  // Body := text; ContentLength := its length when no body stream is set.
  virtual void SetBody(const std::string& text);
  // Takes ownership of `stream` (may be null), freeing the current one, and
  // sets ContentLength to the stream's size (the body's length for null).
  virtual void SetBodyStream(std::unique_ptr<TStream> stream);
  virtual int StatusCode() const { return status_code_; }
  // Stores a changed code and sets ReasonPhrase to ReasonPhraseFor(code).
  virtual void SetStatusCode(int code);
  virtual std::string LogMessage() const { return std::string(); }
  virtual void SetLogMessage(const std::string&) {}
  virtual void Send() = 0;
  virtual void Redirect(const std::string& uri) = 0;
  virtual void CopyStream(TStream& stream) = 0;
  virtual bool Sent() const { return sent_; }

  TStream* BodyStream() const { return body_stream_.get(); }
  TStringList& CustomHeaders() { return custom_headers_; }
  TCookieCollection& Cookies() { return cookies_; }
  TWebRequest& HTTPRequest() const { return request_; }

  std::string Version() const { return ResponseField(rsVersion); }
  void SetVersion(const std::string& v) { SetResponseField(rsVersion, v); }
  std::string ReasonPhrase() const { return ResponseField(rsReasonPhrase); }
  void SetReasonPhrase(const std::string& v) { SetResponseField(rsReasonPhrase, v); }
  std::string Server() const { return ResponseField(rsServer); }
  void SetServer(const std::string& v) { SetResponseField(rsServer, v); }
  std::string WWWAuthenticate() const { return ResponseField(rsWWWAuthenticate); }
  void SetWWWAuthenticate(const std::string& v) { SetResponseField(rsWWWAuthenticate, v); }
  std::string Realm() const { return ResponseField(rsRealm); }
  void SetRealm(const std::string& v) { SetResponseField(rsRealm, v); }
  std::string Allow() const { return ResponseField(rsAllow); }
  void SetAllow(const std::string& v) { SetResponseField(rsAllow, v); }
  std::string Location() const { return ResponseField(rsLocation); }
  void SetLocation(const std::string& v) { SetResponseField(rsLocation, v); }
  std::string ContentEncoding() const { return ResponseField(rsContentEncoding); }
  void SetContentEncoding(const std::string& v) { SetResponseField(rsContentEncoding, v); }
  std::string ContentType() const { return ResponseField(rsContentType); }
  void SetContentType(const std::string& v) { SetResponseField(rsContentType, v); }
  std::string ContentVersion() const { return ResponseField(rsContentVersion); }
  void SetContentVersion(const std::string& v) { SetResponseField(rsContentVersion, v); }
  std::string DerivedFrom() const { return ResponseField(rsDerivedFrom); }
  void SetDerivedFrom(const std::string& v) { SetResponseField(rsDerivedFrom, v); }
  std::string Title() const { return ResponseField(rsTitle); }
  void SetTitle(const std::string& v) { SetResponseField(rsTitle, v); }
  int ContentLength() const { return ResponseInteger(0); }
  void SetContentLength(int v) { SetResponseInteger(0, v); }
  TDateTime Date() const { return ResponseDate(rdDate); }
  void SetDate(TDateTime v) { SetResponseDate(rdDate, v); }
  TDateTime Expires() const { return ResponseDate(rdExpires); }
  void SetExpires(TDateTime v) { SetResponseDate(rdExpires, v); }
  TDateTime LastModified() const { return ResponseDate(rdLastModified); }
  void SetLastModified(TDateTime v) { SetResponseDate(rdLastModified, v); }

 protected:
  // Version "1.0" when the request's protocol is empty, status 200 OK, no
  // dates, content type "text/html".
  explicit TWebResponse(TWebRequest& request);
  void MarkSent() { sent_ = true; }

 private:
  TWebRequest& request_;
  std::string strings_[12];
  int32_t content_length_ = 0;
  TDateTime dates_[3] = {-1, -1, -1};
  int status_code_ = 0;
  std::string body_;
  std::unique_ptr<TStream> body_stream_;
  TStringList custom_headers_;
  TCookieCollection cookies_{this};
  bool sent_ = false;
};

}  // namespace cgi
