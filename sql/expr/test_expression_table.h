// Test helper: a small table of one row holding a value of every field type
// (and blank fields), and the evaluation of expression texts against it at
// a chosen place, with results printed as "type value" or "! message".
#pragma once

#include <charconv>
#include <cstdio>
#include <memory>
#include <string>

#include "sql/expr/exp_eval.h"
#include "sql/expr/exp_grammar.h"
#include "sql/expr/operand_types.h"
#include "sql/expr/table_rows.h"
#include "storage/cursor/test_cursor_table.h"
#include "storage/record/date_time.h"

namespace strata::testing {

// How a place parses and resolves its expressions.
struct TPlace {
  std::string Name;
  unsigned Permissions = kWherePermissions;
  std::string Context = "WHERE or JOIN clause";
  bool StringsNameColumns = true;
  bool WhereClause = true;
};

// "where", "select", "having", "value", "insert-value", "column", "filter".
inline TPlace PlaceNamed(const std::string& name) {
  TPlace place;
  place.Name = name;
  if (name == "select") {
    place.Permissions = kSelectItemPermissions;
    place.Context = "source column expression";
    place.WhereClause = false;
  } else if (name == "join") {
    place.Permissions = kJoinOnPermissions;
  } else if (name == "having") {
    place.Permissions = kHavingPermissions;
    place.Context = "HAVING clause";
    place.WhereClause = false;
  } else if (name == "value" || name == "insert-value") {
    place.Permissions = kValuePermissions;
    place.Context = "value expression";
    place.StringsNameColumns = name == "value";
    place.WhereClause = false;
  } else if (name == "column") {
    place.Permissions = kColumnPermissions;
    place.Context = "table column";
    place.WhereClause = false;
  } else if (name == "filter") {
    place.Permissions = kFilterPermissions;
    place.Context = "filter expression";
    place.WhereClause = false;
  }
  return place;
}

inline std::string TypeName(uint8_t type, uint8_t subtype) {
  switch (type) {
    case fldUNKNOWN:
      return "none";
    case fldZSTRING:
      return "string";
    case fldDATE:
      return "date";
    case fldBLOB:
      return subtype == fldstMEMO ? "memo" : "blob";
    case fldBOOL:
      return "boolean";
    case fldINT16:
      return "smallint";
    case fldINT32:
      return "integer";
    case fldFLOAT:
      return "float";
    case fldBCD:
      return "bcd";
    case fldBYTES:
      return "bytes";
    case fldTIME:
      return "time";
    case fldTIMESTAMP:
      return "timestamp";
    case fldUINT16:
      return "word";
    case fldINT64:
      return "largeint";
    default:
      return "type" + std::to_string(type);
  }
}

inline std::string TimeText(int64_t ms) {
  char text[32];
  const TTimeOfDay t = DecodeTime(static_cast<int32_t>(ms));
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", t.Hour, t.Minute, t.Second,
                t.Millisecond);
  return text;
}

inline std::string DateText(int64_t day) {
  TCalendarDate d;
  if (!TryDecodeDate(static_cast<int32_t>(day), d)) return "day" + std::to_string(day);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
  return text;
}

// The printed form of a value of a static type: "integer 7", "string 'ab'",
// "boolean TRUE", "NULL", ...
inline std::string FormatValue(const TExpToken& root, const TExpValue& value) {
  if (value.Null) return "NULL";
  std::string out = TypeName(root.ResultType, root.ResultSubType) + " ";
  switch (value.Type) {
    case fldZSTRING:
    case fldBLOB:
    case fldBYTES:
    case fldVARBYTES:
      return out + "'" + value.Str + "'";
    case fldBOOL:
      return out + (value.Int != 0 ? "TRUE" : "FALSE");
    case fldFLOAT:
    case fldBCD: {
      char text[40];
      auto [end, error] = std::to_chars(text, text + sizeof text, value.Float);
      return out + std::string(text, end);
    }
    case fldDATE:
      return out + DateText(value.Int);
    case fldTIME:
      return out + TimeText(value.Int);
    case fldTIMESTAMP: {
      int32_t day = 0, time = 0;
      SplitTimestamp(value.Float, day, time);
      return out + DateText(day) + " " + TimeText(time);
    }
    default:
      return out + std::to_string(value.Int);
  }
}

