#include "cgi/post_content.h"

#include <algorithm>
#include <string_view>

#include "platform/file.h"
#include "platform/letter_case.h"

namespace cgi {
namespace {

constexpr int kReadBlock = 512;
constexpr size_t kHeadWindow = 255;  // how far a part's headers are looked at
constexpr size_t kBoundaryLimit = 199;
constexpr size_t kNameLimit = 199;

// Position of `needle` in `text` without regard to ASCII letter case.
size_t FindCI(std::string_view text, std::string_view needle) {
  auto it = std::search(text.begin(), text.end(), needle.begin(), needle.end(), [](char a, char b) {
    return platform::AsciiLower(a) == platform::AsciiLower(b);
  });
  return it == text.end() && !needle.empty() ? std::string_view::npos
                                             : static_cast<size_t>(it - text.begin());
}

// 1-based position of `needle` in `text`, 0 when it does not occur.
long long Pos(std::string_view needle, std::string_view text) {
  size_t at = text.find(needle);
  return at == std::string_view::npos ? 0 : static_cast<long long>(at) + 1;
}

// The body: what the request read at its start, then the rest of standard
// input up to ContentLength bytes, in blocks of 512, until a read gives
// nothing.
std::string ReadBody(TWebRequest& request) {
  long long total = request.IntegerField(rvContentLength);
  std::string body = request.StringField(rvContent);
  char buffer[kReadBlock];
  while (static_cast<long long>(body.size()) < total) {
    long long missing = total - static_cast<long long>(body.size());
    int n = request.ReadInput(buffer, static_cast<int>(std::min<long long>(kReadBlock, missing)));
    if (n <= 0) break;
    body.append(buffer, static_cast<size_t>(n));
  }
  return body;
}

// Form-encoded body: "&" separates fields, "+" is a space, "%" and two bytes
// give the byte of their hex digit values. Empty fields are kept, and a bad
// escape never fails. A "%" with fewer than two bytes after it keeps those
// bytes as they are.
void ParseForm(std::string_view body, TStringList& list) {
  std::string current;
  for (size_t i = 0; i < body.size(); ++i) {
    char c = body[i];
    if (c == '%') {
      if (i + 2 >= body.size()) {
        current.append(body.substr(i));
        break;
      }
      current += static_cast<char>(HexDigitValue(body[i + 1]) * 16 + HexDigitValue(body[i + 2]));
      i += 2;
    } else if (c == '&') {
      list.Add(current);
      current.clear();
    } else if (c == '+') {
      current += ' ';
    } else {
      current += c;
    }
  }
  list.Add(current);
}

// The text after the first double quote, up to the next one when there is
// one; the whole text when it has no double quote.
std::string_view Unquote(std::string_view text) {
  size_t open = text.find('"');
  if (open == std::string_view::npos) return text;
  text.remove_prefix(open + 1);
  return text.substr(0, text.find('"'));
}

// The sent file name of a header text: after "filename=", unquoted. Empty
// when the text names no file.
std::string_view SentFileName(std::string_view header) {
  size_t at = FindCI(header, "filename=");
  if (at == std::string_view::npos) return {};
  return Unquote(header.substr(at + 9));
}

// The part of a sent file name after its last "\" or ":".
std::string_view BaseName(std::string_view file_name) {
  size_t cut = file_name.find_last_of("\\:");
  return cut == std::string_view::npos ? file_name : file_name.substr(cut + 1);
}

// Whether a base name names a file right inside the upload folder: not "."
// or "..", and no "/" (a path separator here) nor NUL (which would cut the
// path short).
bool IsSafeBaseName(std::string_view base) {
  return base != "." && base != ".." && base.find('/') == std::string_view::npos &&
         base.find('\0') == std::string_view::npos;
}

// The multipart parser. `rest_` is the part of the body not yet consumed;
// positions count from 1 as the delimiter searches give them.
class MultipartParser {
 public:
  MultipartParser(std::string_view body, std::string dir, TStringList& list)
      : rest_(body), dir_(std::move(dir)), list_(list) {}

