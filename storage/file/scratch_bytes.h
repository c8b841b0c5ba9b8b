// Scratch bytes for the file objects: the buffers a read or a write of a
// run passes through (pages encoded for writing, records and blocks read
// ahead, pre-images read for the journal). Each use has one buffer per
// thread, shared by every table this thread works on, rather than one per
// file object that stays as large as its largest run for the life of the
// table: a request that opens several tables touches the memory of one.
#pragma once

#include <cstdint>
#include <vector>

namespace strata {

// The uses; one call chain never holds two buffers of the same use (a
// write's journal pre-image read runs while the write's own bytes sit in
// another use's buffer).
enum class TScratchUse {
  kJournalImage,    // pre-images read by the journal
  kIndexPages,      // index pages encoded for writing
  kRecordsRead,     // data file slots read in a run
  kRecordsWritten,  // data file slots and descriptors written
  kBlocksRead,      // blob blocks read in a run
  kBlocksWritten,   // blob blocks written
  kCount,
};

// This thread's buffer for `use`; its contents are whatever the last user
// left. Valid until the thread ends; resizing it is the caller's business.
std::vector<uint8_t>& ScratchBytes(TScratchUse use);

// Gives a buffer that grew beyond a few records back to the heap once its
// run is done, for the allocations that follow to reuse (its memory pages
// are touched already; a buffer kept for the next run keeps them from
// everything else).
void ReleaseLargeScratch(std::vector<uint8_t>& buffer);

// This thread's buffer for one run: ReleaseLargeScratch when the run ends,
// on every path.
class TScratchRun {
 public:
  explicit TScratchRun(TScratchUse use) : bytes(ScratchBytes(use)) {}
  ~TScratchRun() { ReleaseLargeScratch(bytes); }
  TScratchRun(const TScratchRun&) = delete;
  TScratchRun& operator=(const TScratchRun&) = delete;

  std::vector<uint8_t>& bytes;
};

}  // namespace strata
