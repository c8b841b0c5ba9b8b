// TPageCache: the cached pages of one index; TPageStack: a pool of spare
// page objects shared by the caches of one index file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "storage/index/index_page.h"

namespace strata {

// Spare TPage objects, so a page taken on after an eviction costs no
// allocation. Keeps at most `limit` pages.
class TPageStack {
 public:
  explicit TPageStack(size_t limit = 64) : limit_(limit) {}
  std::unique_ptr<TPage> Take();  // a spare page, or a new one
  void Give(std::unique_ptr<TPage> page);
  size_t Size() const { return pages_.size(); }

 private:
  size_t limit_;
  std::vector<std::unique_ptr<TPage>> pages_;
};

// Owns the pages of one index that are in memory: a list sorted by page
// number (binary search) and a most-recently-used chain (head = latest).
// Invariant: every page in the list is on the chain exactly once.
class TPageCache {
 public:
  TPageCache() = default;
  ~TPageCache();
  TPageCache(const TPageCache&) = delete;
  TPageCache& operator=(const TPageCache&) = delete;

  // The cached page with this number, made the most recent; nullptr if none.
  TPage* Find(uint32_t number);
  // Takes a page (not yet cached) in as the most recent.
  TPage* Add(std::unique_ptr<TPage> page);
  // Takes a page out of the cache; nullptr if it is not there.
  std::unique_ptr<TPage> Remove(uint32_t number);

  // Evicts unmodified pages from the least recent end until at most `limit`
  // pages remain (modified pages are never evicted).
  void Trim(size_t limit, TPageStack& spare);
  // Drops every page, modified ones included.
  void Clear(TPageStack& spare);

  size_t Size() const { return pages_.size(); }
  // The cached pages in page-number order.
  const std::vector<std::unique_ptr<TPage>>& Pages() const { return pages_; }

 private:
  size_t LowerBound(uint32_t number) const;
  void Unchain(TPage* page);
  void ChainFront(TPage* page);

  std::vector<std::unique_ptr<TPage>> pages_;
  TPage* mru_head_ = nullptr;
  TPage* mru_tail_ = nullptr;
};

}  // namespace strata
