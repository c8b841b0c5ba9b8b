#include "cgi/web_request.h"

#include <climits>
#include <cstdlib>

#include "cgi/http_date.h"
#include "cgi/query_fields.h"
#include "cgi/string_list.h"
#include "platform/letter_case.h"

namespace cgi {
namespace {

const char* const kVariables[29] = {
    "REQUEST_METHOD",
    "SERVER_PROTOCOL",
    "URL",
    "QUERY_STRING",
    "PATH_INFO",
    "PATH_TRANSLATED",
    "HTTP_CACHE_CONTROL",
    "HTTP_DATE",
    "HTTP_ACCEPT",
    "HTTP_FROM",
    "HTTP_HOST",
    "HTTP_IF_MODIFIED_SINCE",
    "HTTP_REFERER",
    "HTTP_USER_AGENT",
    "HTTP_CONTENT_ENCODING",
    "HTTP_CONTENT_TYPE",
    "HTTP_CONTENT_LENGTH",
    "HTTP_CONTENT_VERSION",
    "HTTP_DERIVED_FROM",
    "HTTP_EXPIRES",
    "HTTP_TITLE",
    "REMOTE_ADDR",
    "REMOTE_HOST",
    "SCRIPT_NAME",
    "SERVER_PORT",
    nullptr,
    "HTTP_CONNECTION",
    "HTTP_COOKIE",
    "HTTP_AUTHORIZATION",
};

}  // namespace

const char* RequestVariableName(int index) {
  if (index < 0 || index > 28) return nullptr;
  return kVariables[index];
}

int StrToIntDef(const std::string& text, int fallback) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return fallback;
  long long value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return fallback;
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) return fallback;
  }
  if (negative) value = -value;
  if (value > INT_MAX || value < INT_MIN) return fallback;
  return static_cast<int>(value);
}

TMethodType MethodTypeOf(const std::string& method) {
  static const struct {
    const char* name;
    TMethodType type;
  } kMethods[] = {{"GET", mtGet}, {"PUT", mtPut}, {"POST", mtPost}, {"HEAD", mtHead}};
  for (const auto& m : kMethods) {
    if (platform::SameAsciiIgnoringCase(method, m.name)) return m.type;
  }
  return mtAny;
}

std::string TWebRequest::StringField(int index) {
  if (index == rvContent) return content_;
  const char* variable = RequestVariableName(index);
  return variable == nullptr ? std::string() : EnvironmentField(variable);
}

int TWebRequest::IntegerField(int index) { return StrToIntDef(StringField(index), -1); }

TDateTime TWebRequest::DateField(int index) {
  std::string text = StringField(index);
  if (text.empty()) return -1;
  return ParseHTTPDate(text);
}

std::string TWebRequest::ReadInputText(int count) {
  if (count <= 0) return std::string();
  std::string text(static_cast<size_t>(count), '\0');
  int n = ReadInput(text.data(), count);
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}

std::string TWebRequest::TranslatePath(const std::string&) { return std::string(); }

bool TWebRequest::WriteOutputText(const std::string& text) {
  if (text.empty()) return false;
  int count = static_cast<int>(text.size());
  return WriteOutput(text.data(), count) == count;
}

TStringList& TWebRequest::QueryFieldList() {
  if (!query_fields_) {
    auto fields = std::make_unique<TStringList>();
    SplitFields("&", "", Query(), *fields);
    query_fields_ = std::move(fields);
  }
  return *query_fields_;
}

void TWebRequest::ReadRequestStart() {
  method_type_ = MethodTypeOf(StringField(rvMethod));
  content_ = ReadInputText(IntegerField(rvContentLength));
}

}  // namespace cgi
