#include "storage/blob/blob_cache.h"

#include <algorithm>

namespace strata {
namespace {

bool NumberLess(const std::unique_ptr<TBlock>& block, uint32_t number) {
  return block->Number < number;
}

}  // namespace

TBlockCache::~TBlockCache() = default;

void TBlockCache::Reset(size_t block_size, size_t capacity) {
  Clear();
  if (block_size != block_size_) spares_.clear();
  block_size_ = block_size;
  nominal_capacity_ = capacity < 1 ? 1 : capacity;
  capacity_ = nominal_capacity_;
}

TBlock* TBlockCache::Find(uint32_t number) {
  TBlock* probe = mru_head_;
  for (size_t i = 0; i < kMruProbe && probe != nullptr; ++i, probe = probe->MruNext) {
    if (probe->Number == number) {
      ++hits_;
      MoveToFront(probe);
      return probe;
    }
  }
  auto it = std::lower_bound(blocks_.begin(), blocks_.end(), number, NumberLess);
  if (it == blocks_.end() || (*it)->Number != number) return nullptr;
  ++hits_;
  MoveToFront(it->get());
  return it->get();
}

TBlock* TBlockCache::Peek(uint32_t number) const {
  auto it = std::lower_bound(blocks_.begin(), blocks_.end(), number, NumberLess);
  return it == blocks_.end() || (*it)->Number != number ? nullptr : it->get();
}

TBlock* TBlockCache::Add(uint32_t number, const std::function<bool()>& write_modified) {
  if (blocks_.size() >= capacity_) {
    TBlock* victim = FindVictim();
    if (victim == nullptr && write_modified && write_modified()) victim = FindVictim();
    if (victim != nullptr) {
      Evict(victim);
    } else {
      capacity_ += kGrowth;
    }
  }
  std::unique_ptr<TBlock> block;
  if (!spares_.empty()) {
    block = std::move(spares_.back());
    spares_.pop_back();
    std::fill(block->Bytes.begin(), block->Bytes.end(), 0);
  } else {
    block = std::make_unique<TBlock>(block_size_);
  }
  block->Number = number;
  block->Modified = false;
  block->Pins = 0;
  TBlock* raw = block.get();
  auto it = std::lower_bound(blocks_.begin(), blocks_.end(), number, NumberLess);
  blocks_.insert(it, std::move(block));
  LinkFront(raw);
  return raw;
}

void TBlockCache::Clear() {
  for (auto& block : blocks_) {
    block->MruPrev = block->MruNext = nullptr;
    if (spares_.size() < kMaxSpareBlocks) spares_.push_back(std::move(block));
  }
  blocks_.clear();
  mru_head_ = mru_tail_ = nullptr;
  capacity_ = nominal_capacity_;
}

void TBlockCache::Trim() {
  TBlock* block = mru_tail_;
  while (blocks_.size() > nominal_capacity_ && block != nullptr) {
    TBlock* newer = block->MruPrev;
    if (block->Pins == 0 && !block->Modified) Evict(block);
    block = newer;
  }
  capacity_ = std::max(nominal_capacity_, blocks_.size());
}

std::vector<uint32_t> TBlockCache::MruOrder() const {
  std::vector<uint32_t> order;
  for (TBlock* block = mru_head_; block != nullptr; block = block->MruNext) {
    order.push_back(block->Number);
  }
  return order;
}

void TBlockCache::MoveToFront(TBlock* block) {
  if (block == mru_head_) return;
  Unlink(block);
  LinkFront(block);
}

void TBlockCache::Unlink(TBlock* block) {
  if (block->MruPrev) block->MruPrev->MruNext = block->MruNext;
  if (block->MruNext) block->MruNext->MruPrev = block->MruPrev;
  if (mru_head_ == block) mru_head_ = block->MruNext;
  if (mru_tail_ == block) mru_tail_ = block->MruPrev;
  block->MruPrev = block->MruNext = nullptr;
}

void TBlockCache::LinkFront(TBlock* block) {
  block->MruPrev = nullptr;
  block->MruNext = mru_head_;
  if (mru_head_) mru_head_->MruPrev = block;
  mru_head_ = block;
  if (mru_tail_ == nullptr) mru_tail_ = block;
}

TBlock* TBlockCache::FindVictim() const {
  for (TBlock* block = mru_tail_; block != nullptr; block = block->MruPrev) {
    if (block->Pins == 0 && !block->Modified) return block;
  }
  return nullptr;
}

void TBlockCache::Evict(TBlock* block) {
  Unlink(block);
  auto it = std::lower_bound(blocks_.begin(), blocks_.end(), block->Number, NumberLess);
  std::unique_ptr<TBlock> owned = std::move(*it);
  blocks_.erase(it);
  if (spares_.size() < kMaxSpareBlocks) spares_.push_back(std::move(owned));
}

}  // namespace strata
