#include "storage/file/os_error_map.h"

#include <cerrno>

#include "storage/engine_error.h"

namespace strata {

uint16_t OsErrorCode(platform::OsErrorKind kind) {
  switch (kind) {
    case platform::OsErrorKind::kNotFound:
      return STRATA_OSENOENT;
    case platform::OsErrorKind::kTooManyFiles:
      return STRATA_OSEMFILE;
    case platform::OsErrorKind::kAccessDenied:
      return STRATA_OSEACCES;
    case platform::OsErrorKind::kBadHandle:
      return STRATA_OSEBADF;
    case platform::OsErrorKind::kNoMemory:
      return STRATA_OSENOMEM;
    case platform::OsErrorKind::kInvalidDrive:
      return STRATA_OSENODEV;
    case platform::OsErrorKind::kNotSameDevice:
      return STRATA_OSENOTSAM;
    case platform::OsErrorKind::kOther:
      break;
  }
  return STRATA_OSUNKNOWN;
}

void RaiseFileError(uint16_t code, int32_t os_error, std::string_view name) {
  // The raised error takes its OsError from errno at the moment of raising.
  errno = os_error;
  RaiseTableError(code, name);
}

void RaiseOsError(const platform::OsError& error, std::string_view name) {
  RaiseFileError(OsErrorCode(error.kind()), error.errno_value(), name);
}

}  // namespace strata
