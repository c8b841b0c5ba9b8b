// The check of a parsed statement against its tables' columns: every
// expression is resolved and typed with the rules of its place, and the
// columns an INSERT fills or an UPDATE sets must exist in its table.
//
//   place                 context named in messages   strings may name columns
//   select item           source column expression    yes
//   WHERE (and ON)        WHERE or JOIN clause        yes
//   HAVING                HAVING clause               yes
//   UPDATE SET value      value expression            yes
//   INSERT VALUES         value expression            no
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "sql/expr/column_resolver.h"
#include "sql/parse/parsed_statement.h"
#include "storage/record/field_descriptor.h"

namespace strata {

// The columns of a source table (its cursor's fields, or a known schema).
using TFieldsOfSource = std::function<std::span<const TFieldDescriptor>(const TSourceTable&)>;

// A query's sources as expression resolution sees them, in source-list order.
class TSourceColumns : public TColumnResolver {
 public:
  TSourceColumns(const TDataQuery& query, const TFieldsOfSource& fields_of);

  int SourceCount() const override { return static_cast<int>(sources_.size()); }
  std::string_view CorrelationName(int source) const override;
  std::optional<TColumnInfo> FindColumn(int source, std::string_view column) const override;

  // The field of this name in the source (letter case ignored), or nullptr.
  const TFieldDescriptor* FindField(int source, std::string_view column) const;

 private:
  struct TSource {
    std::string_view CorrelationName;
    std::span<const TFieldDescriptor> Fields;
  };
  std::vector<TSource> sources_;
};

// Checks every query of the statement (the master, UNION members,
// sub-selects, the SELECT of an INSERT), each against its own sources.
void CheckStatement(TParsedStatement& statement, const TFieldsOfSource& fields_of);

}  // namespace strata
