#include "storage/index/page_cache.h"

#include <algorithm>

namespace strata {

std::unique_ptr<TPage> TPageStack::Take() {
  if (pages_.empty()) return std::make_unique<TPage>();
  std::unique_ptr<TPage> page = std::move(pages_.back());
  pages_.pop_back();
  return page;
}

void TPageStack::Give(std::unique_ptr<TPage> page) {
  if (pages_.size() < limit_) {
    page->Modified = false;
    page->MruPrev = page->MruNext = nullptr;
    pages_.push_back(std::move(page));
  }
}

TPageCache::~TPageCache() = default;

size_t TPageCache::LowerBound(uint32_t number) const {
  auto it = std::lower_bound(
      pages_.begin(), pages_.end(), number,
      [](const std::unique_ptr<TPage>& page, uint32_t n) { return page->Number < n; });
  return static_cast<size_t>(it - pages_.begin());
}

void TPageCache::Unchain(TPage* page) {
  if (page->MruPrev)
    page->MruPrev->MruNext = page->MruNext;
  else
    mru_head_ = page->MruNext;
  if (page->MruNext)
    page->MruNext->MruPrev = page->MruPrev;
  else
    mru_tail_ = page->MruPrev;
  page->MruPrev = page->MruNext = nullptr;
}

void TPageCache::ChainFront(TPage* page) {
  page->MruPrev = nullptr;
  page->MruNext = mru_head_;
  if (mru_head_) mru_head_->MruPrev = page;
  mru_head_ = page;
  if (!mru_tail_) mru_tail_ = page;
}

TPage* TPageCache::Find(uint32_t number) {
  // The most recent pages (the root and the pages just above the leaves)
  // are asked for most often.
  if (mru_head_ && mru_head_->Number == number) return mru_head_;
  size_t i = LowerBound(number);
  if (i == pages_.size() || pages_[i]->Number != number) return nullptr;
  TPage* page = pages_[i].get();
  Unchain(page);
  ChainFront(page);
  return page;
}

TPage* TPageCache::Add(std::unique_ptr<TPage> page) {
  TPage* raw = page.get();
  size_t i = LowerBound(raw->Number);
  pages_.insert(pages_.begin() + static_cast<std::ptrdiff_t>(i), std::move(page));
  ChainFront(raw);
  return raw;
}

std::unique_ptr<TPage> TPageCache::Remove(uint32_t number) {
  size_t i = LowerBound(number);
  if (i == pages_.size() || pages_[i]->Number != number) return nullptr;
  std::unique_ptr<TPage> page = std::move(pages_[i]);
  pages_.erase(pages_.begin() + static_cast<std::ptrdiff_t>(i));
  Unchain(page.get());
  return page;
}

void TPageCache::Trim(size_t limit, TPageStack& spare) {
  TPage* page = mru_tail_;
  while (pages_.size() > limit && page != nullptr) {
    TPage* prev = page->MruPrev;
    if (!page->Modified) spare.Give(Remove(page->Number));
    page = prev;
  }
}

void TPageCache::Clear(TPageStack& spare) {
  for (std::unique_ptr<TPage>& page : pages_) spare.Give(std::move(page));
  pages_.clear();
  mru_head_ = mru_tail_ = nullptr;
}

}  // namespace strata
