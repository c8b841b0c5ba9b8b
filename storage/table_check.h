// The full check of one table's three files, for the administrator's
// verify, repair and rebuild: every invariant of the data file (header, slot
// count, record states, row numbers, free chain), of the index file (each
// tree's order, links, entry counts and fill, free chains, keys equal to the
// live records) and of the blob file (each value's chain: owners, links and
// byte counts against the total length; the free chain; no block lost or
// shared). It names every fault it finds instead of stopping at the first:
// an engine error met while examining one index or one value becomes a fault
// of that index or value, and the check goes on with the next.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace strata {

class TDataCursor;

struct TTableCheckResult {
  std::vector<std::string> Faults;  // one readable line per fault
  // Slots of the records that are damaged themselves (status byte, row
  // number, a broken blob value); a rebuild of the indexes cannot mend them.
  std::vector<uint32_t> DamagedRecords;
  uint32_t Slots = 0;
  uint32_t LiveRecords = 0;
  uint32_t FreeSlots = 0;
  uint32_t BlobBlocks = 0;
  uint32_t FreeBlobBlocks = 0;
  std::vector<std::pair<std::string, uint32_t>> IndexEntries;  // name, entries
  bool Sound() const { return Faults.empty(); }
};

// Faults of one kind listed one by one up to this many; the rest are
// summed up in one line (a table of a million records without its index
// would otherwise print a million lines).
constexpr size_t kMaxFaultsListed = 20;

// Checks the table open in `cursor` under the table's read lock. Faults of
// the files become lines of the result; only lock failures are raised.
TTableCheckResult CheckTable(TDataCursor& cursor);

// The part of the check that an index rebuild relies on: the data file and
// the records with their blob values (the index file is not examined).
TTableCheckResult CheckRecords(TDataCursor& cursor);

}  // namespace strata
