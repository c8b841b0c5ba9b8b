#include "sql/parse/query_outline.h"

#include <string>
#include <type_traits>

namespace strata {
namespace {

class TOutline {
 public:
  explicit TOutline(std::string_view text) : text_(text) {}

  void Query(const TDataQuery& query, int depth);
  void Ddl(const TDdlStatement& ddl, int depth);
  std::string Take() { return std::move(out_); }

 private:
  void Line(int depth, std::string_view line) {
    out_.append(static_cast<size_t>(depth) * 2, ' ');
    out_.append(line);
    out_.push_back('\n');
  }
  // The text of a span with line breaks and surrounding blanks removed.
  std::string Text(TTextSpan span) const {
    std::string result;
    for (uint32_t i = span.Begin; i < span.End && i < text_.size(); ++i) {
      if (text_[i] != '\r' && text_[i] != '\n') result.push_back(text_[i]);
    }
    while (!result.empty() && result.back() == ' ') result.pop_back();
    return result;
  }
  static std::string Table(const TTableName& name) {
    return (name.InMemory ? "MEMORY " : "") + name.Directory + name.Name;
  }
  static std::string Column(const TGroupByField& item) {
    if (item.ColumnNumber > 0) return "#" + std::to_string(item.ColumnNumber);
    return item.CorrelationName.empty() ? item.ColumnName
                                        : item.CorrelationName + "." + item.ColumnName;
  }
  void Options(const TDataQuery& query, int depth);
  void Field(const TFieldDescriptor& field, int depth, std::string_view label);
  void TableOptions(const TTableOptions& options, int depth);

