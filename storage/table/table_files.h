// The names of a table's files: the data file ".DAT", the index file ".IDX",
// the blob file ".BLB", and the backups ".DBK", ".IBK", ".BBK" made while a
// table is altered.
#pragma once

#include <string>

namespace strata {

struct TTableFileNames {
  std::string Data;
  std::string Index;
  std::string Blob;
  std::string DataBackup;
  std::string IndexBackup;
  std::string BlobBackup;
};

// The table name trimmed, without a ".DAT" extension (any letter case):
// "Banner" and " Banner.dat " both give "Banner"; "Banner.txt" stays.
std::string TableBaseName(const std::string& table_name);

// The full paths of the table's files in `directory` (a '/' is added when
// the directory lacks one; an empty directory leaves the bare file names):
// Banner in /data gives /data/Banner.DAT, /data/Banner.IDX, /data/Banner.BLB.
TTableFileNames TableFileNames(const std::string& directory, const std::string& table_name);

}  // namespace strata
