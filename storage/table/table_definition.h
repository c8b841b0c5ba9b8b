// TTableDefinition: everything a new table is created from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "storage/record/field_descriptor.h"
#include "storage/index/index_definition.h"

namespace strata {

struct TTableDefinition {
  std::string Name;  // table name (".DAT" optional)
  // Validated by the caller (ValidateFieldDescriptors: data sizes, offsets).
  std::vector<TFieldDescriptor> Fields;
  std::vector<TIndexDef> Indexes;  // primary (if any) and secondary indexes
  uint16_t LanguageId = 0;         // 0: "ANSI Standard"
  uint16_t SortId = 0;
  uint32_t BlobBlockSize = 0;  // 0 means 512
  std::string Description;
  std::string Password;
  bool Encrypted = false;
  uint16_t UserValueA = 0;
  uint16_t UserValueB = 0;
};

}  // namespace strata
