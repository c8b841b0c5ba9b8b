// How a table name becomes the names of its three files: the name is
// trimmed; an extension ".DAT" (any letter case) is replaced, any other
// extension is kept and the file extension appended. "Banner" and
// "banner.dat" therefore name the same table.
#pragma once

#include <string>
#include <string_view>

namespace strata {

inline constexpr std::string_view kDataExtension = ".DAT";
inline constexpr std::string_view kIndexExtension = ".IDX";
inline constexpr std::string_view kBlobExtension = ".BLB";

// The table name without surrounding blanks and without a ".DAT" extension.
std::string TableBaseName(std::string_view table_name);
// The key under which a directory shares one table object: the base name in
// upper case (names compare without regard to letter case).
std::string TableKey(std::string_view table_name);
// directory (a trailing '/' added when missing) + base name + extension.
std::string TableFilePath(std::string_view directory, std::string_view table_name,
                          std::string_view extension);
// A directory path with surrounding blanks removed and a trailing '/' added
// (empty stays empty).
std::string NormalizeDirectory(std::string_view directory);
// ASCII letter case folding for engine names.
std::string UpperCaseName(std::string_view name);
bool SameName(std::string_view a, std::string_view b);

}  // namespace strata
