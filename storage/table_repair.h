// The repair of a damaged table, for the administrator's `strata repair`.
//
// It makes the table sound again and says what it did, losing only what was
// already lost:
//   1. the check names the faults (or the failure to open the table); a
//      sound table is left as it is;
//   2. the three files are copied to their backups (".DBK", ".IBK",
//      ".BBK"), replacing older backups;
//   3. the files' geometry is mended: a partial record slot or blob block
//      at the end of a file is cut off (the slot's bytes are set aside), the
//      headers' slot and block counts follow the files, an index file
//      without a usable header is made anew (only the row-order index is
//      left: the other definitions were in the lost header), a blob file
//      without a header likewise;
//   4. records whose own data cannot be read (a status byte that is neither
//      live nor deleted, a row number of 0 or below, a row number held by
//      another record, a key another record holds in a unique index) are set
//      aside into the side file TABLE.LOST beside the table and their slots
//      freed; of two records with one row number or one unique key, the one
//      the old index knew stays;
//   5. blob references whose chain is broken (out of the file, looping, a
//      block of another row, links or byte counts that disagree) are cleared,
//      and what the chain still held goes into the side file;
//   6. every slot and blob block that holds nothing goes back on its free
//      chain; the last row number handed out is raised to the highest row;
//   7. every index is rebuilt from the records kept, and the table checked
//      again.
// The side file is text: a line per record or value set aside saying where
// it came from and why, followed by its bytes in hexadecimal. Repairs append
// to it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "storage/table_check.h"

namespace strata {

class TDataDirectory;

inline constexpr std::string_view kSetAsideExtension = ".LOST";
inline constexpr std::string_view kDataBackupExtension = ".DBK";
inline constexpr std::string_view kIndexBackupExtension = ".IBK";
inline constexpr std::string_view kBlobBackupExtension = ".BBK";

struct TTableRepairReport {
  // What the check named before the repair (the failure to open the table
  // is one such line). Empty: the table was sound and nothing was done.
  std::vector<std::string> FaultsFound;
  std::vector<std::string> Actions;  // what the repair did, one line each
  uint32_t RecordsSetAside = 0;
  uint32_t ValuesCleared = 0;
  std::string SideFile;     // path of the side file when anything went there
  TTableCheckResult After;  // the check after the repair (or the only one)
};

// Repairs table `table_name` of `directory`, which must not have it open;
// the table's files are used exclusively throughout. Errors that leave
// nothing to repair (the table is missing, in use or password-protected:
// 11010, 11013, 10498, 10015) and a
// data file header beyond repair (unreadable descriptors, version, locale)
// are raised before anything is changed.
TTableRepairReport RepairTable(const std::shared_ptr<TDataDirectory>& directory,
                               std::string_view table_name);

}  // namespace strata
