// Translation of the operating system's file errors into engine error codes.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/file.h"

namespace strata {

// The engine code of an OS failure kind (11010 .. 11047):
//   not found                  STRATA_OSENOENT (11010)
//   too many files             STRATA_OSEMFILE (11012)
//   access denied / sharing    STRATA_OSEACCES (11013)
//   bad handle                 STRATA_OSEBADF (11014)
//   no memory                  STRATA_OSENOMEM (11016)
//   invalid drive              STRATA_OSENODEV (11023)
//   not same device            STRATA_OSENOTSAM (11025)
//   anything else              STRATA_OSUNKNOWN (11047)
uint16_t OsErrorCode(platform::OsErrorKind kind);

// Raises `code` naming `name`, with the engine error's OsError set to
// `os_error` (the system's error number behind the failure).
[[noreturn]] void RaiseFileError(uint16_t code, int32_t os_error, std::string_view name);

// Raises the engine error mapped from an OS failure, naming `name`.
[[noreturn]] void RaiseOsError(const platform::OsError& error, std::string_view name);

}  // namespace strata
