// ShapeResult: the result table's sorts, in this order:
//   1. GROUP BY (or a whole table of aggregates): sorted on the group
//      columns, each group collapsed into its first record with the
//      aggregates folded in, completed, and kept when HAVING holds;
//   or DISTINCT / duplicate removal: sorted on every shown column, one
//      record kept per distinct key;
//   2. ORDER BY: sorted on its columns (case ignored with NOCASE).
// TOP limits the last sort there is; a table not sorted at all is cut to
// TOP rows. Every sort rewrites the table in its new order (the natural
// order the result's readers see).
#include "sql/exec/result_shaping.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <vector>

#include "sql/exec/group_aggregates.h"
#include "storage/cursor/data_cursor.h"
#include "storage/data/data_file.h"
#include "storage/table/data_table.h"

namespace strata {
namespace {

constexpr std::string_view kAvgCountName = "Sys__Avg__Count";

uint32_t LocaleOf(TDataCursor& result) {
  const TDataHeader& header = result.Table().DataFile().Header();
  return static_cast<uint32_t>(header.LocaleId) | (static_cast<uint32_t>(header.SortId) << 16);
}

// The columns a reader shows: those before the first hidden AVG count
// column (named for the shape's AVG items, or by its name when the shape
// names none, as after a UNION).
std::vector<TSortColumn> ShownColumns(TDataCursor& result, const TResultShape& shape) {
  std::set<uint16_t> hidden;
  for (const TShapeColumn& column : shape.Columns) {
    if (column.CountField > 0) hidden.insert(column.CountField);
  }
  std::vector<TSortColumn> columns;
  for (const TFieldDescriptor& field : result.Fields()) {
    if (hidden.contains(field.FieldNumber) || field.Name.starts_with(kAvgCountName)) break;
    columns.push_back({field.FieldNumber, false});
  }
  return columns;
}

void Group(TDataCursor& result, const TResultShape& shape, int64_t limit) {
  std::vector<TSortColumn> columns;
  for (uint16_t field : shape.GroupBy) columns.push_back({field, false});
  TGroupAggregates aggregates(result.Fields(), shape.Columns, result.Table().DataFile().Context(),
                              LocaleOf(result));
  auto complete = [&](std::span<uint8_t> group) {
    aggregates.Complete(group);
    if (!shape.Having || shape.Having(group)) return true;
    aggregates.Drop();
    return false;
  };
  TRecordSortRules rules;
  rules.Collapse = true;
  rules.Merge = [&](std::span<uint8_t> group, std::span<const uint8_t> member) {
    aggregates.Merge(group, member);
  };
  rules.Finish = complete;
  rules.Limit = limit;
  const TRecordSortOutcome outcome = result.SortRecords(columns, false, std::move(rules));
  // Aggregates over the whole table give one row even without any.
  if (outcome.Records == 0 && shape.GroupBy.empty() && limit != 0) {
    result.InitRecord();
    std::vector<uint8_t> record = result.RecordBuffer();
    aggregates.SetEmpty(record);
    if (!shape.Having || shape.Having(record)) {
      result.SetRecordBuffer(record);
      result.InsertRecord();
      result.First();
    }
  }
}

void KeepDistinct(TDataCursor& result, const TResultShape& shape, int64_t limit) {
  TRecordSortRules rules;
  rules.Collapse = true;
  rules.Limit = limit;
  result.SortRecords(ShownColumns(result, shape), false, std::move(rules));
}

void Order(TDataCursor& result, const TResultShape& shape) {
  std::vector<TSortColumn> columns;
  columns.reserve(shape.OrderBy.size());
  for (const TShapeSortItem& item : shape.OrderBy) columns.push_back({item.Field, item.Descending});
  TRecordSortRules rules;
  rules.Limit = shape.Top;
  result.SortRecords(columns, shape.OrderByNoCase, std::move(rules));
}

}  // namespace

void ShapeResult(TDataCursor& result, const TResultShape& shape) {
  const bool ordered = !shape.OrderBy.empty();
  const int64_t first_limit = ordered ? -1 : shape.Top;
  bool sorted = false;
  if (shape.Grouped) {
    Group(result, shape, first_limit);
    sorted = true;
  } else if (shape.Distinct || shape.RemoveDuplicates) {
    KeepDistinct(result, shape, first_limit);
    sorted = true;
  }
  if (ordered) {
    Order(result, shape);
  } else if (!sorted && shape.Top >= 0 &&
             result.Table().DataFile().SlotCount() > static_cast<uint32_t>(shape.Top)) {
    // Natural order, cut to TOP rows.
    TRecordSortRules rules;
    rules.Limit = shape.Top;
    result.SortRecords({}, false, std::move(rules));
  }
}

}  // namespace strata
