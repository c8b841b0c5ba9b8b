#include "storage/table_files.h"

#include <algorithm>

namespace strata {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string UpperCaseName(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && UpperCaseName(a) == UpperCaseName(b);
}

std::string TableBaseName(std::string_view table_name) {
  std::string_view name = Trim(table_name);
  if (name.size() >= kDataExtension.size() &&
      SameName(name.substr(name.size() - kDataExtension.size()), kDataExtension)) {
    name.remove_suffix(kDataExtension.size());
  }
  return std::string(name);
}

std::string TableKey(std::string_view table_name) {
  return UpperCaseName(TableBaseName(table_name));
}

std::string NormalizeDirectory(std::string_view directory) {
  std::string path(Trim(directory));
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

std::string TableFilePath(std::string_view directory, std::string_view table_name,
                          std::string_view extension) {
  return NormalizeDirectory(directory) + TableBaseName(table_name) + std::string(extension);
}

}  // namespace strata
