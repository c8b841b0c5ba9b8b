// TBlockCache: the cached blocks of one blob file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "storage/blob/blob_block.h"

namespace strata {

// Owns the cached TBlock objects of one blob file and a pool of at most
// kMaxSpareBlocks spare ones. Invariants: `blocks_` is sorted by block number
// without duplicates; every cached block is on the most-recently-used chain
// exactly once; the cache holds at most Capacity() blocks, which is the
// nominal capacity unless it had to grow because nothing could be evicted.
// The cache does no I/O: writing modified blocks is the owner's business.
class TBlockCache {
 public:
  static constexpr size_t kMaxSpareBlocks = 32;
  static constexpr size_t kGrowth = 32;
  static constexpr size_t kMruProbe = 4;  // MRU entries checked before the binary search

  TBlockCache() = default;
  ~TBlockCache();
  TBlockCache(const TBlockCache&) = delete;
  TBlockCache& operator=(const TBlockCache&) = delete;

  // Drops every block and sets the block size and nominal capacity (at least 1).
  void Reset(size_t block_size, size_t capacity);

  // Block `number`, or nullptr when it is not cached. A hit becomes the most
  // recently used block.
  TBlock* Find(uint32_t number);
  // Block `number` or nullptr, leaving the chain and the hit count alone.
  TBlock* Peek(uint32_t number) const;

  // Adds block `number` (which must not be cached) zero-filled and unmodified
  // as the most recently used block. When the cache is full the least
  // recently used unpinned unmodified block is reused; when there is none,
  // `write_modified` is called to write the unpinned modified blocks (it
  // returns whether it wrote any) and the search is repeated; when still
  // nothing can be reused, the capacity grows by kGrowth.
  TBlock* Add(uint32_t number, const std::function<bool()>& write_modified);

  // Drops every block, modified ones included, and restores the nominal capacity.
  void Clear();
  // Evicts unpinned unmodified blocks from the least recently used end until
  // the cache is within its nominal capacity, which becomes the capacity again.
  void Trim();

  // The cached blocks in block-number order.
  const std::vector<std::unique_ptr<TBlock>>& Blocks() const { return blocks_; }
  size_t Size() const { return blocks_.size(); }
  size_t Capacity() const { return capacity_; }
  size_t NominalCapacity() const { return nominal_capacity_; }
  size_t SpareCount() const { return spares_.size(); }
  uint64_t Hits() const { return hits_; }
  // Block numbers from the most to the least recently used (for tests).
  std::vector<uint32_t> MruOrder() const;

 private:
  void MoveToFront(TBlock* block);
  void Unlink(TBlock* block);
  void LinkFront(TBlock* block);
  TBlock* FindVictim() const;
  void Evict(TBlock* block);

  size_t block_size_ = kDefaultBlobBlockSize;
  size_t nominal_capacity_ = 1;
  size_t capacity_ = 1;
  std::vector<std::unique_ptr<TBlock>> blocks_;
  std::vector<std::unique_ptr<TBlock>> spares_;
  TBlock* mru_head_ = nullptr;  // most recently used
  TBlock* mru_tail_ = nullptr;  // least recently used
  uint64_t hits_ = 0;
};

// Keeps a cached block pinned (not evictable) for as long as it lives.
class TBlockPin {
 public:
  TBlockPin() = default;
  explicit TBlockPin(TBlock* block) : block_(block) {
    if (block_) ++block_->Pins;
  }
  ~TBlockPin() { Release(); }
  TBlockPin(TBlockPin&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
  TBlockPin& operator=(TBlockPin&& other) noexcept {
    if (this != &other) {
      Release();
      block_ = other.block_;
      other.block_ = nullptr;
    }
    return *this;
  }
  TBlockPin(const TBlockPin&) = delete;
  TBlockPin& operator=(const TBlockPin&) = delete;

  TBlock* get() const { return block_; }
  TBlock* operator->() const { return block_; }
  TBlock& operator*() const { return *block_; }
  explicit operator bool() const { return block_ != nullptr; }

 private:
  void Release() {
    if (block_) --block_->Pins;
    block_ = nullptr;
  }
  TBlock* block_ = nullptr;
};

}  // namespace strata
