// How the engine compares and keys its names: engine names (tables,
// sessions, databases, directories) compare without regard to letter case;
// a directory shares one table object per table name, the name taken
// without surrounding blanks and without a ".DAT" extension, so "Banner" and
// "banner.dat" are one table.
#pragma once

#include <string>
#include <string_view>

#include "platform/letter_case.h"

namespace strata {

inline constexpr std::string_view kDataFileExtension = ".DAT";
inline constexpr std::string_view kIndexFileExtension = ".IDX";
inline constexpr std::string_view kBlobFileExtension = ".BLB";
// The table's rollback journal (see file/rollback_journal.h).
inline constexpr std::string_view kJournalFileExtension = ".JNL";
// Scratch files of the external record sort, in the private directory.
inline constexpr std::string_view kSortRunExtension = ".TMP";

// Engine names fold ASCII letter case only (platform/letter_case.h).
inline std::string UpperCaseName(std::string_view name) { return platform::AsciiUpperCase(name); }
inline bool SameName(std::string_view a, std::string_view b) {
  return platform::SameAsciiIgnoringCase(a, b);
}

// The table name trimmed and without a ".DAT" extension (any letter case).
std::string TableNameWithoutExtension(std::string_view table_name);
// The key under which a directory shares one table object: the name without
// extension, in upper case.
std::string TableNameKey(std::string_view table_name);

// A directory path with surrounding blanks removed and a trailing '/' added
// (empty stays empty).
std::string NormalizeDirectory(std::string_view directory);

}  // namespace strata
