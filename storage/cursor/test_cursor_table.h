// Test helper for cursor tests: an engine session and directory on a fresh
// temporary folder, table definitions built field by field, error codes of
// failing calls, and the structural checks of a table's three files.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "storage/blob/blob_file.h"
#include "storage/cursor/data_cursor.h"
#include "storage/session/data_directory.h"
#include "storage/data/data_file.h"
#include "storage/session/data_session.h"
#include "storage/table/data_table.h"
#include "storage/engine_error.h"
#include "storage/index/index_file.h"
#include "storage/record/record_header.h"
#include "storage/table_check.h"
#include "storage/table/table_definition.h"
#include "storage/table/table_lock_guards.h"
#include "storage/test_temp_dir.h"

namespace strata::testing {

// The engine error code a call raises, 0 when it raises none.
template <class F>
uint16_t ErrorCodeOf(F&& body) {
  try {
    body();
  } catch (const EStrataEngineError& error) {
    return error.Code;
  }
  return 0;
}

// A table definition assembled field by field.
class TTableBuilder {
 public:
  explicit TTableBuilder(std::string name) { definition_.Name = std::move(name); }

  TTableBuilder& Add(const std::string& name, uint8_t type, uint8_t declared = 0,
                     uint8_t subtype = 0) {
    TFieldDescriptor field;
    field.FieldNumber = static_cast<uint16_t>(definition_.Fields.size() + 1);
    field.Name = name;
    field.TypeCode = type;
    field.SubType = subtype;
    field.DeclaredSize = declared;
    definition_.Fields.push_back(field);
    return *this;
  }
  // Changes the last field added.
  TFieldDescriptor& Last() { return definition_.Fields.back(); }
  TTableBuilder& Primary(std::vector<uint16_t> fields) {
    TIndexDef index;
    index.Primary = true;
    index.Unique = true;
    index.FieldNumbers = std::move(fields);
    definition_.Indexes.push_back(index);
    return *this;
  }
  TTableBuilder& Secondary(const std::string& name, std::vector<uint16_t> fields,
                           bool unique = false, bool case_insensitive = false,
                           bool descending = false) {
    TIndexDef index;
    index.Name = name;
    index.FieldNumbers = std::move(fields);
    index.Unique = unique;
    index.CaseInsensitive = case_insensitive;
    index.Descending = descending;
    definition_.Indexes.push_back(index);
    return *this;
  }
  TTableBuilder& BlobBlockSize(uint32_t size) {
    definition_.BlobBlockSize = size;
    return *this;
  }
  const TTableDefinition& Definition() const { return definition_; }

 private:
  TTableDefinition definition_;
};

// An engine session with its own settings and one directory on a fresh
// temporary folder (made after any fork, so each process has its own).
struct TCursorEnvironment {
  explicit TCursorEnvironment(const std::string& folder) {
    session = TDataSession::Create();
    // Short record lock waits keep contended tests quick.
    session->Settings().LockWaitTime = 5;
    session->Settings().LockRetryCount = 200;
    directory = session->OpenDirectory("", folder);
  }
  std::shared_ptr<TDataSession> session;
  std::shared_ptr<TDataDirectory> directory;
};

// Every fault of the table's three files, as the administrator's verify
// finds them.
inline std::vector<std::string> CheckTableFiles(TDataCursor& cursor) {
  return CheckTable(cursor).Faults;
}

}  // namespace strata::testing
