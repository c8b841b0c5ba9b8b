// The dispatcher that offers a request to a web module's handlers, and the
// web module base class.
#pragma once

#include <string>

#include "cgi/component.h"
#include "cgi/web_action.h"

namespace cgi {

// Dispatches one request: the before-handler, the enabled and fitting action
// items in order, the default item, and the after-handler. Owns its action
// items; remembers the request and response of the dispatch in progress (not
// owned). A dispatcher cannot be owned by another dispatcher.
class TCustomWebDispatcher : public TComponent {
 public:
  // Raises EWebBrokerException "Nur ein WebDispatcher pro Formular/Datenmodul"
  // when `owner` is itself a dispatcher.
  explicit TCustomWebDispatcher(TComponent* owner);

  TWebActionItems& Actions() { return actions_; }
  const THTTPMethodEvent& BeforeDispatch() const { return before_dispatch_; }
  void SetBeforeDispatch(THTTPMethodEvent handler) { before_dispatch_ = std::move(handler); }
  const THTTPMethodEvent& AfterDispatch() const { return after_dispatch_; }
  void SetAfterDispatch(THTTPMethodEvent handler) { after_dispatch_ = std::move(handler); }

  // True when the request counts as handled. Handler errors pass through.
  bool DispatchToActions(TWebRequest& request, TWebResponse& response);

  TWebRequest* Request() const { return request_; }
  TWebResponse* Response() const { return response_; }

 private:
  TWebActionItems actions_{this};
  THTTPMethodEvent before_dispatch_;
  THTTPMethodEvent after_dispatch_;
  TWebRequest* request_ = nullptr;
  TWebResponse* response_ = nullptr;
};

// Base of a program's web module. A module class builds its components,
// action items and handlers in DefineComponents, which runs right after
// construction; a class that does not define any raises EResNotFound
// "Ressource <class name> wurde nicht gefunden".
class TWebModule : public TCustomWebDispatcher {
 public:
  explicit TWebModule(TComponent* owner) : TCustomWebDispatcher(owner) {}
  void AfterConstruction() override { DefineComponents(); }

 protected:
  virtual void DefineComponents();
};

}  // namespace cgi