  bool Parse(std::string_view content_type) {
    size_t boundary = FindCI(content_type, "boundary=");
    if (boundary == std::string_view::npos) return false;
    // Everything after "boundary=" counts, quotes and further parameters too.
    std::string delim = "--" + std::string(content_type.substr(boundary + 9, kBoundaryLimit));
    long long p = Pos(delim, rest_);
    if (p == 0) return false;
    while (p > 0) {
      Drop(p);
      std::string_view head = rest_.substr(0, kHeadWindow);
      size_t name_at = FindCI(head, "name=");
      if (name_at == std::string_view::npos) {
        // The closing delimiter, or a part without a name.
        Drop(1);
        p = Pos(delim, rest_);
        continue;
      }
      std::string_view line = rest_.substr(name_at, kHeadWindow);
      std::string_view next_line;
      size_t lf = line.find('\n');
      if (lf != std::string_view::npos) {
        next_line = line.substr(lf + 1);
        next_line = next_line.substr(0, next_line.find('\r'));
      }
      line = line.substr(0, line.find('\r'));
      std::string name(Unquote(line).substr(0, kNameLimit));

      bool file_list = FindCI(next_line, "/mixed") != std::string_view::npos &&
                       FindCI(next_line, "boundary=") != std::string_view::npos;
      std::string files;
      if (file_list) {
        // The nested list consumed the headers of this part itself.
        files = ParseFileList(next_line);
      } else {
        size_t headers_end = rest_.find("\r\n\r\n");
        if (headers_end != std::string_view::npos) Drop(headers_end + 4);
      }
      // The value ends before the CR LF in front of the next delimiter.
      p = Pos(delim, rest_) - 2;
      std::string_view value = rest_.substr(0, p >= 2 ? p - 1 : 0);
      if (file_list) {
        list_.Add(name + "=" + files);
      } else if (FindCI(line, "filename=") == std::string_view::npos) {
        list_.Add(name + "=" + std::string(value));
      } else {
        std::string_view file_name = SentFileName(line);
        list_.Add(name + "=" + std::string(file_name));
        std::string_view base = BaseName(file_name);
        if (!base.empty()) Store(base, value);
      }
    }
    return result_;
  }

 private:
  void Drop(long long n) {
    if (n > 0) rest_.remove_prefix(std::min(static_cast<size_t>(n), rest_.size()));
  }

  // A multipart/mixed list of files inside one field, with its own boundary
  // from `type_line`. Stores every file and gives their sent names joined by
  // "; ".
  std::string ParseFileList(std::string_view type_line) {
    size_t boundary = FindCI(type_line, "boundary=");
    std::string delim = "--" + std::string(type_line.substr(boundary + 9, kBoundaryLimit));
    std::string files;
    long long p = Pos(delim, rest_);
    while (p > 0) {
      Drop(p);
      std::string_view file_name = SentFileName(rest_.substr(0, kHeadWindow));
      if (!files.empty()) files += "; ";
      files += file_name;
      std::string_view base = BaseName(file_name);
      size_t headers_end = rest_.find("\r\n\r\n");
      Drop(headers_end != std::string_view::npos ? headers_end + 4 : 3);
      long long at = Pos(delim, rest_);
      p = at - 2;
      if (!base.empty()) Store(base, rest_.substr(0, p >= 2 ? p - 1 : 0));
      // The closing delimiter ends the list.
      if (at > 0 && rest_.substr(at - 1 + delim.size(), 2) == "--") p = 0;
    }
    return files;
  }

  // Writes one uploaded file into the upload folder, replacing a file of the
  // same name. A failure (or a refused name) makes the result false.
  void Store(std::string_view base, std::string_view bytes) {
    if (!IsSafeBaseName(base)) {
      result_ = false;
      return;
    }
    try {
      auto file = platform::File::Create(dir_ + std::string(base), platform::Share::kShared);
      if (!bytes.empty()) file->WriteAt(0, bytes.data(), bytes.size());
    } catch (const platform::OsError&) {
      result_ = false;
    }
  }

  std::string_view rest_;
  std::string dir_;
  TStringList& list_;
  bool result_ = true;
};

}  // namespace

uint8_t HexDigitValue(char c) {
  unsigned char code = static_cast<unsigned char>(c);
  if (code <= '9') return static_cast<uint8_t>(code - 48);
  unsigned char upper = static_cast<unsigned char>(platform::AsciiUpper(c));
  return static_cast<uint8_t>(upper - 55);
}

bool ParsePostedContent(TWebRequest& request, TStringList& list, const std::string& upload_dir) {
  std::string method = request.StringField(rvMethod);
  if (platform::AsciiUpperCase(method) != "POST") return false;

  std::string body = ReadBody(request);
  std::string content_type = request.StringField(rvContentType);
  std::string lower_type = content_type.substr(0, 19);
  for (char& c : lower_type) c = platform::AsciiLower(c);
  if (lower_type != "multipart/form-data") {
    ParseForm(body, list);
    return true;
  }
  // Files go inside the upload folder: "/" separates path parts here.
  std::string dir = upload_dir;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return MultipartParser(body, dir, list).Parse(content_type);
}

}  // namespace cgi