  std::string_view text_;
  std::string out_;
};

void TOutline::Query(const TDataQuery& query, int depth) {
  Line(depth,
       std::string(StatementKindName(query.StatementKind)) + (query.Distinct ? " DISTINCT" : ""));
  const int in = depth + 1;
  for (const TResultField& item : query.ResultFields) {
    std::string line = "item: " + Text(item.Expression.Text);
    if (!item.Alias.empty()) {
      line += " AS " + (item.AliasTable.empty() ? "" : item.AliasTable + ".") + item.Alias;
    }
    Line(in, line);
  }
  if (query.HasInto) {
    Line(in, std::string("into: ") + (query.IntoInMemory ? "MEMORY " : "") + query.IntoDirectory +
                 query.IntoTableName);
  }
  for (const TSourceTable& source : query.SourceTables) {
    Line(in, "source " + std::to_string(source.Position) + ": " +
                 (source.InMemory ? "MEMORY " : "") + source.Directory + source.TableName + " AS " +
                 source.CorrelationName);
  }
  for (const TTableJoin& join : query.Joins) {
    static constexpr std::string_view kKinds[] = {"", "INNER", "LEFT", "RIGHT"};
    Line(in, "join " + std::string(kKinds[static_cast<int>(join.Kind)]) + " " +
                 std::to_string(join.SourcePosition) + " after " +
                 std::to_string(join.LeftPosition) + " ON " + Text(join.ConditionText));
  }
  if (query.Where.Text.End > query.Where.Text.Begin) Line(in, "where: " + Text(query.Where.Text));
  if (!query.GroupBy.empty()) {
    std::string line;
    for (const TGroupByField& item : query.GroupBy)
      line += (line.empty() ? "" : ", ") + Column(item);
    Line(in, "group by: " + line);
  }
  if (query.Having) Line(in, "having: " + Text(query.Having.Text));
  if (!query.OrderBy.empty()) {
    std::string line;
    for (const TOrderByField& item : query.OrderBy) {
      line += (line.empty() ? "" : ", ") + Column(item) + (item.Descending ? " DESC" : "");
    }
    Line(in, "order by: " + line + (query.OrderByNoCase ? " NOCASE" : ""));
  }
  const bool set_pairs = query.StatementKind == TStatementKind::kUpdate;
  for (size_t i = 0; i < query.UpdateFields.size(); ++i) {
    std::string line = (set_pairs ? "set: " : "column: ") + Text(query.UpdateFields[i].Text) +
                       " -> " +
                       (query.UpdateFields[i].CorrelationName.empty()
                            ? ""
                            : query.UpdateFields[i].CorrelationName + ".") +
                       query.UpdateFields[i].ColumnName;
    if (set_pairs && i < query.UpdateValues.size()) {
      line += " = " + Text(query.UpdateValues[i].Expression.Text);
    }
    Line(in, line);
  }
  if (!set_pairs) {
    for (const TUpdateValue& value : query.UpdateValues) {
      Line(in, "value: " + Text(value.Expression.Text));
    }
  }
  Options(query, in);
  if (query.Ddl) Ddl(*query.Ddl, in);
  if (query.InsertSource != nullptr) {
    Line(in, "insert select:");
    Query(*query.InsertSource, in + 1);
  }
  if (query.UnionNext != nullptr) {
    Line(in, query.UnionAll ? "union all:" : "union:");
    Query(*query.UnionNext, depth);
  }
}

void TOutline::Options(const TDataQuery& query, int depth) {
  std::string line;
  const auto add = [&](const std::string& option) { line += (line.empty() ? "" : ", ") + option; };
  if (query.Top >= 0) add("TOP " + std::to_string(query.Top));
  if (query.WithLocks) add("WITH LOCKS");
  if (query.LanguageId != 0 || query.SortId != 0) {
    add("LANGUAGE " + std::to_string(query.LanguageId) + " SORT " + std::to_string(query.SortId));
  }
  if (query.Encrypted) add("ENCRYPTED WITH '" + query.Password + "'");
  if (query.NoJoinOptimize) add("NOJOINOPTIMIZE");
  if (query.NoAutoInc) add("NOAUTOINC");
  if (query.Commit.Present) {
    std::string commit = "COMMIT";
    if (query.Commit.Interval >= 0) commit += " INTERVAL " + std::to_string(query.Commit.Interval);
    if (query.Commit.Flush) commit += " FLUSH";
    add(commit);
  }
  if (!line.empty()) Line(depth, "options: " + line);
}

void TOutline::Field(const TFieldDescriptor& field, int depth, std::string_view label) {
  std::string line = std::string(label) + field.Name + " type " + std::to_string(field.TypeCode) +
                     "/" + std::to_string(field.SubType);
  if (field.DeclaredSize != 0) line += " size " + std::to_string(field.DeclaredSize);
  if (field.Decimals != 0) line += " decimals " + std::to_string(field.Decimals);
  if (field.Required) line += " NOT NULL";
  if (!field.DefaultValue.empty()) line += " DEFAULT '" + field.DefaultValue + "'";
  if (!field.MinValue.empty()) line += " MINIMUM '" + field.MinValue + "'";
  if (!field.MaxValue.empty()) line += " MAXIMUM '" + field.MaxValue + "'";
  if (field.CharCase != 0) line += " CHARCASE " + std::to_string(field.CharCase);
  if (!field.Description.empty()) line += " DESCRIPTION '" + field.Description + "'";
  Line(depth, line);
}

void TOutline::TableOptions(const TTableOptions& options, int depth) {
  if (options.TextIndexColumns) {
    std::string line = "text index:";
    for (size_t i = 0; i < options.TextIndexColumns->size(); ++i) {
      line += (i == 0 ? " " : ", ") + (*options.TextIndexColumns)[i];
    }
    Line(depth, line);
  }
  if (options.StopWords) Line(depth, "stop words: '" + *options.StopWords + "'");
  if (options.SpaceChars) Line(depth, "space chars: '" + *options.SpaceChars + "'");
  if (options.IncludeChars) Line(depth, "include chars: '" + *options.IncludeChars + "'");
  if (options.Description) Line(depth, "description: '" + *options.Description + "'");
  if (options.BlobBlockSize)
    Line(depth, "blob block size: " + std::to_string(*options.BlobBlockSize));
  if (options.LanguageId) {
    Line(depth, "language: " + std::to_string(*options.LanguageId) + " sort " +
                    std::to_string(options.SortId.value_or(0)));
  }
  if (options.Password) Line(depth, "encrypted with: '" + *options.Password + "'");
  if (options.UserMajorVersion)
    Line(depth, "user major version: " + std::to_string(*options.UserMajorVersion));
  if (options.UserMinorVersion)
    Line(depth, "user minor version: " + std::to_string(*options.UserMinorVersion));
  if (options.LastAutoInc) Line(depth, "last autoinc: " + std::to_string(*options.LastAutoInc));
  if (options.NoBackup) Line(depth, "nobackup");
}

std::string KeyColumns(const std::vector<TKeyColumn>& columns) {
  std::string line;
  for (const TKeyColumn& column : columns) {
    line += (line.empty() ? " " : ", ") + column.Name + (column.Descending ? " DESC" : "");
  }
  return line;
}

void TOutline::Ddl(const TDdlStatement& ddl, int depth) {
  std::visit(
      [&](const auto& statement) {
        using T = std::decay_t<decltype(statement)>;
        if constexpr (std::is_same_v<T, TCreateTableStatement>) {
          Line(depth, "table: " + Table(statement.Table) +
                          (statement.IfNotExists ? " IF NOT EXISTS" : ""));
          for (const TColumnDefinition& column : statement.Columns) {
            Field(column.Field, depth, "column: ");
            if (column.BlobBlockSize != 0) {
              Line(depth + 1, "block size " + std::to_string(column.BlobBlockSize));
            }
          }
          if (statement.PrimaryKey) {
            Line(depth, "primary key" +
                            (statement.PrimaryKey->ConstraintName.empty()
                                 ? std::string()
                                 : " " + statement.PrimaryKey->ConstraintName) +
                            ":" + KeyColumns(statement.PrimaryKey->Columns));
          }
          TableOptions(statement.Options, depth);
        } else if constexpr (std::is_same_v<T, TAlterTableStatement>) {
          Line(depth, "table: " + Table(statement.Table));
          static constexpr std::string_view kActions[] = {
              "add column",      "drop column",      "redefine column",
              "add primary key", "drop primary key", "redefine primary key"};
          for (const TAlterStep& step : statement.Steps) {
            std::string line = std::string(kActions[static_cast<int>(step.Action)]);
            if (step.IfExists) line += " (if exists)";
            if (!step.ColumnName.empty()) line += " " + step.ColumnName;
            if (step.Position > 0) line += " at " + std::to_string(step.Position);
            if (!step.PrimaryKey.Columns.empty()) line += ":" + KeyColumns(step.PrimaryKey.Columns);
            Line(depth, line);
            if (step.Action == TAlterAction::kAddColumn ||
                step.Action == TAlterAction::kRedefineColumn) {
              Field(step.Column.Field, depth + 1, "");
            }
          }
          TableOptions(statement.Options, depth);
        } else if constexpr (std::is_same_v<T, TDropTableStatement>) {
          Line(depth,
               "table: " + Table(statement.Table) + (statement.IfExists ? " IF EXISTS" : ""));
        } else if constexpr (std::is_same_v<T, TCreateIndexStatement>) {
          static constexpr std::string_view kCompression[] = {
              "", " COMPRESS DUPBYTE", " COMPRESS TRAILBYTE", " COMPRESS FULL"};
          Line(depth, "index: " + statement.IndexName + " ON " + Table(statement.Table) +
                          (statement.IfNotExists ? " IF NOT EXISTS" : "") +
                          (statement.Unique ? " UNIQUE" : "") +
                          (statement.Descending ? " DESC" : "") +
                          (statement.NoCase ? " NOCASE" : "") +
                          std::string(kCompression[static_cast<int>(statement.Compression)]));
          Line(depth, "key:" + KeyColumns(statement.Columns));
        } else {
          Line(depth, "index: " + statement.IndexName + " ON " + Table(statement.Table) +
                          (statement.IfExists ? " IF EXISTS" : ""));
        }
      },
      ddl.Statement);
}

}  // namespace

std::string QueryOutline(const TParsedStatement& statement, std::string_view text) {
  TOutline outline(text);
  if (statement.Empty()) return {};
  outline.Query(statement.Master(), 0);
  std::string result = outline.Take();
  if (!statement.Parameters().empty()) {
    result += "parameters: " + std::to_string(statement.Parameters().size()) + "\n";
  }
  for (const TSubSelect* sub_select : statement.SubSelects()) {
    TOutline nested(text);
    nested.Query(sub_select->Query(), 1);
    result += "sub-select:\n" + nested.Take();
  }
  return result;
}

}  // namespace strata
