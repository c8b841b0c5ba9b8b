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

// The C functions in use, with ICU's own signatures (the static provider's
// initialiser checks them against the functions themselves).
struct Api {
  int32_t (*uloc_getLocaleForLCID)(uint32_t host_id, char* locale, int32_t capacity,
                                   UErrorCode* status);
  int32_t (*u_strToUpper)(UChar* dest, int32_t capacity, const UChar* source, int32_t length,
                          const char* locale, UErrorCode* status);
  int32_t (*u_strToLower)(UChar* dest, int32_t capacity, const UChar* source, int32_t length,
                          const char* locale, UErrorCode* status);
  UCollator* (*ucol_open)(const char* locale, UErrorCode* status);
  void (*ucol_close)(UCollator* collator);
  void (*ucol_setAttribute)(UCollator* collator, UColAttribute attribute, UColAttributeValue value,
                            UErrorCode* status);
  UCollationResult (*ucol_strcoll)(const UCollator* collator, const UChar* source,
                                   int32_t source_length, const UChar* target,
                                   int32_t target_length);
};

// The functions, or nullptr when ICU cannot be reached. Called once per
// process (nls.cpp guards it), on the first text that needs ICU; the result
// is never freed.
const Api* Open();

// Whether ICU is in this process: loaded (icu_dlopen.cpp) or opened
// (icu_static.cpp). A diagnostic for tests.
bool InUse();

}  // namespace platform::icu
