// The full check of one table's three files, for the administrator's
// verify: every invariant of the data file (header, slot count, record
// states, row numbers, free chain), of the index file (each tree's order,
// links, entry counts and fill, free chains, keys equal to the live records)
// and of the blob file (each value's chain, the free chain, no block lost or
// shared). It names every fault it finds instead of stopping at the first.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace strata {

class TDataCursor;

struct TTableCheckResult {
  std::vector<std::string> Faults;  // one readable line per fault
  uint32_t Slots = 0;
  uint32_t LiveRecords = 0;
  uint32_t FreeSlots = 0;
  uint32_t BlobBlocks = 0;
  uint32_t FreeBlobBlocks = 0;
  std::vector<std::pair<std::string, uint32_t>> IndexEntries;  // name, entries
  bool Sound() const { return Faults.empty(); }
};

// Checks the table open in `cursor` under the table's read lock. Faults of
// the files become lines of the result; only failures to read at all (and
// lock failures) are raised.
TTableCheckResult CheckTable(TDataCursor& cursor);

}  // namespace strata
