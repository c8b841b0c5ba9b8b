#include "cgi/component.h"

#include <algorithm>

#include "cgi/errors.h"

namespace cgi {

std::string TObject::ClassName() const { return ClassNameOf(typeid(*this)); }

TComponent::~TComponent() {
  // Reverse order of creation: later components may refer to earlier ones.
  while (!components_.empty()) components_.pop_back();
}

TComponent& TComponent::InsertComponent(std::unique_ptr<TComponent> component) {
  components_.push_back(std::move(component));
  return *components_.back();
}

void TComponent::FreeComponent(TComponent* component) {
  auto it = std::find_if(components_.begin(), components_.end(),
                         [component](const auto& owned) { return owned.get() == component; });
  if (it == components_.end()) return;
  std::unique_ptr<TComponent> freed = std::move(*it);
  components_.erase(it);
}

}  // namespace cgi
