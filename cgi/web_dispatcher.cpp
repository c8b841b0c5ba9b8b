#include "cgi/web_dispatcher.h"

#include "cgi/errors.h"
#include "cgi/web_response.h"

namespace cgi {

TCustomWebDispatcher::TCustomWebDispatcher(TComponent* owner) : TComponent(owner) {
  if (dynamic_cast<TCustomWebDispatcher*>(owner) != nullptr) {
    throw EWebBrokerException("Nur ein WebDispatcher pro Formular/Datenmodul");
  }
}

bool TCustomWebDispatcher::DispatchToActions(TWebRequest& request, TWebResponse& response) {
  request_ = &request;
  response_ = &response;

  bool handled = false;
  if (before_dispatch_) before_dispatch_(this, request, response, handled);
  bool result = handled || response.Sent();

  TWebActionItem* default_item = nullptr;
  // Items are read as they are reached: a handler may enable or disable any
  // of them on the way.
  for (int i = 0; !result && i < actions_.Count(); ++i) {
    TWebActionItem& item = actions_[i];
    result = item.TryAction(request, response, false);
    if (item.Default()) default_item = &item;
  }
  if (!result && default_item != nullptr) result = default_item->TryAction(request, response, true);

  if (result && !response.Sent()) {
    handled = true;
    if (after_dispatch_) after_dispatch_(this, request, response, handled);
    result = handled;
  }
  return result;
}

void TWebModule::DefineComponents() {
  throw EResNotFound("Ressource " + ClassName() + " wurde nicht gefunden");
}

}  // namespace cgi
