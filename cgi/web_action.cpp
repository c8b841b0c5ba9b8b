#include "cgi/web_action.h"

#include "cgi/errors.h"
#include "cgi/string_list.h"

namespace cgi {

TWebActionItem::TWebActionItem(TWebActionItems& collection, std::string name)
    : collection_(collection), name_(std::move(name)) {}

void TWebActionItem::SetDefault(bool value) {
  if (value) {
    for (int i = 0; i < collection_.Count(); ++i) {
      TWebActionItem& other = collection_[i];
      if (&other != this) other.default_ = false;
    }
  }
  default_ = value;
}

void TWebActionItem::SetName(const std::string& value) {
  TWebActionItem* holder = collection_.Find(value);
  if (holder != nullptr && holder != this) throw EWebBrokerException("Doppelter Aktionsname");
  name_ = value;
}

void TWebActionItem::SetPathInfo(const std::string& value) {
  std::string path = value;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  if (!path.empty() && path[0] != '/') path.insert(0, "/");
  if (!SameText(path, path_info_)) path_info_ = path;
}

const TMask& TWebActionItem::CompiledPathInfo() {
  if (!mask_ || mask_text_ != path_info_) {
    mask_.reset();
    mask_.emplace(path_info_);
    mask_text_ = path_info_;
  }
  return *mask_;
}

bool TWebActionItem::TryAction(TWebRequest& request, TWebResponse& response, bool as_default) {
  bool takes = (as_default && default_) ||
               (enabled_ && (method_type_ == mtAny || method_type_ == request.MethodType()) &&
                CompiledPathInfo().Matches(request.PathInfo()));
  if (!takes || !on_action_) return false;
  bool result = true;
  on_action_(this, request, response, result);
  return result;
}

TWebActionItem& TWebActionItems::Add() {
  int number = 1;
  while (Find("WebActionItem" + std::to_string(number)) != nullptr) ++number;
  items_.push_back(
      std::make_unique<TWebActionItem>(*this, "WebActionItem" + std::to_string(number)));
  return *items_.back();
}

TWebActionItem* TWebActionItems::Find(const std::string& name) const {
  for (const auto& item : items_) {
    if (SameText(item->Name(), name)) return item.get();
  }
  return nullptr;
}

void TWebActionItems::Delete(int index) { items_.erase(items_.begin() + index); }

}  // namespace cgi
