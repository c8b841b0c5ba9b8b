// Action items: the handlers of a web module, each tried for a request when
// it is enabled and its method and path pattern fit.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cgi/component.h"
#include "cgi/mask.h"
#include "cgi/web_request.h"

namespace cgi {

class TWebResponse;
class TWebActionItems;

// Every handler of a web module: the sender (the module for its before and
// after handlers, the action item for an action), the request, the response
// and whether the request counts as handled.
using THTTPMethodEvent = std::function<void(TObject* Sender, TWebRequest& Request,
                                            TWebResponse& Response, bool& Handled)>;

// One action item. Its name is unique within its collection (without regard
// to case); at most one item of a collection is the default. The compiled
// path pattern is rebuilt when PathInfo changed since it was compiled.
class TWebActionItem : public TObject {
 public:
  explicit TWebActionItem(TWebActionItems& collection, std::string name);

  bool Default() const { return default_; }
  // Setting true clears Default on every other item of the collection.
  void SetDefault(bool value);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value) { enabled_ = value; }
  TMethodType MethodType() const { return method_type_; }
  void SetMethodType(TMethodType value) { method_type_ = value; }
  const std::string& Name() const { return name_; }
  // Raises EWebBrokerException "Doppelter Aktionsname" when another item of
  // the collection has this name (without regard to case); unchanged then.
  void SetName(const std::string& value);
  const std::string& PathInfo() const { return path_info_; }
  // "\" becomes "/", and a "/" is put in front of a value that lacks one.
  void SetPathInfo(const std::string& value);
  const THTTPMethodEvent& OnAction() const { return on_action_; }
  void SetOnAction(THTTPMethodEvent handler) { on_action_ = std::move(handler); }

  // Whether the item takes the request: as the default (AsDefault and
  // Default), or when enabled with a fitting method and path. A taking item
  // with a handler runs it with Handled preset to true and returns what the
  // handler left; an item without a handler never takes a request. Raises
  // EMaskException for an invalid PathInfo pattern.
  bool TryAction(TWebRequest& request, TWebResponse& response, bool as_default);

  TWebActionItems& Collection() const { return collection_; }

 private:
  const TMask& CompiledPathInfo();

  TWebActionItems& collection_;
  bool default_ = false;
  bool enabled_ = true;
  TMethodType method_type_ = mtAny;
  std::string name_;
  std::string path_info_;
  THTTPMethodEvent on_action_;
  std::optional<TMask> mask_;
  std::string mask_text_;
};

// The ordered action items of one dispatcher; owns them. Items keep their
// address while they are in the collection.
class TWebActionItems {
 public:
  explicit TWebActionItems(TObject* dispatcher) : dispatcher_(dispatcher) {}

  // A new item named with the first free "WebActionItem<n>", n from 1.
  TWebActionItem& Add();
  int Count() const { return static_cast<int>(items_.size()); }
  TWebActionItem& operator[](int index) const { return *items_.at(index); }
  // The item of this name (without regard to case), or nullptr.
  TWebActionItem* Find(const std::string& name) const;
  void Delete(int index);
  TObject* Dispatcher() const { return dispatcher_; }

 private:
  TObject* dispatcher_;
  std::vector<std::unique_ptr<TWebActionItem>> items_;
};

}  // namespace cgi
