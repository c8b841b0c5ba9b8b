#include "storage/engine_names.h"

namespace strata {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string TableNameWithoutExtension(std::string_view table_name) {
  std::string_view name = Trim(table_name);
  if (name.size() >= kDataFileExtension.size() &&
      SameName(name.substr(name.size() - kDataFileExtension.size()), kDataFileExtension)) {
    name.remove_suffix(kDataFileExtension.size());
  }
  return std::string(name);
}

std::string TableNameKey(std::string_view table_name) {
  return UpperCaseName(TableNameWithoutExtension(table_name));
}

std::string NormalizeDirectory(std::string_view directory) {
  std::string path(Trim(directory));
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

}  // namespace strata
