// Sorting the records of a data file in place: the live records are put in
// the order of their sort keys and written back into slots 1, 2, 3, ...,
// each renumbered by its new place (own number and row number alike), so
// that slot order, row-number order and sorted order are one (an
// auto-increment field, being the row number, is renumbered with them). The
// file is cut behind the last record written; the free chain is empty
// afterwards.
//
// Two ways, chosen by the size of the table:
//   in memory  every slot fits in the record cache: the keys of all records
//              are built, sorted, and the records written back in order;
//   external   the cache is flushed and emptied, the table is cut into runs
//              of R = min(cache count limit, 1 MiB / record size)
//              consecutive slots, each run sorted in memory and written to a
//              scratch file of its own (removed when it closes, errors
//              included); then the runs are merged back into the slots.
// Both feed the records in sorted order through one output step, which
// collapses equal neighbours (keys equal in their columns) when asked and
// stops at the row limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace strata {

class TDataFile;

// The sort key of a record and its order; built by the layer that knows the
// key forms. A key is the sort columns, then the record's row number.
class TRecordKeyOrder {
 public:
  virtual ~TRecordKeyOrder() = default;
  virtual size_t KeySize() const = 0;
  virtual void BuildKey(const uint8_t* record, uint8_t* key) const = 0;
  // <0, 0, >0 over the sort columns only (equal: duplicates, group members).
  virtual int CompareColumns(const uint8_t* a, const uint8_t* b) const = 0;
  // The columns, then the row numbers (never 0 for two records).
  virtual int Compare(const uint8_t* a, const uint8_t* b) const = 0;
};

struct TRecordSortRules {
  const TRecordKeyOrder* Order = nullptr;
  // Records whose columns compare equal become one: the first of them (by
  // row number) stands for the group, and Merge, when given, folds each
  // further member into it.
  bool Collapse = false;
  std::function<void(std::span<uint8_t> group, std::span<const uint8_t> member)> Merge;
  // Called with each record about to be written (a complete group when
  // collapsing); false leaves it out.
  std::function<bool(std::span<uint8_t> record)> Finish;
  // At most this many records are written; -1: no limit.
  int64_t Limit = -1;
  // Names a new scratch file for a run of the external sort.
  std::function<std::string()> RunFileName;
  // Writes the cache's changes out (the external sort calls it before its
  // runs and whenever the merge has filled the cache); the data file's own
  // flush when not given.
  std::function<void()> WriteOut;
};

struct TRecordSortOutcome {
  uint32_t Records = 0;  // written into slots 1..Records
  uint32_t Runs = 0;     // scratch files of the external sort; 0 in memory
  // Row number N stood in slot N before, for every slot, and as many
  // records were written as there were: the pairs of row number and slot
  // are the same as before, so the table's row-order index is still right
  // (though records moved).
  bool RowsUnchanged = false;
  // Anything was written (false: the records were in order already).
  bool Changed = false;
};

// Sorts `data` (open for writing, used by the caller alone) by the rules.
// Leaves the written records modified in the cache (the caller flushes) and
// the header modified.
TRecordSortOutcome SortRecords(TDataFile& data, const TRecordSortRules& rules);

}  // namespace strata
