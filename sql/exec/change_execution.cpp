#include "sql/exec/change_execution.h"

#include "sql/exec/auto_transaction.h"
#include "sql/exec/exec_messages.h"
#include "sql/exec/select_preparation.h"
#include "sql/exec/source_loop.h"
#include "sql/exec/statement_read_scope.h"
#include "sql/exec/value_store.h"
#include "sql/expr/datetime_constant.h"
#include "sql/expr/sql_error.h"
#include "sql/expr/table_rows.h"
#include "sql/parse/data_query.h"
#include "sql/parse/statement_messages.h"
#include "storage/cursor/data_cursor.h"
#include "storage/data/data_file.h"
#include "storage/table/data_table.h"

namespace strata {

namespace {

bool IsStringColumn(uint8_t type, uint8_t subtype) {
  return type == fldZSTRING ||
         (type == fldBLOB && (subtype == fldstMEMO || subtype == fldstFMTMEMO));
}

bool IsDateOrStamp(uint8_t type) { return type == fldDATE || type == fldTIMESTAMP; }

// Whether "=" may compare a value of type a with one of type b.
bool Comparable(uint8_t a, uint8_t a_sub, uint8_t b, uint8_t b_sub) {
  if (IsStringColumn(a, a_sub) && IsStringColumn(b, b_sub)) return true;
  if (IsDateOrStamp(a) && IsDateOrStamp(b)) return true;
  if (IsNumericType(a) && IsNumericType(b)) return true;
  return a == b;
}

std::string_view ValuesContext(const TDataQuery& query) {
  return query.StatementKind == TStatementKind::kInsert ? msg::kInsertValuesContext
                                                        : msg::kUpdateValuesContext;
}

std::string_view KindWord(const TDataQuery& query) {
  return query.StatementKind == TStatementKind::kInsert ? "INSERT" : "UPDATE";
}

std::string WrittenText(const TExpToken& node) {
  if (!node.Text.empty()) return node.Text;
  return node.Value.Null ? std::string() : ValueText(node.Value);
}

// A constant value for a date, time or timestamp column is read once here.
void CheckConstant(const TDataQuery& query, const TFieldDescriptor& field, TExpToken& node) {
  if (node.Class != ncConstant || node.Value.Null || node.ResultType == fldUNKNOWN) return;
  const uint8_t type = node.ResultType;
  if (type == field.TypeCode && node.ResultSubType == field.SubType) return;
  if (type == fldZSTRING && IsDateTimeType(field.TypeCode)) {
    const std::string text = node.Value.Str;
    bool read = false;
    if (field.TypeCode == fldDATE) {
      if (auto day = ReadDateConstant(text)) {
        node.Value.SetInt(fldDATE, *day);
        read = true;
      }
    } else if (field.TypeCode == fldTIME) {
      if (auto time = ReadTimeConstant(text)) {
        node.Value.SetInt(fldTIME, *time);
        read = true;
      }
    } else if (auto stamp = ReadTimestampConstant(text)) {
      node.Value.SetFloat(fldTIMESTAMP, *stamp);
      read = true;
    }
    if (!read) {
      RaiseSqlError(FormatMessage(msg::kValueDateTimeExpected, {text, ValuesContext(query)}));
    }
    node.ResultType = node.Value.Type;
    return;
  }
  if (!Comparable(field.TypeCode, field.SubType, type, node.ResultSubType)) {
    RaiseSqlError(
        FormatMessage(msg::kValueTypeMismatch,
                      {field.Name, NodeKindName(node), WrittenText(node), ValuesContext(query)}));
  }
}

// Evaluates value `i` and stores it into the target's buffer.
void StoreChange(const TPreparedQuery& prepared, TDataCursor& target, size_t i,
                 TEvalContext& context) {
  const TDataQuery& query = *prepared.Query;
  const uint16_t field = prepared.TargetFields[i];
  // With automatic increments on, the engine numbers the record itself.
  if (target.Field(field).IsAutoInc() && !query.NoAutoInc &&
      query.StatementKind == TStatementKind::kInsert) {
    return;
  }
  TExpToken& node = *query.UpdateValues[i].Expression.Root;
  const TExpValue& value = Evaluate(node, context);
  if (!StoreValue(target, field, value)) {
    RaiseSqlError(FormatMessage(msg::kStoreTypeMismatch,
                                {target.Field(field).Name, WrittenText(node), KindWord(query)}));
  }
}

TDataCursor& TargetOf(const TPreparedQuery& prepared) {
  return *prepared.Query->SourceTables.front().Cursor;
}

// A row whose change fails leaves no edit behind.
template <typename Change>
void Guarded(TDataCursor& target, Change&& change) {
  try {
    change();
  } catch (...) {
    target.Cancel();
    throw;
  }
}

}  // namespace

TPreparedQuery PrepareChange(TDataQuery& query) {
  TPreparedQuery prepared;
  prepared.Query = &query;
  if (query.StatementKind == TStatementKind::kDelete) {
    CheckWhereIsBoolean(query);
    return prepared;
  }
  TDataCursor& target = *query.SourceTables.front().Cursor;
  if (query.UpdateFields.empty() && query.StatementKind == TStatementKind::kInsert) {
    for (const TFieldDescriptor& field : target.Fields()) {
      prepared.TargetFields.push_back(field.FieldNumber);
    }
  } else {
    for (const TUpdateField& column : query.UpdateFields) {
      prepared.TargetFields.push_back(target.FieldNumber(column.ColumnName));
    }
  }
  if (query.InsertSource == nullptr && prepared.TargetFields.size() != query.UpdateValues.size()) {
    RaiseSqlError(msg::kValueCountMismatch);
  }
  for (size_t i = 0; i < query.UpdateValues.size(); ++i) {
    CheckConstant(query, target.Field(prepared.TargetFields[i]),
                  *query.UpdateValues[i].Expression.Root);
  }
  if (query.StatementKind == TStatementKind::kUpdate) CheckWhereIsBoolean(query);
  return prepared;
}

int64_t ExecuteInsert(TPreparedQuery& prepared, TDataCursor* source, const TExecutorOptions&) {
  TDataCursor& target = TargetOf(prepared);
  TAutoTransaction transaction(target, prepared.Query->Commit);
  if (source == nullptr) {
    TEvalContext context;  // VALUES read no rows
    Guarded(target, [&] {
      target.InitRecord();
      for (size_t i = 0; i < prepared.TargetFields.size(); ++i) {
        StoreChange(prepared, target, i, context);
      }
      target.InsertRecord();
    });
    transaction.RowDone(1);
    transaction.Finish();
    return 1;
  }
  TRecordRows rows(source->Fields(), source->Table().DataFile().Context());
  rows.SetBlobReader([source](uint16_t field, std::string& out) {
    const std::vector<uint8_t> bytes = source->ReadBlob(field);
    out.assign(bytes.begin(), bytes.end());
    return !bytes.empty();
  });
  TExpValue value;
  int64_t count = 0;
  source->First();
  while (source->MoveNext()) {
    rows.Bind(source->RecordBuffer());
    Guarded(target, [&] {
      target.InitRecord();
      for (size_t i = 0; i < prepared.TargetFields.size(); ++i) {
        const uint16_t field = prepared.TargetFields[i];
        if (target.Field(field).IsAutoInc() && !prepared.Query->NoAutoInc) continue;
        rows.ReadColumn(0, static_cast<uint16_t>(i + 1), value);
        if (!StoreValue(target, field, value)) {
          RaiseSqlError(FormatMessage(msg::kStoreTypeMismatch,
                                      {target.Field(field).Name, ValueText(value), "INSERT"}));
        }
      }
      target.InsertRecord();
    });
    transaction.RowDone(++count);
  }
  transaction.Finish();
  return count;
}

int64_t ExecuteUpdate(TPreparedQuery& prepared, const TExecutorOptions& options,
                      TStatementReadScope& reading) {
  TDataQuery& query = *prepared.Query;
  TDataCursor& target = TargetOf(prepared);
  TSourceLoop loop(query, 0, prepared.TargetFields, options);
  // The change loop locks per operation: no read lock of a source is held
  // while it waits for the target's write lock.
  reading.Release();
  TAutoTransaction transaction(target, query.Commit);
  int64_t count = 0;
  loop.Run([&] {
    Guarded(target, [&] {
      target.GetCurrentRecord(/*lock=*/true);
      for (size_t i = 0; i < prepared.TargetFields.size(); ++i) {
        StoreChange(prepared, target, i, loop.Context());
      }
      target.ModifyRecord();
    });
    transaction.RowDone(++count);
    return TVisit::kContinue;
  });
  transaction.Finish();
  return count;
}

int64_t ExecuteDelete(TPreparedQuery& prepared, const TExecutorOptions& options,
                      TStatementReadScope& reading) {
  TDataQuery& query = *prepared.Query;
  TDataCursor& target = TargetOf(prepared);
  TSourceLoop loop(query, 0, {}, options);
  reading.Release();  // as for UPDATE
  TAutoTransaction transaction(target, query.Commit);
  int64_t count = 0;
  loop.Run([&] {
    target.DeleteRecord();
    transaction.RowDone(++count);
    // The cursor stands on the deleted record's place: go on from there.
    return TVisit::kLeave;
  });
  transaction.Finish();
  return count;
}

}  // namespace strata
