// How a table name written in a statement becomes a table: the file-name
// part without a ".dat" extension names the table, the path part (if any)
// the directory it lies in; MEMORY puts it in the in-memory database.
//
//   written                 table      directory
//   Banner                  Banner     (the database's)
//   "Banner.DAT"            Banner     (the database's)
//   "Banner.old"            Banner.old (the database's)
//   "c:\data\Banner.dat"    Banner     c:\data\ (with the separator)
//   "/srv/data/Banner.dat"  Banner     /srv/data/
//
// "\", ":" and "/" all separate the path from the file name ("/" because
// this system's own paths use it). Table and correlation names compare
// without regard to letter case.
#pragma once

#include <string>
#include <string_view>

namespace strata {

struct TTableName {
  std::string Name;       // without path and ".dat"; also the default correlation name
  std::string Directory;  // path part with its trailing separator; empty: the database's
  bool InMemory = false;
};

TTableName ResolveTableName(std::string_view written, bool in_memory);

// Table and correlation names: equal ignoring letter case.
bool SameTableName(std::string_view a, std::string_view b);

}  // namespace strata
