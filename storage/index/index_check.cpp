#include "storage/index/index_check.h"

#include <cstring>
#include <exception>
#include <string>

namespace strata {
namespace {

// What a parent entry says about the child it points to.
struct ChildRef {
  uint32_t page = 0;
  std::vector<uint8_t> key;  // the parent entry's key (the child's highest)
  uint32_t record = 0;
};

class TreeChecker {
 public:
  TreeChecker(TPageStore& store, int index, const TIndexKeyFormat& format, bool record_numbers,
              uint32_t next_page, std::string_view name, std::vector<int>& owners,
              TIndexCheckResult& result)
      : store_(store),
        index_(index),
        format_(format),
        key_size_(format.KeySize()),
        max_(TPage::MaxEntriesFor(format.KeySize(), record_numbers)),
        next_page_(next_page),
        owners_(owners),
        result_(result) {
    label_ = "index '" + std::string(name) + "' (slot " + std::to_string(index) + "): ";
  }

  void Fault(const std::string& text) { result_.Faults.push_back(label_ + text); }

  // The page, claimed for this index; nullptr (and a fault) when it is out
  // of range, already claimed or unreadable.
  TPage* Claim(uint32_t number, const char* role) {
    std::string what = std::string(role) + " page " + std::to_string(number);
    if (number == 0 || number >= next_page_) {
      Fault(what + " lies outside the file (pages 1.." + std::to_string(next_page_ - 1) + ")");
      return nullptr;
    }
    if (owners_[number] != kNoOwner) {
      Fault(what + " is already used by slot " + std::to_string(owners_[number]));
      return nullptr;
    }
    owners_[number] = index_;
    try {
      return &store_.FetchPage(index_, number);
    } catch (const std::exception& error) {
      Fault(what + " cannot be read: " + error.what());
      return nullptr;
    }
  }

  void CheckTree(uint32_t root) {
    std::vector<ChildRef> level{{root, {}, 0}};
    bool leaf_level = false;
    for (int depth = 0; !level.empty() && !leaf_level; ++depth) {
      if (depth >= kMaxIndexDepth) {
        Fault("more than " + std::to_string(kMaxIndexDepth) + " levels");
        return;
      }
      result_.Depth = depth + 1;
      std::vector<ChildRef> below;
      std::vector<uint8_t> previous_key;  // highest key met so far on this level
      uint32_t previous_page = 0;
      uint32_t previous_next = 0;
      bool have_previous = false;
      for (size_t i = 0; i < level.size(); ++i) {
        const ChildRef& ref = level[i];
        TPage* page = Claim(ref.page, depth == 0 ? "root" : "tree");
        if (page == nullptr) continue;
        ++result_.Pages;
        std::string at = "page " + std::to_string(ref.page) + ": ";
        // Kind and fill.
        bool is_leaf = page->Kind == pkLeaf || page->Kind == pkRootLeaf;
        if (i == 0) leaf_level = is_leaf;
        if (depth == 0) {
          if (page->Kind != pkRoot && page->Kind != pkRootLeaf) {
            Fault(at + "root of kind " + std::to_string(page->Kind));
          }
          if (page->Kind == pkRoot && page->Count < 2) Fault(at + "root with fewer than 2 entries");
          if (page->Kind == pkRootLeaf && page->Count < 1) Fault(at + "empty root");
          if (page->Prev != 0 || page->Next != 0) Fault(at + "root has neighbours");
        } else {
          uint8_t expected = leaf_level ? pkLeaf : pkInner;
          if (page->Kind != expected) {
            Fault(at + "kind " + std::to_string(page->Kind) + " where kind " +
                  std::to_string(expected) + " belongs");
          }
          if (page->Count < max_ / 2) {
            Fault(at + std::to_string(page->Count) + " entries, fewer than " +
                  std::to_string(max_ / 2));
          }
        }
        if (is_leaf != leaf_level) Fault(at + "leaves and inner pages on one level");
        if (page->Count > max_) {
          Fault(at + std::to_string(page->Count) + " entries, more than " + std::to_string(max_));
          continue;
        }
        // Links along the level.
        if (have_previous) {
          if (page->Prev != previous_page) {
            Fault(at + "previous link " + std::to_string(page->Prev) + ", expected " +
                  std::to_string(previous_page));
          }
          if (previous_next != ref.page) {
            Fault("page " + std::to_string(previous_page) + ": next link " +
                  std::to_string(previous_next) + ", expected " + std::to_string(ref.page));
          }
        } else if (page->Prev != 0) {
          Fault(at + "first page of its level has previous link " + std::to_string(page->Prev));
        }
        if (i + 1 == level.size() && page->Next != 0) {
          Fault(at + "last page of its level has next link " + std::to_string(page->Next));
        }
        // Keys: strictly ascending, the highest one as the parent says.
        for (int e = 0; e < page->Count; ++e) {
          const uint8_t* key = page->Key(e);
          if ((e > 0 && format_.Compare(page->Key(e - 1), key) >= 0) ||
              (e == 0 && !previous_key.empty() && format_.Compare(previous_key.data(), key) >= 0)) {
            Fault(at + "entry " + std::to_string(e) + " out of order");
          }
          if (is_leaf) {
            if (page->Child(e) != 0) Fault(at + "leaf entry " + std::to_string(e) + " has a child");
          } else {
            below.push_back({page->Child(e), std::vector<uint8_t>(key, key + key_size_),
                             page->RecordNumber(e)});
          }
        }
        if (page->Count > 0) {
          int last = page->Count - 1;
          if (depth > 0 && (std::memcmp(page->Key(last), ref.key.data(), key_size_) != 0 ||
                            page->RecordNumber(last) != ref.record)) {
            Fault(at + "highest entry differs from its parent's entry");
          }
          previous_key.assign(page->Key(last), page->Key(last) + key_size_);
        }
        if (is_leaf) result_.Entries += page->Count;
        previous_page = ref.page;
        previous_next = page->Next;
        have_previous = true;
      }
      if (!leaf_level && below.empty()) {
        Fault("inner level " + std::to_string(depth) + " without children");
        return;
      }
      level = std::move(below);
    }
  }

  void CheckFreeChain(uint32_t head) {
    for (uint32_t number = head; number != 0;) {
      TPage* page = Claim(number, "free");
      if (page == nullptr) return;  // out of range, cycle or unreadable
      ++result_.FreePages;
      if (page->Count != 0) {
        Fault("free page " + std::to_string(number) + " holds " + std::to_string(page->Count) +
              " entries");
      }
      number = page->Next;
    }
  }

 private:
  TPageStore& store_;
  int index_;
  const TIndexKeyFormat& format_;
  uint16_t key_size_;
  int max_;
  uint32_t next_page_;
  std::vector<int>& owners_;
  TIndexCheckResult& result_;
  std::string label_;
};

}  // namespace

TIndexCheckResult CheckIndexTree(TPageStore& store, int index, const TIndexKeyFormat& format,
                                 bool record_numbers, uint32_t root, uint32_t free_head,
                                 uint32_t next_page, std::string_view index_name,
                                 std::vector<int>& owners) {
  TIndexCheckResult result;
  if (owners.size() < next_page) owners.resize(next_page, kNoOwner);
  TreeChecker checker(store, index, format, record_numbers, next_page, index_name, owners, result);
  if (root != 0) checker.CheckTree(root);
  checker.CheckFreeChain(free_head);
  return result;
}

}  // namespace strata
