#include "sql/exec/prepared_query.h"

#include "storage/cursor/data_cursor.h"

namespace strata {

TPreparedQuery::TPreparedQuery() = default;
TPreparedQuery::~TPreparedQuery() = default;
TPreparedQuery::TPreparedQuery(TPreparedQuery&&) noexcept = default;
TPreparedQuery& TPreparedQuery::operator=(TPreparedQuery&&) noexcept = default;

}  // namespace strata
