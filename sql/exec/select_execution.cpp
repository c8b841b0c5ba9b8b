#include "sql/exec/select_execution.h"

#include "sql/exec/source_loop.h"
#include "sql/exec/value_store.h"
#include "sql/expr/sql_error.h"
#include "sql/parse/data_query.h"
#include "storage/cursor/data_cursor.h"

namespace strata {

namespace {

// Builds one result record from the sources' current rows.
class TResultWriter {
 public:
  TResultWriter(TPreparedQuery& prepared, TDataCursor& result, TSourceLoop& loop)
      : columns_(prepared.Columns), result_(result), loop_(loop) {}

  void Append() {
    result_.InitRecord();
    for (const TResultColumn& column : columns_) {
      if (!column.Hidden) Store(column);
    }
    result_.InsertRecord();
  }

 private:
  void Put(uint16_t field, const TExpValue& value) {
    if (!StoreValue(result_, field, value)) result_.PutFieldBlank(field);
  }

  void Store(const TResultColumn& column) {
    const uint16_t field = column.Field.FieldNumber;
    if (column.Source >= 0) {
      if (!loop_.Rows().ReadColumn(column.Source, column.SourceField, value_)) value_.SetNull();
      Put(field, value_);
      return;
    }
    TExpToken& root = *column.Expression;
    switch (column.Aggregate) {
      case TAggregateKind::kNone:
        Put(field, Evaluate(root, loop_.Context()));
        return;
      case TAggregateKind::kCount:
        result_.PutFieldInt64(field, column.CountAll || root.Args.empty() ||
                                             !Evaluate(*root.Args[0], loop_.Context()).Null
                                         ? 1
                                         : 0);
        return;
      default: {
        const TExpValue& argument = Evaluate(*root.Args[0], loop_.Context());
        Put(field, argument);
        if (column.CountField != 0) result_.PutFieldInt64(column.CountField, argument.Null ? 0 : 1);
        return;
      }
    }
  }

  const std::vector<TResultColumn>& columns_;
  TDataCursor& result_;
  TSourceLoop& loop_;
  TExpValue value_;
};

// Whether TOP may stop the row loop: nothing reorders or collapses rows.
bool TopStopsLoop(const TPreparedQuery& prepared) {
  const TResultShape& shape = prepared.Shape;
  return prepared.Query->Top >= 0 && shape.OrderBy.empty() && !shape.Grouped && !shape.Distinct;
}

}  // namespace

int64_t AppendRows(TPreparedQuery& prepared, TDataCursor& result, const TExecutorOptions& options) {
  TDataQuery& query = *prepared.Query;
  const int64_t max_rows = query.MaxRowCount;
  const int64_t top = TopStopsLoop(prepared) ? query.Top : -1;
  if (max_rows == 0 || top == 0) return 0;
  TSourceLoop loop(query, -1, {}, options);
  TResultWriter writer(prepared, result, loop);
  int64_t appended = 0;
  loop.Run([&] {
    writer.Append();
    ++appended;
    if ((max_rows >= 0 && appended >= max_rows) || (top >= 0 && appended >= top)) {
      return TVisit::kStop;
    }
    return TVisit::kContinue;
  });
  return appended;
}

TStatementOutcome ExecuteSelect(TPreparedQuery& prepared, const TExecutorOptions& options) {
  if (!prepared.Result) RaiseSqlError("the statement has no result table");
  // Whatever fails leaves no result table behind.
  std::unique_ptr<TDataCursor> result = std::move(prepared.Result);
  if (result->RecordCount() > 0) result->EmptyTable();
  AppendRows(prepared, *result, options);
  ShapeResult(*result, prepared.Shape);
  result->First();
  TStatementOutcome outcome;
  outcome.Result = std::move(result);
  return outcome;
}

}  // namespace strata
