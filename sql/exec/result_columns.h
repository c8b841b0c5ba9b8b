// The columns of a SELECT's result table: one per select item ("*" and
// alias.* expanded to the sources' columns in source order), then a hidden
// count column for each AVG item, with their names, types and sizes.
//
// Names (at most 30 characters): the alias (its last 30 characters); for a
// plain column its name; for an aggregate "Sum Of ", "Running Sum Of ",
// "Min Of ", "Max Of ", "Average Of " or "Count Of " before the column's
// name, or before "Expr" for an aggregate of an expression; "Expression" for
// any other expression. A name already taken (letter case ignored) gets
// "_1", "_2", ..., the base cut from the left so that the whole fits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sql/exec/result_shaping.h"
#include "sql/parse/data_query.h"
#include "storage/record/field_descriptor.h"

namespace strata {

struct TExpToken;

struct TResultColumn {
  std::string Name;
  // A plain column: the source (in source-list order) and its field.
  int Source = -1;
  uint16_t SourceField = 0;
  // Otherwise the item's expression (for an aggregate its root).
  TExpToken* Expression = nullptr;
  TAggregateKind Aggregate = TAggregateKind::kNone;
  bool CountAll = false;    // COUNT(*)
  bool Hidden = false;      // an AVG's count column
  uint16_t CountField = 0;  // AVG: the number of its count column (from 1)
  bool Constant = false;    // the item is a constant
  TFieldDescriptor Field;   // in the result table (number, name, type, size)
};

inline constexpr size_t kMaxResultColumns = 1024;
inline constexpr size_t kMaxResultName = 30;
inline constexpr uint8_t kMaxResultString = 250;

// The result columns of a checked query (its sources open). Raises the
// column-count and field-size messages.
std::vector<TResultColumn> BuildResultColumns(TDataQuery& query);

// The visible columns (those before the first hidden one).
size_t VisibleColumnCount(const std::vector<TResultColumn>& columns);

// `name` made unique among `taken` (letter case ignored) by the suffix rule.
std::string UniqueColumnName(std::string_view name, const std::vector<std::string>& taken);

}  // namespace strata
