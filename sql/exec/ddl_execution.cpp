#include "sql/exec/ddl_execution.h"

#include "sql/expr/sql_error.h"

namespace strata {

// Placeholders until the table-definition statements are carried out.
TStatementOutcome ExecuteCreateTable(TDataDirectory&, const TCreateTableStatement&) {
  RaiseSqlError("CREATE TABLE is not supported yet");
}
TStatementOutcome ExecuteAlterTable(TDataDirectory&, const TAlterTableStatement&) {
  RaiseSqlError("ALTER TABLE is not supported yet");
}
TStatementOutcome ExecuteDropTable(TDataDirectory&, const TDropTableStatement&) {
  RaiseSqlError("DROP TABLE is not supported yet");
}
TStatementOutcome ExecuteCreateIndex(TDataDirectory&, const TCreateIndexStatement&) {
  RaiseSqlError("CREATE INDEX is not supported yet");
}
TStatementOutcome ExecuteDropIndex(TDataDirectory&, const TDropIndexStatement&) {
  RaiseSqlError("DROP INDEX is not supported yet");
}

}  // namespace strata
