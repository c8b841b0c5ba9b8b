#include "storage/data/record_cache.h"

#include <algorithm>

namespace strata {

std::unique_ptr<TRecord> TRecordStack::Pop(size_t record_size) {
  std::unique_ptr<TRecord> record;
  if (spare_.empty()) {
    record = std::make_unique<TRecord>();
  } else {
    record = std::move(spare_.back());
    spare_.pop_back();
  }
  record->Owner = nullptr;
  record->modified_ = false;
  record->parked_ = false;
  record->PinCount = 0;
  record->RecordNumber = 0;
  record->Buffer.assign(record_size, 0);
  record->KeyBuffer.clear();
  return record;
}

void TRecordStack::Push(std::unique_ptr<TRecord> record) {
  if (spare_.size() < limit_) spare_.push_back(std::move(record));
}

TRecordCache::~TRecordCache() = default;

std::vector<std::unique_ptr<TRecord>>::const_iterator TRecordCache::LowerBound(
    uint32_t number) const {
  return std::lower_bound(
      sorted_.begin(), sorted_.end(), number,
      [](const std::unique_ptr<TRecord>& record, uint32_t n) { return record->RecordNumber < n; });
}

void TRecordCache::Unlink(TRecord* record) {
  // The parked tail reaches to the tail, so what follows its head is parked.
  if (record == parked_head_) parked_head_ = record->mru_next_;
  record->parked_ = false;
  if (record->mru_prev_) {
    record->mru_prev_->mru_next_ = record->mru_next_;
  } else {
    mru_head_ = record->mru_next_;
  }
  if (record->mru_next_) {
    record->mru_next_->mru_prev_ = record->mru_prev_;
  } else {
    mru_tail_ = record->mru_prev_;
  }
  record->mru_prev_ = record->mru_next_ = nullptr;
}

void TRecordCache::LinkFront(TRecord* record) {
  record->mru_prev_ = nullptr;
  record->mru_next_ = mru_head_;
  if (mru_head_) mru_head_->mru_prev_ = record;
  mru_head_ = record;
  if (!mru_tail_) mru_tail_ = record;
}

void TRecordCache::Unpark(TRecord* record) {
  if (!record->parked_) return;
  // Cut the parked tail behind the record, so that the LRU order stays
  // exact; the records in front of the cut are looked at again by the next
  // trim (and parked again while they stay unevictable).
  TRecord* unparked = parked_head_;
  for (; unparked != record; unparked = unparked->mru_next_) unparked->parked_ = false;
  record->parked_ = false;
  parked_head_ = record->mru_next_;
}

TRecord* TRecordCache::Peek(uint32_t number) const {
  // Above every cached number (a forward read-ahead run): no search.
  if (sorted_.empty() || number > sorted_.back()->RecordNumber) return nullptr;
  // A scan asks for the record after the one found last: try there first.
  for (size_t at = hint_; at < hint_ + 2 && at < sorted_.size(); ++at) {
    if (sorted_[at]->RecordNumber == number) {
      hint_ = at + 1;
      return sorted_[at].get();
    }
  }
  auto it = LowerBound(number);
  if (it == sorted_.end() || (*it)->RecordNumber != number) return nullptr;
  hint_ = static_cast<size_t>(it - sorted_.begin()) + 1;
  return it->get();
}

TRecord* TRecordCache::Find(uint32_t number) {
  TRecord* found = nullptr;
  if (mru_head_ && mru_head_->RecordNumber == number) return mru_head_;
  found = Peek(number);
  if (found) Touch(found);
  return found;
}

void TRecordCache::Touch(TRecord* record) {
  if (record == mru_head_) return;
  Unlink(record);
  LinkFront(record);
}

TRecord* TRecordCache::Insert(TDataFile* owner, uint32_t number, size_t record_size) {
  std::unique_ptr<TRecord> record = stack_.Pop(record_size);
  record->Owner = owner;
  record->RecordNumber = number;
  record->cached_ = true;
  TRecord* raw = record.get();
  if (sorted_.empty() || sorted_.back()->RecordNumber < number) {
    sorted_.push_back(std::move(record));
  } else {
    sorted_.insert(sorted_.begin() + (LowerBound(number) - sorted_.begin()), std::move(record));
  }
  LinkFront(raw);
  return raw;
}

void TRecordCache::Trim(size_t capacity, const TRecord* keep) {
  if (sorted_.size() <= capacity) return;
  size_t excess = sorted_.size() - capacity;
  size_t evicted = 0;
  // Mark the victims from the least recently used end, starting in front of
  // the parked tail. Unevictable records met while every record behind them
  // went or is parked join the parked tail; `keep` ends that run, as it is
  // evictable by a later trim.
  bool extend_parked = true;
  TRecord* candidate = parked_head_ ? parked_head_->mru_prev_ : mru_tail_;
  while (candidate && excess > 0) {
    TRecord* next = candidate->mru_prev_;
    if (candidate->PinCount > 0 || candidate->modified_) {
      if (extend_parked) {
        candidate->parked_ = true;
        parked_head_ = candidate;
      }
    } else if (candidate == keep) {
      extend_parked = false;
    } else {
      Unlink(candidate);
      candidate->cached_ = false;
      --excess;
      ++evicted;
    }
    candidate = next;
  }
  if (evicted == 0) return;
  // ... then close the gaps of the sorted list in one pass.
  size_t kept = 0;
  for (size_t i = 0; i < sorted_.size(); ++i) {
    if (sorted_[i]->cached_) {
      if (kept != i) sorted_[kept] = std::move(sorted_[i]);
      ++kept;
    } else {
      stack_.Push(std::move(sorted_[i]));
    }
  }
  sorted_.resize(kept);
}

void TRecordCache::Clear() {
  for (std::unique_ptr<TRecord>& record : sorted_) {
    record->cached_ = false;
    record->parked_ = false;
    record->mru_prev_ = record->mru_next_ = nullptr;
    if (record->PinCount > 0) {
      detached_.push_back(std::move(record));
    } else {
      stack_.Push(std::move(record));
    }
  }
  sorted_.clear();
  mru_head_ = mru_tail_ = parked_head_ = nullptr;
}

void TRecordCache::DropAbove(uint32_t number) {
  auto first = LowerBound(number + 1) - sorted_.begin();
  for (auto it = sorted_.begin() + first; it != sorted_.end(); ++it) {
    std::unique_ptr<TRecord>& record = *it;
    Unlink(record.get());
    record->cached_ = false;
    if (record->PinCount > 0) {
      detached_.push_back(std::move(record));
    } else {
      stack_.Push(std::move(record));
    }
  }
  sorted_.resize(first);
  hint_ = 0;
}

void TRecordCache::Pin(TRecord* record) { ++record->PinCount; }

void TRecordCache::Unpin(TRecord* record) {
  if (record->PinCount == 0) return;
  if (--record->PinCount > 0) return;
  if (record->cached_) {
    if (!record->modified_) Unpark(record);
    return;
  }
  auto it = std::find_if(detached_.begin(), detached_.end(),
                         [&](const std::unique_ptr<TRecord>& r) { return r.get() == record; });
  if (it == detached_.end()) return;
  std::unique_ptr<TRecord> released = std::move(*it);
  detached_.erase(it);
  stack_.Push(std::move(released));
}

void TRecordCache::MarkWritten(TRecord* record) {
  record->modified_ = false;
  if (record->cached_ && record->PinCount == 0) Unpark(record);
}

std::vector<uint32_t> TRecordCache::MruOrder() const {
  std::vector<uint32_t> order;
  for (TRecord* r = mru_head_; r; r = r->mru_next_) order.push_back(r->RecordNumber);
  return order;
}

}  // namespace strata
