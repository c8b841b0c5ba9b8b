// ICU opened with dlopen on first need (see icu.h).
//
// ICU is not linked: its two libraries are opened by name and its C
// functions resolved by their versioned names (ucol_open_72 and so on). The
// headers serve only for types and constants, so renaming is turned off to
// keep their declarations unversioned and unreferenced.
#define U_DISABLE_RENAMING 1
#define U_SHOW_CPLUSPLUS_API 0

#include <dlfcn.h>

#include <memory>
#include <string>

#include "platform/icu.h"

#ifndef BANNER_ICU_MAJOR
#error "BANNER_ICU_MAJOR (the ICU major version) must be defined"
#endif
#define BANNER_STRINGIFY2(x) #x
#define BANNER_STRINGIFY(x) BANNER_STRINGIFY2(x)

namespace platform::icu {

namespace {

constexpr const char* kIcuMajor = BANNER_STRINGIFY(BANNER_ICU_MAJOR);

template <typename Function>
bool Resolve(void* library, const char* name, Function* target) {
  const std::string versioned = std::string(name) + "_" + kIcuMajor;
  void* symbol = dlsym(library, versioned.c_str());
  if (symbol == nullptr) symbol = dlsym(library, name);  // a build without renaming
  *target = reinterpret_cast<Function>(symbol);
  return symbol != nullptr;
}

}  // namespace

const Api* Open() {
  const std::string suffix = std::string(".so.") + kIcuMajor;
  void* uc = dlopen(("libicuuc" + suffix).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (uc == nullptr) return nullptr;
  void* i18n = dlopen(("libicui18n" + suffix).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (i18n == nullptr) {
    dlclose(uc);
    return nullptr;
  }
  auto api = std::make_unique<Api>();
  if (!Resolve(uc, "uloc_getLocaleForLCID", &api->uloc_getLocaleForLCID) ||
      !Resolve(uc, "u_strToUpper", &api->u_strToUpper) ||
      !Resolve(uc, "u_strToLower", &api->u_strToLower) ||
      !Resolve(i18n, "ucol_open", &api->ucol_open) ||
      !Resolve(i18n, "ucol_close", &api->ucol_close) ||
      !Resolve(i18n, "ucol_setAttribute", &api->ucol_setAttribute) ||
      !Resolve(i18n, "ucol_strcoll", &api->ucol_strcoll)) {
    dlclose(i18n);
    dlclose(uc);
    return nullptr;
  }
  return api.release();  // never unloaded
}

bool InUse() {
  // Asks the dynamic linker, without loading anything.
  const std::string name = std::string("libicuuc.so.") + kIcuMajor;
  void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

}  // namespace platform::icu
