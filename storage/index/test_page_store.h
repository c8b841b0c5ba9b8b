// Test helper: a TPageStore held wholly in memory, with the index file's
// allocation rules (free chain per index first, else append) but no file.
#pragma once

#include <array>
#include <map>
#include <memory>

#include "storage/engine_error.h"
#include "storage/index/index_descriptor.h"
#include "storage/index/index_tree.h"

namespace strata::testing {

class TMemoryPageStore : public TPageStore {
 public:
  // Every index of this store uses this entry layout.
  explicit TMemoryPageStore(uint16_t key_size, bool record_numbers = true)
      : key_size_(key_size), record_numbers_(record_numbers) {}

  TPage& FetchPage(int, uint32_t number) override {
    auto it = pages_.find(number);
    if (number == 0 || number >= next_page_ || it == pages_.end()) {
      RaiseTableError(STRATA_INDEXCORRUPT, "memory");
    }
    ++fetches_;
    return *it->second;
  }
  TPage& AllocatePage(int index) override {
    TPage* page;
    if (free_heads_[index] != 0) {
      page = &FetchPage(index, free_heads_[index]);
      free_heads_[index] = page->Next;
    } else {
      auto fresh = std::make_unique<TPage>();
      fresh->Number = next_page_++;
      fresh->SetLayout(key_size_, record_numbers_);
      page = fresh.get();
      pages_[page->Number] = std::move(fresh);
    }
    page->Clear();
    page->Modified = true;
    return *page;
  }
  void FreePage(int index, TPage& page) override {
    page.Clear();
    page.Next = free_heads_[index];
    page.Modified = true;
    free_heads_[index] = page.Number;
  }
  uint32_t RootPage(int index) const override { return roots_[index]; }
  void SetRootPage(int index, uint32_t page) override { roots_[index] = page; }
  uint64_t Generation(int index) const override { return generations_[index]; }
  void AdvanceGeneration(int index) override { ++generations_[index]; }
  void MarkModified(TPage& page) override { page.Modified = true; }

  uint32_t NextPage() const { return next_page_; }
  uint32_t FreeHead(int index) const { return free_heads_[index]; }
  uint64_t Fetches() const { return fetches_; }
  TPage& Page(uint32_t number) { return *pages_.at(number); }

 private:
  uint16_t key_size_;
  bool record_numbers_;
  uint32_t next_page_ = 1;
  std::map<uint32_t, std::unique_ptr<TPage>> pages_;
  std::array<uint32_t, kIndexSlotCount> roots_{};
  std::array<uint32_t, kIndexSlotCount> free_heads_{};
  std::array<uint64_t, kIndexSlotCount> generations_{};
  uint64_t fetches_ = 0;
};

}  // namespace strata::testing
