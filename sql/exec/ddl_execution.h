// Carrying out the statements that define tables: CREATE TABLE, ALTER
// TABLE, DROP TABLE, CREATE INDEX and DROP INDEX, each through the storage
// engine against the tables of one database directory.
#pragma once

#include "sql/exec/statement_executor.h"
#include "sql/parse/ddl_statement.h"

namespace strata {

class TDataDirectory;

TStatementOutcome ExecuteCreateTable(TDataDirectory& database, const TCreateTableStatement& create);
TStatementOutcome ExecuteAlterTable(TDataDirectory& database, const TAlterTableStatement& alter);
TStatementOutcome ExecuteDropTable(TDataDirectory& database, const TDropTableStatement& drop);
TStatementOutcome ExecuteCreateIndex(TDataDirectory& database, const TCreateIndexStatement& create);
TStatementOutcome ExecuteDropIndex(TDataDirectory& database, const TDropIndexStatement& drop);

}  // namespace strata
