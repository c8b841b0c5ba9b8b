#include "sql/parse/table_name.h"

#include "storage/engine_names.h"

namespace strata {

TTableName ResolveTableName(std::string_view written, bool in_memory) {
  TTableName result;
  result.InMemory = in_memory;
  const size_t separator = written.find_last_of("\\:/");
  std::string_view file = written;
  if (separator != std::string_view::npos) {
    result.Directory = std::string(written.substr(0, separator + 1));
    file = written.substr(separator + 1);
  }
  result.Name = TableNameWithoutExtension(file);
  return result;
}

bool SameTableName(std::string_view a, std::string_view b) { return SameName(a, b); }

}  // namespace strata
