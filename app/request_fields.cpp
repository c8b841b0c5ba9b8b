#include "app/request_fields.h"

#include "platform/file.h"
#include "platform/letter_case.h"

namespace banner {

bool FieldPresent(const cgi::TStringList& fields, std::string_view name) {
  return fields.IndexOfName(name) >= 0;
}

TRequestKind KindOfRequest(const cgi::TStringList& fields) {
  if (FieldPresent(fields, "SessionID")) return TRequestKind::kSessionID;
  if (FieldPresent(fields, "Index")) return TRequestKind::kIndex;
  if (FieldPresent(fields, "Site") || FieldPresent(fields, "nocount"))
    return TRequestKind::kVisitor;
  return TRequestKind::kNotFound;
}

void CopyThroughText(const cgi::TStringList& from, cgi::TStringList& to) {
  to.SetText(from.Text());
}

bool IsInjectMode(const std::string& first_argument) {
  return platform::AsciiUpperCase(first_argument) == "INJECTMODE";
}

void WriteRecording(const std::string& path, const cgi::TStringList& fields) {
  platform::ReplaceFileContent(path, fields.Text());
}

void ReadRecording(const std::string& path, cgi::TStringList& fields) {
  fields.SetText(platform::ReadFileContent(path));
}

}  // namespace banner
