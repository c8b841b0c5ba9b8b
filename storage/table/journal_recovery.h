// Rolling back a hot journal: the change of a writer that is gone (killed,
// or failed before it could roll back itself) is undone before anyone reads
// the table, under the table's write exclusion.
//
// What tells a hot journal from a live one is the lock protocol: a writer
// holds the table mutex and the write regions for as long as its change is
// live, and the write regions cover every read slot. So a journal that
// holds a change is hot when seen by a process holding a read slot, the
// write regions, or (at open, before any lock) the table mutex and then the
// write regions. A live transaction holds the mutex without the regions
// while it runs, but then no change of it is live: the process that took
// the mutex rolled back any hot journal when it took it.
#pragma once

#include <string_view>

namespace strata {

class TFileHandler;
class TRollbackJournal;

// Rolls back the change `journal` holds (attached to the table's files),
// taking the table mutex on `data` (unless `holds_mutex`) and the write
// regions of `index` and `blob` (those given) for that time; all are given
// back on every path. While another process holds the mutex and the journal
// still holds a change it waits 3 ms at a time (the holder is rolling back
// or finishing), returning as soon as the journal is clear. 10249 when the
// locks cannot be had within the table lock loop's attempts.
void RecoverHotJournal(TRollbackJournal& journal, TFileHandler& data, TFileHandler* index,
                       TFileHandler* blob, bool holds_mutex, std::string_view table_name);

}  // namespace strata
