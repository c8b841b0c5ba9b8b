// The full structural check of an index tree and its free chain, used by
// tests and by the administrator's verify: it finds and names every fault
// rather than stopping at the first.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "storage/index/index_key.h"
#include "storage/index/index_tree.h"

namespace strata {

struct TIndexCheckResult {
  std::vector<std::string> Faults;  // one readable line per fault found
  uint32_t Entries = 0;             // leaf entries
  uint32_t Pages = 0;               // tree pages
  uint32_t FreePages = 0;           // pages on the free chain
  int Depth = 0;                    // levels, 0 for an empty index

  bool Sound() const { return Faults.empty(); }
};

// Owner of each page number met by the checks: the slot of the index whose
// tree or free chain holds it, kNoOwner when none claimed it yet.
constexpr int kNoOwner = -1;

// Checks the tree and free chain of index `index`: root kind (0 with at
// least 2 entries or 3 with at least 1) and no root links; kinds 1 and 2
// below the root; one depth for every leaf, at most 64 levels; entry counts
// between half the maximum (rounded down) and the maximum below the root;
// strictly ascending keys in every page and along the leaves; each inner
// entry equal to its child's highest entry; previous/next links joining
// every level from end to end; page numbers below `next_page`, each used
// once (`owners`, sized next_page, records which index took which page);
// free pages with no entries and no cycles. Never throws for a fault of the
// file; each becomes a line of Faults.
// `root` 0 checks only the free chain.
TIndexCheckResult CheckIndexTree(TPageStore& store, int index, const TIndexKeyFormat& format,
                                 bool record_numbers, uint32_t root, uint32_t free_head,
                                 uint32_t next_page, std::string_view index_name,
                                 std::vector<int>& owners);

}  // namespace strata
