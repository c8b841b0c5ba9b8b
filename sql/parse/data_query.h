// TDataQuery: what the parse of one statement (or of one SELECT of a chain,
// a sub-select, the SELECT of an INSERT) found, with its parts: the sources
// (TSourceTable), select items (TResultField), joins (TTableJoin), GROUP BY
// and ORDER BY items (TGroupByField, TOrderByField), and the targets and
// values of INSERT and UPDATE (TUpdateField, TUpdateValue).
//
// A TDataQuery owns its parts and the expression trees hung on them; the
// queries it links to (UNION members, sub-selects, the SELECT of INSERT) are
// owned by the statement (TStatementParser's query list), which outlives
// them all. The WHERE tree holds the ON conditions of the joins too, ANDed
// in the order parsed; a TTableJoin only points into it.
//
// Always: sources are numbered 1, 2, ... in order of appearance (Position),
// while the list is in source order (a RIGHT JOIN table first); no two
// sources share a correlation name (ignoring case).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sql/parse/ddl_statement.h"
#include "sql/parse/expression_ref.h"
#include "sql/parse/statement_kind.h"
#include "sql/parse/table_name.h"

namespace strata {

class TDataCursor;
class TDataQuery;

// One table a statement reads or changes.
struct TSourceTable {
  TSourceTable();
  ~TSourceTable();
  TSourceTable(TSourceTable&&) noexcept;
  TSourceTable& operator=(TSourceTable&&) noexcept;

  bool InMemory = false;
  std::string TableName;  // resolved: no path, no ".dat"
  std::string Directory;  // empty: the database's directory
  std::string CorrelationName;
  bool ExplicitCorrelation = false;     // written with AS or bare, not defaulted
  int Position = 0;                     // 1, 2, ... in order of appearance
  std::unique_ptr<TDataCursor> Cursor;  // once opened
};

// A source for a resolved table name; its correlation name defaults to the
// table name.
TSourceTable MakeSourceTable(TTableName name);

// One select item.
struct TResultField {
  TExpressionRef Expression;
  std::string AliasTable;  // the first of "alias.name", else empty
  std::string Alias;       // empty: none written
};

enum class TJoinKind : uint8_t { kInner = 1, kLeft = 2, kRight = 3 };

struct TTableJoin {
  TJoinKind Kind = TJoinKind::kInner;
  int SourcePosition = 0;                // Position of the joined table
  int LeftPosition = 0;                  // Position of the source the join clause follows
  const TExpToken* Condition = nullptr;  // the ON condition, inside the WHERE tree
  TTextSpan ConditionText;
};

// A GROUP BY or ORDER BY item: a column by name (optionally qualified) or a
// select item by its number (from 1).
struct TGroupByField {
  std::string CorrelationName;
  std::string ColumnName;
  int ColumnNumber = 0;  // > 0 when written as a number
};

struct TOrderByField : TGroupByField {
  bool Descending = false;
};

// A column an INSERT fills or an UPDATE sets, as written.
struct TUpdateField {
  std::string CorrelationName;
  std::string ColumnName;
  TTextSpan Text;
};

// The value an INSERT or UPDATE gives the TUpdateField of the same number.
struct TUpdateValue {
  TExpressionRef Expression;
};

// COMMIT [INTERVAL n] [FLUSH] of INSERT, UPDATE and DELETE.
struct TCommitOption {
  bool Present = false;
  int32_t Interval = -1;  // -1: not given
  bool Flush = false;
};

class TDataQuery {
 public:
  TDataQuery();
  ~TDataQuery();
  TDataQuery(const TDataQuery&) = delete;
  TDataQuery& operator=(const TDataQuery&) = delete;

  TStatementKind StatementKind = TStatementKind::kUnknown;
  bool Distinct = false;
  std::vector<TResultField> ResultFields;
  std::vector<TSourceTable> SourceTables;
  // The WHERE tree holds every ON condition too (ANDed before the WHERE
  // condition); its Text is the WHERE clause's own.
  TExpressionRef Where;
  std::vector<TTableJoin> Joins;
  std::vector<TGroupByField> GroupBy;
  TExpressionRef Having;
  std::vector<TOrderByField> OrderBy;
  bool OrderByNoCase = false;
  std::vector<TUpdateField> UpdateFields;
  std::vector<TUpdateValue> UpdateValues;

  // SELECT ... INTO [MEMORY] name.
  bool HasInto = false;
  bool IntoInMemory = false;
  std::string IntoTableName;  // may be empty after INTO MEMORY
  std::string IntoDirectory;

  // Statement options.
  int32_t Top = -1;  // -1: no limit
  bool WithLocks = false;
  uint16_t LanguageId = 0;
  uint16_t SortId = 0;
  bool Encrypted = false;
  std::string Password;
  bool NoJoinOptimize = false;
  bool NoAutoInc = false;
  TCommitOption Commit;  // INSERT, UPDATE, DELETE; COMMIT [WORK] FLUSH as well

  // Handed over from the query component for a master SELECT.
  bool RequestLive = false;
  int32_t MaxRowCount = -1;  // -1: no limit

  // SELECT chains and sub-queries (owned by the statement).
  TDataQuery* UnionNext = nullptr;     // the next member of the chain
  bool UnionAll = false;               // how UnionNext joins this member
  bool InUnionChain = false;           // a member after the first
  TDataQuery* InsertSource = nullptr;  // INSERT ... SELECT

  // CREATE TABLE, ALTER TABLE, DROP TABLE, CREATE INDEX, DROP INDEX.
  std::unique_ptr<TDdlStatement> Ddl;

  // The source with this correlation name (ignoring case), or nullptr.
  TSourceTable* FindSource(std::string_view correlation_name);
  // The source with this Position, or nullptr.
  TSourceTable* SourceAt(int position);
};

}  // namespace strata
