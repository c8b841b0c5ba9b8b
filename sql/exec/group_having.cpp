#include "sql/exec/group_having.h"

#include <memory>
#include <vector>

#include "sql/exec/exec_messages.h"
#include "sql/expr/exp_eval.h"
#include "sql/expr/sql_error.h"
#include "sql/expr/table_rows.h"
#include "sql/parse/data_query.h"
#include "storage/cursor/data_cursor.h"
#include "storage/data/data_file.h"
#include "storage/table/data_table.h"

namespace strata {

namespace {

bool SameArgument(const TExpToken& a, const TExpToken& b) {
  if (a.Class == ncColumn && b.Class == ncColumn) {
    return a.Source == b.Source && a.Column == b.Column;
  }
  return a.Text == b.Text && a.Class == b.Class;
}

// The result column (from 1) holding the value of `node`, 0 when none.
uint16_t ColumnFor(const TExpToken& node, const std::vector<TResultColumn>& columns) {
  for (const TResultColumn& column : columns) {
    if (column.Hidden) continue;
    if (node.Class == ncColumn && column.Source == node.Source &&
        column.SourceField == node.Column && column.Aggregate == TAggregateKind::kNone) {
      return column.Field.FieldNumber;
    }
    if (node.Class != ncAggregate || column.Expression == nullptr) continue;
    const TExpToken& item = *column.Expression;
    if (item.Class != ncAggregate || item.Code != node.Code || item.CountAll != node.CountAll) {
      continue;
    }
    if (item.Args.size() != node.Args.size()) continue;
    if (item.Args.empty() || SameArgument(*item.Args[0], *node.Args[0])) {
      return column.Field.FieldNumber;
    }
  }
  return 0;
}

// Each value the HAVING tree takes from the group record.
void CollectValues(TExpToken& node, const std::vector<TResultColumn>& columns,
                   std::vector<std::pair<TExpToken*, uint16_t>>& out) {
  if (node.Class == ncAggregate || node.Class == ncColumn) {
    const uint16_t field = ColumnFor(node, columns);
    if (field == 0) RaiseSqlError(msg::kHavingNotInColumns);
    out.emplace_back(&node, field);
    return;
  }
  if (node.Left != nullptr) CollectValues(*node.Left, columns, out);
  if (node.Right != nullptr) CollectValues(*node.Right, columns, out);
  for (TExpToken* arg : node.Args) CollectValues(*arg, columns, out);
}

// Reads the group record's columns for the HAVING tree's column nodes.
class TGroupRows : public TRowSource {
 public:
  TGroupRows(TDataCursor& result, std::vector<std::pair<TExpToken*, uint16_t>> values)
      : rows_(result.Fields(), result.Table().DataFile().Context()), values_(std::move(values)) {}

  void Bind(std::span<const uint8_t> record) {
    rows_.Bind(record);
    // Aggregates are leaves of the evaluation: they yield their Value.
    for (auto& [node, field] : values_) {
      if (node->Class == ncAggregate) rows_.ReadColumn(0, field, node->Value);
    }
  }
  bool ReadColumn(int source, uint16_t column, TExpValue& out) override {
    for (auto& [node, field] : values_) {
      if (node->Class == ncColumn && node->Source == source && node->Column == column) {
        return rows_.ReadColumn(0, field, out);
      }
    }
    return false;
  }

 private:
  TRecordRows rows_;
  std::vector<std::pair<TExpToken*, uint16_t>> values_;
};

}  // namespace

void CheckHaving(const TPreparedQuery& prepared) {
  const TDataQuery& query = *prepared.Query;
  if (!query.Having) return;
  std::vector<std::pair<TExpToken*, uint16_t>> values;
  CollectValues(*query.Having.Root, prepared.Columns, values);
}

std::function<bool(std::span<const uint8_t>)> MakeHavingTest(const TPreparedQuery& prepared,
                                                             TDataCursor& result) {
  TDataQuery& query = *prepared.Query;
  if (!query.Having) return {};
  std::vector<std::pair<TExpToken*, uint16_t>> values;
  CollectValues(*query.Having.Root, prepared.Columns, values);
  auto rows = std::make_shared<TGroupRows>(result, std::move(values));
  TExpToken* root = query.Having.Root;
  return [rows, root](std::span<const uint8_t> record) {
    rows->Bind(record);
    TEvalContext context;
    context.Rows = rows.get();
    return Evaluate(*root, context).IsTrue();
  };
}

}  // namespace strata
