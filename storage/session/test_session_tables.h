// Test helpers for the session layer: a small table definition and raw
// access to its counter field, driving the data file directly.
#pragma once

#include <string>

#include "storage/byte_order.h"
#include "storage/session/data_directory.h"
#include "storage/session/data_session.h"
#include "storage/record/field_descriptor.h"
#include "storage/table/table_definition.h"

namespace strata::testing {

// Fields: 1 "Id" (32-bit), 2 "Counter" (32-bit), 3 "Name" (string of 20),
// and with `with_blob` 4 "Image" (graphic blob). No indexes.
inline TTableDefinition CounterTable(const std::string& name, bool with_blob = false) {
  TTableDefinition definition;
  definition.Name = name;
  auto field = [&](uint16_t number, const char* field_name, uint8_t type, uint8_t size,
                   uint8_t subtype = fldstNONE) {
    TFieldDescriptor descriptor;
    descriptor.FieldNumber = number;
    descriptor.Name = field_name;
    descriptor.TypeCode = type;
    descriptor.SubType = subtype;
    descriptor.DeclaredSize = size;
    definition.Fields.push_back(descriptor);
  };
  field(1, "Id", fldINT32, 0);
  field(2, "Counter", fldINT32, 0);
  field(3, "Name", fldZSTRING, 20);
  if (with_blob) field(4, "Image", fldBLOB, 0, fldstGRAPHIC);
  // What create-table validation derives: data sizes and running offsets.
  uint16_t offset = kRecordHeaderSize;
  for (TFieldDescriptor& descriptor : definition.Fields) {
    descriptor.DataSize = FieldDataSize(descriptor.TypeCode, descriptor.DeclaredSize);
    descriptor.Offset = offset;
    offset = static_cast<uint16_t>(offset + descriptor.DataSize + 1);
  }
  return definition;
}

// Creates the table in `directory` through an engine session of its own.
inline void CreateTable(const std::string& directory, const TTableDefinition& definition) {
  auto session = TDataSession::Create();
  auto open = session->OpenDirectory("", directory);
  open->CreateTable(definition, {.Exclusive = true}, false);
}

// The 32-bit field `number` of a record buffer (flag byte, then the value).
inline int32_t GetInt(const TTableDefinition& table, const uint8_t* record, uint16_t number) {
  return GetI32(record + table.Fields.at(number - 1).Offset + 1);
}
inline void SetInt(const TTableDefinition& table, uint8_t* record, uint16_t number, int32_t value) {
  record[table.Fields.at(number - 1).Offset] = 1;
  PutI32(record + table.Fields.at(number - 1).Offset + 1, value);
}

}  // namespace strata::testing
