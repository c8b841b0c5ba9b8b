#include "cgi/cookie.h"

#include "cgi/http_date.h"

namespace cgi {

std::string CookieHeaderText(const TCookie& cookie) {
  std::string text = cookie.Name + "=" + cookie.Value + "; ";
  if (!cookie.Domain.empty()) text += "domain=" + cookie.Domain + "; ";
  if (!cookie.Path.empty()) text += "path=" + cookie.Path + "; ";
  if (cookie.Expires > -1) text += "expires=" + HTTPDateText(cookie.Expires) + "; ";
  if (cookie.Secure) text += "secure";
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, "; ") == 0) text.resize(text.size() - 2);
  return text;
}

TCookie& TCookieCollection::Add() {
  items_.push_back(std::make_unique<TCookie>());
  return *items_.back();
}

}  // namespace cgi
