// The application's web module pool and the serving of one request.
#pragma once

#include <mutex>
#include <vector>

#include "cgi/component.h"
#include "cgi/web_request.h"
#include "cgi/web_response.h"

namespace cgi {

// Owns the web modules it creates (as their owner). Active modules serve a
// request; returned modules wait in the inactive list when KeepModules is set
// and are freed otherwise. The lists are touched only under the pool's lock.
class TWebApplication : public TComponent {
 public:
  TWebApplication() : TComponent(nullptr) {}

  // Records the module class. A second call raises EWebBrokerException "Nur
  // ein Datenmodul pro Anwendung". Creates no instance.
  void RegisterModule(TComponentClass module_class);
  template <class T>
  void RegisterModule() {
    RegisterModule(ClassOf<T>());
  }
  const TComponentClass& ModuleClass() const { return module_class_; }

  int ModuleLimit() const { return module_limit_; }
  void SetModuleLimit(int limit) { module_limit_ = limit; }
  bool KeepModules() const { return keep_modules_; }
  void SetKeepModules(bool keep) { keep_modules_ = keep; }

  // An inactive module, or a new one of ModuleClass; raises when no class is
  // registered or ModuleLimit modules are active.
  TComponent* TakeModule();
  void ReturnModule(TComponent* module);
  int ActiveCount();
  int InactiveCount();

  // Takes a module, dispatches the request to it, sends the response when it
  // was handled and is not yet sent, and returns the module on every path.
  bool ServeRequest(TWebRequest& request, TWebResponse& response);

 private:
  std::mutex pool_lock_;
  std::vector<TComponent*> active_;
  std::vector<TComponent*> inactive_;
  int module_limit_ = 32;
  bool keep_modules_ = true;
  TComponentClass module_class_;
};

}  // namespace cgi
