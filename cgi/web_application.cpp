#include "cgi/web_application.h"

#include <algorithm>

#include "cgi/errors.h"
#include "cgi/web_dispatcher.h"
#include "platform/windows1252.h"

namespace cgi {

using namespace platform::literals;

void TWebApplication::RegisterModule(TComponentClass module_class) {
  if (module_class_) throw EWebBrokerException("Nur ein Datenmodul pro Anwendung");
  module_class_ = std::move(module_class);
}

TComponent* TWebApplication::TakeModule() {
  std::lock_guard<std::mutex> lock(pool_lock_);
  if (module_limit_ >= 1 && static_cast<int>(active_.size()) >= module_limit_) {
    throw EWebBrokerException(
        "Die maximale Anzahl gleichzeitiger Verbindungen wurde überschritten. Versuchen Sie "
        "später noch einmal"_w1252);
  }
  TComponent* module;
  if (inactive_.empty()) {
    if (!module_class_) throw EWebBrokerException("Es wurden keine Datenmodule registriert");
    std::unique_ptr<TComponent> created = module_class_.Create(this);
    if (!created) return nullptr;
    module = &InsertComponent(std::move(created));
  } else {
    module = inactive_.front();
    inactive_.erase(inactive_.begin());
  }
  active_.push_back(module);
  return module;
}

void TWebApplication::ReturnModule(TComponent* module) {
  std::lock_guard<std::mutex> lock(pool_lock_);
  auto it = std::find(active_.begin(), active_.end(), module);
  if (it != active_.end()) active_.erase(it);
  if (keep_modules_) {
    inactive_.push_back(module);
  } else {
    FreeComponent(module);
  }
}

int TWebApplication::ActiveCount() {
  std::lock_guard<std::mutex> lock(pool_lock_);
  return static_cast<int>(active_.size());
}

int TWebApplication::InactiveCount() {
  std::lock_guard<std::mutex> lock(pool_lock_);
  return static_cast<int>(inactive_.size());
}

namespace {

TCustomWebDispatcher* FindDispatcher(TComponent& module) {
  if (auto* dispatcher = dynamic_cast<TCustomWebDispatcher*>(&module)) return dispatcher;
  for (int i = 0; i < module.ComponentCount(); ++i) {
    if (auto* dispatcher = dynamic_cast<TCustomWebDispatcher*>(module.Components(i))) {
      return dispatcher;
    }
  }
  throw EWebBrokerException("Im Datenmodul wurde keine Dispatcher-Komponente gefunden");
}

// Hands a taken module back to the pool when it goes out of scope.
class ModuleLease {
 public:
  ModuleLease(TWebApplication& application, TComponent* module)
      : application_(application), module_(module) {}
  ~ModuleLease() { application_.ReturnModule(module_); }
  ModuleLease(const ModuleLease&) = delete;
  ModuleLease& operator=(const ModuleLease&) = delete;

 private:
  TWebApplication& application_;
  TComponent* module_;
};

}  // namespace

bool TWebApplication::ServeRequest(TWebRequest& request, TWebResponse& response) {
  TComponent* module = TakeModule();
  if (module == nullptr) return false;
  ModuleLease lease(*this, module);
  TCustomWebDispatcher* dispatcher = FindDispatcher(*module);
  bool handled = dispatcher->DispatchToActions(request, response);
  if (handled && !response.Sent()) response.Send();
  return handled;
}

}  // namespace cgi
