// Turns parsed DDL statements into the storage engine's definitions: a new
// table's TTableDefinition, an index's TIndexDef, and the definition a table
// has after an ALTER TABLE. The storage engine validates what it is given
// (names, sizes, value texts, key sizes); these functions only resolve
// column names and apply the statement's steps, raising 11949 for a column
// that is not there (or already there).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sql/parse/ddl_statement.h"
#include "storage/index/index_definition.h"
#include "storage/table/table_definition.h"

namespace strata {

// Fields numbered 1, 2, ... in written order; PRIMARY KEY becomes the
// primary index; the table options fill the rest. LAST AUTOINC and the text
// index are not part of a TTableDefinition: the caller applies them.
TTableDefinition TableDefinitionOf(const TCreateTableStatement& create);

// The key fields looked up by name in `fields` (of the table `table`).
TIndexDef IndexDefinitionOf(const TCreateIndexStatement& create,
                            std::span<const TFieldDescriptor> fields);

// A table's definition after ALTER TABLE, and where each new field's values
// come from: SourceFields[i] is the current field number that field i + 1
// takes its values from, 0 for an added field. Fields are renumbered 1, 2,
// ...; indexes follow their fields, and an index that loses a key field is
// dropped.
struct TAlteredTable {
  TTableDefinition Definition;
  std::vector<uint16_t> SourceFields;
};
TAlteredTable AlteredDefinitionOf(const TTableDefinition& current,
                                  const TAlterTableStatement& alter);

// Applies the table options to a definition (ALTER TABLE keeps what the
// options leave out).
void ApplyTableOptions(const TTableOptions& options, TTableDefinition& definition);

}  // namespace strata
