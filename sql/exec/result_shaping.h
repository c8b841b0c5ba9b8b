// Shaping a filled result table: DISTINCT, GROUP BY with its aggregates and
// HAVING, ORDER BY and TOP, and the duplicate removal after a UNION. The row
// loop appends one record per qualifying combination; shaping sorts the
// table (through the storage engine's result sort) and collapses groups.
//
// What the row loop stores in an aggregate column before shaping:
//   SUM, RUNSUM, MIN, MAX, AVG   the argument's value (blank when NULL)
//   COUNT                        1 when the row counts (COUNT(*): always;
//                                COUNT(x): x not NULL), else 0
//   an AVG's count column        1 when the argument is not NULL, else 0
// After shaping a group's record holds the aggregates' results; an AVG
// holds the sum divided by its count (0 over no values).
//
// Hidden columns (the AVG count columns, named "Sys__Avg__Count", "_1", ...)
// follow the visible ones; a result's readers show the columns before the
// first of them.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace strata {

class TDataCursor;

enum class TAggregateKind : uint8_t { kNone, kSum, kRunSum, kCount, kMin, kMax, kAvg };

struct TShapeColumn {
  uint16_t Field = 0;  // in the result table, from 1
  TAggregateKind Aggregate = TAggregateKind::kNone;
  uint16_t CountField = 0;  // AVG: its hidden count column
};

struct TShapeSortItem {
  uint16_t Field = 0;
  bool Descending = false;
};

struct TResultShape {
  // Every column of the result that takes part (aggregates at least).
  std::vector<TShapeColumn> Columns;
  bool Distinct = false;
  // GROUP BY given, or every item an aggregate (or a constant): rows collapse
  // into groups; with GroupBy empty the whole table is one group (one row
  // even when the table is empty).
  bool Grouped = false;
  std::vector<uint16_t> GroupBy;
  // HAVING: called with a collapsed group's record; false drops the group.
  std::function<bool(std::span<const uint8_t> group_record)> Having;
  std::vector<TShapeSortItem> OrderBy;
  bool OrderByNoCase = false;
  int32_t Top = -1;  // -1: no limit
  // After the members of a UNION without ALL: one row per distinct record.
  bool RemoveDuplicates = false;
};

// Shapes the table `result` has open (exclusively, as a result table).
// Nothing to do leaves the table as it is.
void ShapeResult(TDataCursor& result, const TResultShape& shape);

}  // namespace strata
