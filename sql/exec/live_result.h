// A live result: when the query component asks for one and the SELECT is
// plain enough, the result is a cursor on the source table itself instead
// of a copy: one source, every column ("*"), no INTO, DISTINCT, join, GROUP
// BY, HAVING, aggregate or UNION, a WHERE a filter can carry, and an ORDER
// BY (if any) that an index of the table serves. The whole WHERE is the
// cursor's filter, its record count the number of qualifying records; the
// ordering index is the cursor's current index.
#pragma once

#include <memory>
#include <optional>

namespace strata {

class TDataCursor;
class TDataQuery;

// The index slot serving the ORDER BY (the row order without one), or
// nullopt when the query cannot have a live result.
std::optional<int> LiveResultIndex(const TDataQuery& query);

// Opens the live result cursor.
std::unique_ptr<TDataCursor> OpenLiveResult(TDataQuery& query, int index);

}  // namespace strata