class TExpressionTable {
 public:
  TExpressionTable() : env_(dir_.Dir()) {
    TTableBuilder table("Items");
    table.Add("ID", fldINT32).Add("Name", fldZSTRING, 20).Add("Code", fldZSTRING, 10);
    table.Add("Price", fldFLOAT).Add("Qty", fldINT16).Add("Big", fldINT64).Add("W", fldUINT16);
    table.Add("Born", fldDATE).Add("At", fldTIME).Add("Stamp", fldTIMESTAMP).Add("Flag", fldBOOL);
    table.Add("Amount", fldBCD).Last().Decimals = 2;
    table.Add("Note", fldBLOB, 0, fldstMEMO).Add("Missing", fldZSTRING, 10).Add("NoNum", fldINT32);
    table.Add("count", fldINT32).Add("Bin", fldBYTES, 4).Add("Accent", fldZSTRING, 10);
    cursor_ = std::make_unique<TDataCursor>(env_.directory);
    cursor_->CreateTable(table.Definition());
    cursor_->Open("Items");
    cursor_->InitRecord();
    const std::pair<const char*, const char*> values[] = {{"ID", "7"},
                                                          {"Name", "Widget"},
                                                          {"Code", "abc"},
                                                          {"Price", "2.5"},
                                                          {"Qty", "3"},
                                                          {"Big", "5000000000"},
                                                          {"W", "65535"},
                                                          {"Born", "2024-01-15"},
                                                          {"At", "13:30:00"},
                                                          {"Stamp", "2024-01-15 13:30:00"},
                                                          {"Flag", "TRUE"},
                                                          {"Amount", "12.34"},
                                                          {"Note", "a long note"},
                                                          {"count", "42"},
                                                          {"Bin", "01020304"},
                                                          {"Accent", "caf\xE9"}};
    for (auto [name, text] : values) {
      if (std::string(name) == "Accent") {
        cursor_->PutFieldString(cursor_->FieldNumber(name), "caf\xE9");
      } else {
        cursor_->PutFieldText(name, text);
      }
    }
    cursor_->InsertRecord();
    cursor_->First();
    cursor_->Next();
    record_ = cursor_->GetCurrentRecord();
    columns_ = std::make_unique<TTableColumns>("Items", cursor_->Fields());
    rows_ = std::make_unique<TRecordRows>(cursor_->Fields(), cursor_->Table().DataFile().Context());
    rows_->Bind(record_);
    rows_->SetBlobReader([this](uint16_t field, std::string& out) {
      const std::vector<uint8_t> bytes = cursor_->ReadBlob(field);
      out.assign(bytes.begin(), bytes.end());
      return !bytes.empty();
    });
  }

  // Parses, resolves and evaluates `text` at `place`; the printed result or
  // "! " and the message of the error raised.
  std::string Run(const std::string& text, const TPlace& place) {
    try {
      TExpressionParser tokens(text);
      tokens.SetParseContext(place.Context);
      tokens.NextToken();
      TExpTokenStack pool;
      TExpToken* root = ParseExpression(tokens, pool, place.Permissions);
      if (!tokens.AtEnd()) return "(stopped at '" + tokens.TokenText() + "')";
      TResolveOptions options;
      options.Context = place.Context;
      options.StringsNameColumns = place.StringsNameColumns;
      options.WhereClause = place.WhereClause;
      ResolveExpression(*root, *columns_, options);
      TEvalContext context;
      context.Rows = rows_.get();
      const TExpValue& value = Evaluate(*root, context);
      return FormatValue(*root, value);
    } catch (const EStrataEngineError& error) {
      return "! " + error.ContextDetail;
    }
  }

  TDataCursor& Cursor() { return *cursor_; }

 private:
  TTempDir dir_;
  TCursorEnvironment env_;
  std::unique_ptr<TDataCursor> cursor_;
  std::vector<uint8_t> record_;
  std::unique_ptr<TTableColumns> columns_;
  std::unique_ptr<TRecordRows> rows_;
};

}  // namespace strata::testing
