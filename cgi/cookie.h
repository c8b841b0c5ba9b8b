// Cookies a response sets, and the text of their Set-Cookie header.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cgi/date_time.h"

namespace cgi {

class TWebResponse;

// One cookie. Copying copies all six fields.
struct TCookie {
  std::string Name;
  std::string Value;
  std::string Path;
  std::string Domain;
  TDateTime Expires = -1;  // -1: no expiry
  bool Secure = false;
};

// "name=value; domain=..; path=..; expires=<date text>; secure" with the
// parts that are set, without a trailing "; ".
std::string CookieHeaderText(const TCookie& cookie);

// The cookies of one response, in the order they were added. Knows the
// response that owns it; items keep their address while the collection lives.
class TCookieCollection {
 public:
  explicit TCookieCollection(TWebResponse* response) : response_(response) {}

  TCookie& Add();
  int Count() const { return static_cast<int>(items_.size()); }
  TCookie& operator[](int index) { return *items_.at(index); }
  const TCookie& operator[](int index) const { return *items_.at(index); }
  void Clear() { items_.clear(); }
  TWebResponse* WebResponse() const { return response_; }

 private:
  TWebResponse* response_;
  std::vector<std::unique_ptr<TCookie>> items_;
};

}  // namespace cgi
