// Test and benchmark helper: the banner service's six tables as field
// lists, and a lookup of a source's fields by its table name.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "sql/exec/statement_check.h"
#include "sql/parse/table_name.h"
#include "storage/record/field_descriptor.h"

namespace strata::testing {

struct TSchemaTable {
  std::string Name;
  std::vector<TFieldDescriptor> Fields;
};

inline std::vector<TSchemaTable> BannerSchema() {
  struct F {
    const char* Name;
    uint8_t Type;
    uint8_t SubType;
    uint8_t Size;
  };
  const auto table = [](const char* name, std::initializer_list<F> fields) {
    TSchemaTable t{name, {}};
    uint16_t number = 0;
    for (const F& f : fields) {
      TFieldDescriptor d;
      d.FieldNumber = ++number;
      d.Name = f.Name;
      d.TypeCode = f.Type;
      d.SubType = f.SubType;
      d.DeclaredSize = f.Size;
      t.Fields.push_back(d);
    }
    return t;
  };
  return {
      table("Banner", {{"ID", fldINT32, 0, 0},
                       {"Banner", fldBLOB, 0, 0},
                       {"Link", fldINT32, 0, 0},
                       {"User", fldINT32, 0, 0},
                       {"Blocked", fldBOOL, 0, 0},
                       {"impress", fldINT32, 0, 0}}),
      table("User", {{"ID", fldINT32, 0, 0}, {"Impresskto", fldINT32, 0, 0}}),
      table("Visitor", {{"id", fldINT32, fldstAUTOINC, 0},
                        {"request", fldZSTRING, 0, 250},
                        {"LastReq", fldZSTRING, 0, 20},
                        {"SiteNo", fldINT32, 0, 0},
                        {"LastKenn", fldZSTRING, 0, 100}}),
      table("PageImpress", {{"Visitor", fldINT32, 0, 0},
                            {"Label", fldZSTRING, 0, 100},
                            {"Time", fldZSTRING, 0, 20},
                            {"BannerID", fldINT32, 0, 0}}),
      table("Links", {{"id", fldINT32, 0, 0}, {"Link", fldZSTRING, 0, 250}}),
      table("Pages", {{"ID", fldINT32, fldstAUTOINC, 0},
                      {"Page", fldZSTRING, 0, 250},
                      {"Nr", fldZSTRING, 0, 100},
                      {"Time", fldZSTRING, 0, 20},
                      {"valid", fldINT32, 0, 0},
                      {"count", fldINT32, 0, 0}}),
  };
}

// The fields of a source by its table name; none for an unknown table.
inline TFieldsOfSource FieldsFrom(const std::vector<TSchemaTable>& schema) {
  return [&schema](const TSourceTable& source) -> std::span<const TFieldDescriptor> {
    for (const TSchemaTable& table : schema) {
      if (SameTableName(table.Name, source.TableName)) return table.Fields;
    }
    return {};
  };
}

}  // namespace strata::testing
