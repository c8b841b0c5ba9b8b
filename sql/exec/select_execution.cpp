#include "sql/exec/select_execution.h"

#include <algorithm>

#include "sql/exec/group_having.h"
#include "sql/exec/live_result.h"
#include "sql/exec/source_loop.h"
#include "sql/exec/statement_read_scope.h"
#include "sql/exec/value_store.h"
#include "sql/expr/sql_error.h"
#include "sql/parse/data_query.h"
#include "storage/best_effort.h"
#include "storage/cursor/data_cursor.h"
#include "storage/data/data_file.h"
#include "storage/table/data_table.h"

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

// WITH LOCKS: every source's table locked while the rows are read.
class TSourceLocks {
 public:
  explicit TSourceLocks(TDataQuery& query) {
    if (!query.WithLocks) return;
    try {
      for (TSourceTable& source : query.SourceTables) {
        TDataTable& table = source.Cursor->Table();
        table.LockTable();
        locked_.push_back(&table);
      }
    } catch (...) {
      Release();
      throw;
    }
  }
  ~TSourceLocks() { Release(); }
  TSourceLocks(const TSourceLocks&) = delete;
  TSourceLocks& operator=(const TSourceLocks&) = delete;

 private:
  void Release() {
    for (auto it = locked_.rbegin(); it != locked_.rend(); ++it) {
      BestEffort([&] { (*it)->UnlockTable(); });
    }
    locked_.clear();
  }

  std::vector<TDataTable*> locked_;
};

// Copies the first `columns` columns of the rows of `from` to `to`,
// converted to its columns' types, while `room` (-1: no limit) lasts;
// returns how many were copied.
int64_t CopyRows(TDataCursor& from, TDataCursor& to, size_t columns, int64_t room) {
  TRecordRows rows(from.Fields(), from.Table().DataFile().Context());
  rows.SetBlobReader([&from](uint16_t field, std::string& out) {
    const std::vector<uint8_t> bytes = from.ReadBlob(field);
    out.assign(bytes.begin(), bytes.end());
    return !bytes.empty();
  });
  const size_t count = std::min({columns, from.Fields().size(), to.Fields().size()});
  TExpValue value;
  int64_t copied = 0;
  from.First();
  while ((room < 0 || copied < room) && from.MoveNext()) {
    rows.Bind(from.RecordBuffer());
    to.InitRecord();
    for (uint16_t field = 1; field <= count; ++field) {
      rows.ReadColumn(0, field, value);
      if (!StoreValue(to, field, value)) to.PutFieldBlank(field);
    }
    to.InsertRecord();
    ++copied;
  }
  return copied;
}

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

void FillResult(TPreparedQuery& prepared, const TPreparedOf& members,
                const TExecutorOptions& options) {
  if (!prepared.Result) RaiseSqlError("the statement has no result table");
  TDataQuery& query = *prepared.Query;
  TDataCursor& result = *prepared.Result;
  if (result.RecordCount() > 0) result.EmptyTable();
  {
    TSourceLocks locks(query);
    AppendRows(prepared, result, options);
  }
  TResultShape shape = prepared.Shape;
  shape.Having = MakeHavingTest(prepared, result);
  // A member of a chain is one block of rows; the master walks the chain.
  if (query.UnionNext == nullptr || query.InUnionChain) {
    ShapeResult(result, shape);
    return;
  }
  // The master's own rows first, collapsed as its clauses say; ordering and
  // TOP wait for the whole chain.
  TResultShape whole;
  whole.OrderBy = std::move(shape.OrderBy);
  whole.OrderByNoCase = shape.OrderByNoCase;
  whole.Top = shape.Top;
  shape.OrderBy.clear();
  shape.Top = -1;
  ShapeResult(result, shape);
  const size_t columns = VisibleColumnCount(prepared.Columns);
  // MaxRowCount bounds the rows of the whole chain.
  int64_t room = -1;
  if (query.MaxRowCount >= 0) room = std::max<int64_t>(query.MaxRowCount - result.RecordCount(), 0);
  for (const TDataQuery* link = &query; link->UnionNext != nullptr; link = link->UnionNext) {
    TPreparedQuery& member = members(*link->UnionNext);
    FillResult(member, members, options);
    const int64_t copied = CopyRows(*member.Result, result, columns, room);
    if (room >= 0) room -= copied;
    // UNION binds to the left (A UNION B UNION ALL C keeps the duplicates C
    // brings): the rows so far lose theirs before a UNION ALL adds more, or
    // at the end.
    if (link->UnionAll) continue;
    const TDataQuery& next = *link->UnionNext;
    if (next.UnionNext == nullptr) {
      whole.RemoveDuplicates = true;
    } else if (next.UnionAll) {
      TResultShape distinct;
      distinct.RemoveDuplicates = true;
      ShapeResult(result, distinct);
      if (room >= 0) room = std::max<int64_t>(query.MaxRowCount - result.RecordCount(), 0);
    }
  }
  ShapeResult(result, whole);
}

TStatementOutcome ExecuteSelect(TPreparedQuery& prepared, const TPreparedOf& members,
                                const TExecutorOptions& options, TStatementReadScope& reading) {
  TDataQuery& query = *prepared.Query;
  TStatementOutcome outcome;
  if (prepared.Live) {
    outcome.Result = OpenLiveResult(query, prepared.LiveIndex);
    return outcome;
  }
  FillResult(prepared, members, options);
  // The sources are read; what follows opens the result for the caller.
  reading.Release();
  // Whatever fails before leaves the result table with the prepared state.
  outcome.Result = std::move(prepared.Result);
  if (query.HasInto) {
    // An INTO table is a table like any other once filled: it is handed out
    // shared, so that closing the result leaves it in place.
    std::shared_ptr<TDataDirectory> directory = outcome.Result->Directory().shared_from_this();
    const std::string name = outcome.Result->TableName();
    outcome.Result->Close();
    outcome.Result = std::make_unique<TDataCursor>(directory);
    outcome.Result->Open(name, {.InMemory = directory->InMemory()});
  }
  outcome.Result->First();
  return outcome;
}

}  // namespace strata
