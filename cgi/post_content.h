// Parsing a POST request's body into request fields and storing uploaded
// files.
#pragma once

#include <cstdint>
#include <string>

#include "cgi/string_list.h"
#include "cgi/web_request.h"

namespace cgi {

// Appends the fields of a POST body to `list` (never clearing it) and writes
// uploaded files into `upload_dir`. The body is the request's Content plus
// what is still to be read from standard input, up to its ContentLength.
// "multipart/form-data" bodies (also with nested multipart/mixed file lists)
// give one entry per named part, a file part the entry name=<sent file name>;
// any other body is read as form-encoded text, where empty fields are kept,
// a bad escape never fails and a "%" among the last two bytes stays as it is.
// False when the request is not a POST (nothing read, list untouched), when a
// multipart body lacks its delimiter (or its content type names no
// boundary), or when an upload could not be stored
// (the field entry is appended all the same and parsing goes on). A file is
// stored under the sent name's base name (after its last "\" or ":") inside
// `upload_dir`; a base name that is "." or "..", or that still contains "/"
// or a NUL byte, is refused like a file that cannot be created.
bool ParsePostedContent(TWebRequest& request, TStringList& list, const std::string& upload_dir);

// The value of a hex digit character: code - 48 up to "9", else the code of
// its ASCII upper-case form - 55; modulo 256. Never fails.
uint8_t HexDigitValue(char c);

}  // namespace cgi
