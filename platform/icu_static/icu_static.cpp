// ICU linked in from its static libraries (see platform/icu.h).
#define U_SHOW_CPLUSPLUS_API 0

#include <atomic>

#include "platform/icu.h"

namespace platform::icu {

namespace {

std::atomic<bool> opened{false};

}  // namespace

const Api* Open() {
  static const Api api{
      &::uloc_getLocaleForLCID, &::u_strToUpper, &::u_strToLower, &::ucol_open, &::ucol_close,
      &::ucol_setAttribute,     &::ucol_strcoll};
  opened.store(true, std::memory_order_relaxed);
  return &api;
}

bool InUse() { return opened.load(std::memory_order_relaxed); }

}  // namespace platform::icu

// A statically linked process cannot load shared libraries safely: a library
// would bring a second C library, one that cannot even take ICU's own
// mutexes. ICU calls dlopen only to load plug-ins, which this program never
// asks for; the link sends its calls here (--wrap=dlopen, CMakeLists.txt),
// where they are refused.
extern "C" void* __wrap_dlopen(const char*, int) { return nullptr; }
