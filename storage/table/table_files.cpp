#include "storage/table/table_files.h"

#include "storage/file/file_list.h"

namespace strata {
namespace {

bool EndsWithDat(const std::string& name) {
  if (name.size() < 4) return false;
  const std::string tail = name.substr(name.size() - 4);
  return tail[0] == '.' && (tail[1] == 'D' || tail[1] == 'd') &&
         (tail[2] == 'A' || tail[2] == 'a') && (tail[3] == 'T' || tail[3] == 't');
}

}  // namespace

std::string TableBaseName(const std::string& table_name) {
  std::string name = TrimPath(table_name);
  if (EndsWithDat(name)) name.resize(name.size() - 4);
  return name;
}

TTableFileNames TableFileNames(const std::string& directory, const std::string& table_name) {
  std::string prefix = directory;
  if (!prefix.empty() && prefix.back() != '/') prefix += '/';
  prefix += TableBaseName(table_name);
  return {prefix + ".DAT", prefix + ".IDX", prefix + ".BLB",
          prefix + ".DBK", prefix + ".IBK", prefix + ".BBK"};
}

}  // namespace strata
