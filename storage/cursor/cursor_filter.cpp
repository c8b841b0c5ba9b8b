#include "storage/cursor/cursor_filter.h"

namespace strata {

bool TRecordsBitmap::Contains(uint32_t record_number) const {
  const size_t word = record_number / 64;
  return word < words_.size() && (words_[word] >> (record_number % 64) & 1) != 0;
}

void TRecordsBitmap::Add(uint32_t record_number) {
  const size_t word = record_number / 64;
  if (word >= words_.size()) words_.resize(word + 1, 0);
  const uint64_t bit = uint64_t{1} << (record_number % 64);
  if ((words_[word] & bit) == 0) {
    words_[word] |= bit;
    ++count_;
  }
}

void TRecordsBitmap::Remove(uint32_t record_number) {
  const size_t word = record_number / 64;
  if (word >= words_.size()) return;
  const uint64_t bit = uint64_t{1} << (record_number % 64);
  if ((words_[word] & bit) != 0) {
    words_[word] &= ~bit;
    --count_;
  }
}

void TRecordsBitmap::Clear() {
  words_.clear();
  count_ = 0;
}

}  // namespace strata
