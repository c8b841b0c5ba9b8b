// The request of one CGI run: its values by index, its method, its body and
// the raw input and output operations.
#pragma once

#include <memory>
#include <string>

#include "cgi/date_time.h"
#include "cgi/string_list.h"

namespace cgi {

enum TMethodType { mtAny = 0, mtGet = 1, mtPut = 2, mtPost = 3, mtHead = 4 };

// Indexes of the request values (StringField, IntegerField, DateField).
enum TRequestValue {
  rvMethod = 0,
  rvProtocolVersion = 1,
  rvURL = 2,
  rvQuery = 3,
  rvPathInfo = 4,
  rvPathTranslated = 5,
  rvCacheControl = 6,
  rvDate = 7,
  rvAccept = 8,
  rvFrom = 9,
  rvHost = 10,
  rvIfModifiedSince = 11,
  rvReferer = 12,
  rvUserAgent = 13,
  rvContentEncoding = 14,
  rvContentType = 15,
  rvContentLength = 16,
  rvContentVersion = 17,
  rvDerivedFrom = 18,
  rvExpires = 19,
  rvTitle = 20,
  rvRemoteAddr = 21,
  rvRemoteHost = 22,
  rvScriptName = 23,
  rvServerPort = 24,
  rvContent = 25,
  rvConnection = 26,
  rvCookie = 27,
  rvAuthorization = 28,
};

// The CGI environment variable of a request value; nullptr for Content (25)
// and for indexes outside 0..28.
const char* RequestVariableName(int index);

// The most one ReadInputText reads (and allocates), whatever count it is
// given: 64 KiB, a pipe's capacity.
constexpr int kInputPiece = 64 * 1024;

// Abstract request. Values are read afresh on every call (nothing is cached)
// except MethodType and Content, fixed when the concrete request is built,
// and QueryFieldList, built on first use and kept until the request is freed.
class TWebRequest {
 public:
  virtual ~TWebRequest() = default;
  TWebRequest(const TWebRequest&) = delete;
  TWebRequest& operator=(const TWebRequest&) = delete;

  // Index 25 gives Content; 0..24 and 26..28 the environment variable of the
  // value (through EnvironmentField); any other index "".
  virtual std::string StringField(int index);
  // StringField read as a decimal integer; -1 when empty or not an integer.
  virtual int IntegerField(int index);
  // -1 when StringField is empty, else the text read as an HTTP date
  // (raises EConvertError when it does not fit).
  virtual TDateTime DateField(int index);
  // One read of at most `count` bytes of the body; the bytes read, 0 at the
  // end and -1 on failure. Never loops.
  virtual int ReadInput(void* buffer, int count) = 0;
  // One ReadInput of `count` bytes, at most kInputPiece, as text; "" when
  // count <= 0 or on failure.
  virtual std::string ReadInputText(int count);
  // Does nothing; kept for the interface.
  virtual std::string TranslatePath(const std::string& uri);
  // One write of `count` bytes of output; the bytes written, -1 on failure.
  virtual int WriteOutput(const void* buffer, int count) = 0;
  // Writes the whole text with one WriteOutput. An empty text writes nothing
  // and gives false; otherwise true when every byte was written.
  virtual bool WriteOutputText(const std::string& text);
  // The value of an environment variable; when it is empty and `name` begins
  // with "HTTP_", the value of the variable named by the rest of `name`.
  virtual std::string EnvironmentField(const std::string& name) = 0;

  TMethodType MethodType() const { return method_type_; }
  const std::string& Content() const { return content_; }
  // The decoded query fields (request value 3), built on first use.
  TStringList& QueryFieldList();

  std::string Method() { return StringField(rvMethod); }
  std::string ProtocolVersion() { return StringField(rvProtocolVersion); }
  std::string URL() { return StringField(rvURL); }
  std::string Query() { return StringField(rvQuery); }
  std::string PathInfo() { return StringField(rvPathInfo); }
  std::string PathTranslated() { return StringField(rvPathTranslated); }
  std::string CacheControl() { return StringField(rvCacheControl); }
  TDateTime Date() { return DateField(rvDate); }
  std::string Accept() { return StringField(rvAccept); }
  std::string From() { return StringField(rvFrom); }
  std::string Host() { return StringField(rvHost); }
  TDateTime IfModifiedSince() { return DateField(rvIfModifiedSince); }
  std::string Referer() { return StringField(rvReferer); }
  std::string UserAgent() { return StringField(rvUserAgent); }
  std::string ContentEncoding() { return StringField(rvContentEncoding); }
  std::string ContentType() { return StringField(rvContentType); }
  int ContentLength() { return IntegerField(rvContentLength); }
  std::string ContentVersion() { return StringField(rvContentVersion); }
  std::string DerivedFrom() { return StringField(rvDerivedFrom); }
  TDateTime Expires() { return DateField(rvExpires); }
  std::string Title() { return StringField(rvTitle); }
  std::string RemoteAddr() { return StringField(rvRemoteAddr); }
  std::string RemoteHost() { return StringField(rvRemoteHost); }
  std::string ScriptName() { return StringField(rvScriptName); }
  std::string ServerPort() { return StringField(rvServerPort); }
  std::string Connection() { return StringField(rvConnection); }
  std::string Cookie() { return StringField(rvCookie); }
  std::string Authorization() { return StringField(rvAuthorization); }

 protected:
  TWebRequest() = default;
  // The construction steps shared by every request; the concrete class calls
  // this at the end of its constructor, once its own reads work: the method
  // type from value 0, then Content := ReadInputText(ContentLength), so the
  // first piece of the body (the posted-content parser reads the rest).
  void ReadRequestStart();

 private:
  TMethodType method_type_ = mtAny;
  std::string content_;
  std::unique_ptr<TStringList> query_fields_;
};

// The method type of a method name: GET, PUT, POST, HEAD in any ASCII letter
// case; anything else mtAny.
TMethodType MethodTypeOf(const std::string& method);

// A decimal integer with an optional sign and leading blanks, in the range of
// a 32-bit integer; `fallback` for anything else.
int StrToIntDef(const std::string& text, int fallback);

}  // namespace cgi
