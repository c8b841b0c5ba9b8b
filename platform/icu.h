// The ICU functions that locale-aware text uses, and how a program reaches
// them.
//
// Two providers define Open and InUse:
//   icu_dlopen.cpp          (in the platform library) opens ICU's shared
//                           libraries with dlopen on first need, so a program
//                           that never leaves US English ASCII never loads
//                           them;
//   icu_static/icu_static.cpp (the object library platform_icu_static) takes
//                           the functions from ICU's static libraries, for a
//                           program linked without the dynamic loader (which
//                           cannot dlopen ICU: a statically linked process has
//                           no loader to share with it). ICU's code and data
//                           are then part of the program file but paged in,
//                           and ICU initialised, only on first need.
// A program that links platform_icu_static gets its definitions instead of
// the loader's: the linker takes object files named to it before it looks in
// archives, so icu_dlopen.o is never taken from the platform library there.
#pragma once

#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

namespace platform::icu {

// The C functions in use. The types come from ICU's headers; with renaming on
// (icu_static.cpp) the names stand for the versioned functions, which have
// the same types.
struct Api {
  decltype(&::uloc_getLocaleForLCID) uloc_getLocaleForLCID;
  decltype(&::u_strToUpper) u_strToUpper;
  decltype(&::u_strToLower) u_strToLower;
  decltype(&::ucol_open) ucol_open;
  decltype(&::ucol_close) ucol_close;
  decltype(&::ucol_setAttribute) ucol_setAttribute;
  decltype(&::ucol_strcoll) ucol_strcoll;
};

// The functions, or nullptr when ICU cannot be reached. Called once per
// process (nls.cpp guards it), on the first text that needs ICU; the result
// is never freed.
const Api* Open();

// Whether ICU is in this process: loaded (icu_dlopen.cpp) or opened
// (icu_static.cpp). A diagnostic for tests.
bool InUse();

}  // namespace platform::icu
