// The administrator's way of writing a table definition on the command
// line, and its translation into field descriptors and index definitions.
//
//   field:  NAME:TYPE[:OPTION]...
//     TYPE    string(N) fixed(N) bytes(N) varbytes(N) bcd(DECIMALS) date time
//             timestamp boolean smallint integer autoinc float money word
//             largeint blob memo fmtmemo graphic typedbinary
//     OPTION  required  upper  lower  default=TEXT  min=TEXT  max=TEXT
//   index:  NAME:FIELD[,FIELD]...[:unique][:desc][:nocase]
//   primary key:  FIELD[,FIELD]...   (no primary key: records in row order)
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "storage/record/field_descriptor.h"
#include "storage/index/index_definition.h"

namespace strata_tool {

// A definition the tool cannot understand; the message says what and where.
class DefinitionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One field; its number is `number`. Value texts are checked later by the
// engine's create-table validation.
strata::TFieldDescriptor ParseFieldDefinition(std::string_view text, uint16_t number);

// The primary index over the named fields.
strata::TIndexDef ParsePrimaryDefinition(std::string_view text,
                                         const std::vector<strata::TFieldDescriptor>& fields);

// A secondary index.
strata::TIndexDef ParseIndexDefinition(std::string_view text,
                                       const std::vector<strata::TFieldDescriptor>& fields);

// The type word of a descriptor, as written in a field text ("string(40)").
std::string TypeText(const strata::TFieldDescriptor& field);

}  // namespace strata_tool
