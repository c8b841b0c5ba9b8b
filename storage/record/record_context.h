// TRecordContext: what field access needs to know about the table a record
// buffer belongs to: its name (errors name it) and the locale that case
// mapping and string comparison use.
#pragma once

#include <cstdint>
#include <string>

#include "platform/nls.h"

namespace strata {

// Copied from the data file header; cheap to keep one per open table.
struct TRecordContext {
  std::string TableName;
  uint16_t LocaleId = 0;  // 0 means US English (1033) with sort 0
  uint16_t SortId = 0;

  // The locale id for platform::nls.
  uint32_t NlsLocaleId() const {
    if (LocaleId == 0) return platform::nls::MakeLocaleId(platform::nls::kUsEnglish, 0);
    return platform::nls::MakeLocaleId(LocaleId, SortId);
  }
};

}  // namespace strata
