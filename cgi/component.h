// The object model the gateway builds on: objects that know their class name,
// and components that own other components.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "cgi/errors.h"

namespace cgi {

// Base of every object a handler may receive as its sender.
class TObject {
 public:
  virtual ~TObject() = default;
  // The name of the object's most derived class, without namespaces.
  std::string ClassName() const;
};

// A component: has a name and an owner, and owns the components created with
// it as their owner. An owner frees what it owns when it is freed, in reverse
// order of creation. A component is inserted into its owner only after it has
// been fully built (constructor and AfterConstruction), so a component whose
// construction fails never appears in its owner's list.
class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* owner = nullptr) : owner_(owner) {}
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  // Runs once after the constructor, before the component is handed to its
  // owner; may raise, and the component is then freed.
  virtual void AfterConstruction() {}

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const { return components_.at(index).get(); }

  // Takes ownership of a component built with this one as its owner.
  TComponent& InsertComponent(std::unique_ptr<TComponent> component);
  // Frees an owned component; nothing happens when it is not owned here.
  void FreeComponent(TComponent* component);

 private:
  TComponent* owner_;
  std::string name_;
  std::vector<std::unique_ptr<TComponent>> components_;
};

// Builds a component of class T with the given owner (not null), runs its
// AfterConstruction and hands it to the owner. Returns the new component.
template <class T, class... Args>
T& CreateComponent(TComponent* owner, Args&&... args) {
  auto component = std::make_unique<T>(owner, std::forward<Args>(args)...);
  component->AfterConstruction();
  T& result = *component;
  owner->InsertComponent(std::move(component));
  return result;
}

// A class reference: the class's name and how to build an instance of it
// (constructor, then AfterConstruction) for an owner.
struct TComponentClass {
  std::string ClassName;
  std::function<std::unique_ptr<TComponent>(TComponent* owner)> Create;

  explicit operator bool() const { return static_cast<bool>(Create); }
};

template <class T>
TComponentClass ClassOf() {
  return TComponentClass{.ClassName = ClassNameOf(typeid(T)),
                         .Create = [](TComponent* owner) -> std::unique_ptr<TComponent> {
                           auto component = std::make_unique<T>(owner);
                           component->AfterConstruction();
                           return component;
                         }};
}

}  // namespace cgi
