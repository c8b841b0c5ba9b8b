#include "storage/data/record_sort.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <memory>
#include <numeric>
#include <vector>

#include "storage/data/data_file.h"
#include "storage/data/sort_run.h"
#include "storage/record/record_header.h"

namespace strata {
namespace {

constexpr size_t kRunBytes = 1048576;

// The last step of both ways: takes the records in sorted order, collapses
// equal neighbours when asked, lets Finish decide on each record, and hands
// the ones kept to the sink (sink(record, slot): write the record into slot
// `slot`, renumbered by it), numbered from 1, until the limit is reached.
template <class Sink>
class TSortedOutput {
 public:
  TSortedOutput(const TRecordSortRules& rules, size_t record_size, Sink sink)
      : rules_(rules), record_size_(record_size), sink_(std::move(sink)) {}

  bool Full() const { return rules_.Limit >= 0 && written_ >= rules_.Limit; }
  uint32_t Written() const { return written_; }

  void Add(const uint8_t* record, const uint8_t* key) {
    if (Full()) return;
    if (!rules_.Collapse) {
      if (!rules_.Finish) {
        sink_(record, ++written_);
      } else {
        group_.assign(record, record + record_size_);
        Write();
      }
      return;
    }
    if (has_group_ && rules_.Order->CompareColumns(group_key_.data(), key) == 0) {
      if (rules_.Merge) rules_.Merge(group_, {record, record_size_});
      return;
    }
    EndGroup();
    if (Full()) return;
    group_.assign(record, record + record_size_);
    group_key_.assign(key, key + rules_.Order->KeySize());
    has_group_ = true;
  }

  void End() { EndGroup(); }

 private:
  void EndGroup() {
    if (!has_group_) return;
    has_group_ = false;
    Write();
  }
  void Write() {
    if (rules_.Finish && !rules_.Finish(group_)) return;
    sink_(group_.data(), ++written_);
  }

  const TRecordSortRules& rules_;
  size_t record_size_;
  Sink sink_;
  std::vector<uint8_t> group_;  // the group being collapsed, or the record being finished
  std::vector<uint8_t> group_key_;
  bool has_group_ = false;
  uint32_t written_ = 0;
};

void Renumber(uint8_t* record, uint32_t slot) {
  SetRecordNumber(record, slot);
  SetRowNumber(record, static_cast<int32_t>(slot));
}

// Sorts `count` records whose keys lie back to back in `keys`; `order`
// receives their positions in sorted order.
void SortKeys(const TRecordKeyOrder& key_order, const std::vector<uint8_t>& keys, size_t count,
              std::vector<uint32_t>& order) {
  const size_t key_size = key_order.KeySize();
  order.resize(count);
  std::iota(order.begin(), order.end(), 0u);
  const uint8_t* base = keys.data();
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    return key_order.Compare(base + a * key_size, base + b * key_size) < 0;
  });
}

// Unpins the records it holds when it goes.
class TPinnedRecords {
 public:
  TPinnedRecords(TDataFile& data, size_t count) : data_(data) { records_.reserve(count); }
  ~TPinnedRecords() {
    for (TRecord* record : records_) data_.UnpinRecord(record);
  }
  void Add(TRecord* record) {
    data_.PinRecord(record);
    records_.push_back(record);
  }
  TRecord* operator[](size_t i) const { return records_[i]; }

 private:
  TDataFile& data_;
  std::vector<TRecord*> records_;
};

TRecordSortOutcome SortInMemory(TDataFile& data, const TRecordSortRules& rules) {
  const TRecordKeyOrder& key_order = *rules.Order;
  const uint32_t slots = data.SlotCount();
  const size_t record_size = data.RecordSize();
  const size_t key_size = key_order.KeySize();
  TPinnedRecords targets(data, slots);
  size_t live = 0;
  bool rows_unchanged = true;
  for (uint32_t slot = 1; slot <= slots; ++slot) {
    TRecord* record = data.ReadRecord(slot, TReadAhead::kForward);
    targets.Add(record);
    if (GetRecordStatus(record->Data()) != kRecordLive) {
      rows_unchanged = false;
      continue;
    }
    if (GetRowNumber(record->Data()) != static_cast<int32_t>(slot)) rows_unchanged = false;
    ++live;
  }
  // Copies of the live records, so that each slot can be written over.
  std::vector<uint8_t> images(live * record_size);
  std::vector<uint8_t> keys(live * key_size);
  size_t n = 0;
  for (uint32_t slot = 1; slot <= slots; ++slot) {
    const uint8_t* record = targets[slot - 1]->Data();
    if (GetRecordStatus(record) != kRecordLive) continue;
    std::memcpy(images.data() + n * record_size, record, record_size);
    key_order.BuildKey(record, keys.data() + n * key_size);
    ++n;
  }
  std::vector<uint32_t> order;
  SortKeys(key_order, keys, live, order);

  // A record that lands where it was, as it was, is left alone.
  bool changed = false;
  std::vector<uint8_t> renumbered(record_size);
  TSortedOutput output(rules, record_size, [&](const uint8_t* record, uint32_t slot) {
    TRecord* target = targets[slot - 1];
    std::memcpy(renumbered.data(), record, record_size);
    Renumber(renumbered.data(), slot);
    if (std::memcmp(target->Data(), renumbered.data(), record_size) == 0) return;
    std::memcpy(target->Data(), renumbered.data(), record_size);
    data.MarkModified(target);
    changed = true;
  });
  for (uint32_t i : order) {
    if (output.Full()) break;
    output.Add(images.data() + i * record_size, keys.data() + i * key_size);
  }
  output.End();
  const uint32_t written = output.Written();
  if (written < slots || data.FreeChainHead() != 0 ||
      data.LastAutoIncrement() != static_cast<int32_t>(written)) {
    data.CutSlots(written);
    changed = true;
  }
  return {written, 0, rows_unchanged && written == live, changed};
}

// The runs' front records in a heap, smallest key first.
class TRunMerge {
  // Heap order: a run whose front key is larger comes later.
  struct TLater {
    const TRunMerge* merge;
    bool operator()(size_t a, size_t b) const {
      return merge->key_order_.Compare(merge->Key(a), merge->Key(b)) > 0;
    }
  };
  TLater Later() const { return {this}; }

 public:
  TRunMerge(const TRecordKeyOrder& key_order, std::vector<std::unique_ptr<TSortRun>>& runs)
      : key_order_(key_order), runs_(runs), keys_(runs.size() * key_order.KeySize()) {
    for (size_t i = 0; i < runs_.size(); ++i) {
      runs_[i]->Rewind();
      if (Load(i)) heap_.push_back(i);
    }
    std::make_heap(heap_.begin(), heap_.end(), Later());
  }

  bool Done() const { return heap_.empty(); }
  const uint8_t* Record() const { return runs_[heap_.front()]->Current(); }
  const uint8_t* Key() const { return Key(heap_.front()); }
  void Advance() {
    std::pop_heap(heap_.begin(), heap_.end(), Later());
    const size_t run = heap_.back();
    runs_[run]->Advance();
    if (Load(run)) {
      std::push_heap(heap_.begin(), heap_.end(), Later());
    } else {
      heap_.pop_back();
    }
  }

 private:
  const uint8_t* Key(size_t run) const { return keys_.data() + run * key_order_.KeySize(); }
  bool Load(size_t run) {
    const uint8_t* record = runs_[run]->Current();
    if (record == nullptr) return false;
    key_order_.BuildKey(record, keys_.data() + run * key_order_.KeySize());
    return true;
  }

  const TRecordKeyOrder& key_order_;
  std::vector<std::unique_ptr<TSortRun>>& runs_;
  std::vector<uint8_t> keys_;  // each run's front key
  std::vector<size_t> heap_;
};

TRecordSortOutcome SortExternal(TDataFile& data, const TRecordSortRules& rules) {
  assert(rules.RunFileName);  // the caller names the scratch files
  const TRecordKeyOrder& key_order = *rules.Order;
  const uint32_t slots = data.SlotCount();
  const size_t record_size = data.RecordSize();
  const size_t key_size = key_order.KeySize();
  const uint32_t run_length = static_cast<uint32_t>(std::max<size_t>(
      1, std::min<size_t>(data.Settings().RecordCacheCount, kRunBytes / record_size)));
  const auto write_out = [&] { rules.WriteOut ? rules.WriteOut() : void(data.Flush(false)); };
  write_out();
  data.Cache().Clear();

  // Runs of consecutive slots, each sorted into a scratch file.
  std::vector<std::unique_ptr<TSortRun>> runs;
  std::vector<uint8_t> images(static_cast<size_t>(std::min(run_length, slots)) * record_size);
  std::vector<uint8_t> keys(static_cast<size_t>(std::min(run_length, slots)) * key_size);
  std::vector<uint32_t> order;
  bool rows_unchanged = true;
  size_t live = 0;
  for (uint32_t first = 1; first <= slots; first += run_length) {
    const uint32_t last = std::min(slots, first + run_length - 1);
    size_t n = 0;
    for (uint32_t slot = first; slot <= last; ++slot) {
      const TRecord* record = data.ReadRecord(slot, TReadAhead::kForward, last - slot + 1);
      if (GetRecordStatus(record->Data()) != kRecordLive) {
        rows_unchanged = false;
        continue;
      }
      if (GetRowNumber(record->Data()) != static_cast<int32_t>(slot)) rows_unchanged = false;
      std::memcpy(images.data() + n * record_size, record->Data(), record_size);
      key_order.BuildKey(record->Data(), keys.data() + n * key_size);
      ++n;
    }
    if (n == 0) continue;
    live += n;
    SortKeys(key_order, keys, n, order);
    runs.push_back(std::make_unique<TSortRun>(rules.RunFileName(), record_size, data.TableName()));
    for (uint32_t i : order) runs.back()->Append(images.data() + i * record_size);
  }
  data.Cache().Clear();
  std::vector<uint8_t>().swap(images);
  std::vector<uint8_t>().swap(keys);

  // The merge writes slot after slot; the records written are written out
  // a run's length at a time (at most 1 MiB of them wait in the cache).
  size_t unwritten = 0;
  TSortedOutput output(rules, record_size, [&](const uint8_t* record, uint32_t slot) {
    TRecord* target = data.RecordForOverwrite(slot);
    std::memcpy(target->Data(), record, record_size);
    Renumber(target->Data(), slot);
    data.MarkModified(target);
    if (++unwritten >= run_length) {
      write_out();
      unwritten = 0;
    }
  });
  for (TRunMerge merge(key_order, runs); !merge.Done() && !output.Full(); merge.Advance()) {
    output.Add(merge.Record(), merge.Key());
  }
  output.End();
  const uint32_t written = output.Written();
  data.CutSlots(written);
  return {written, static_cast<uint32_t>(runs.size()), rows_unchanged && written == live, true};
}

}  // namespace

TRecordSortOutcome SortRecords(TDataFile& data, const TRecordSortRules& rules) {
  assert(rules.Order != nullptr);
  // Inside a transaction nothing may leave the cache before the commit:
  // such a table is always sorted in memory.
  if (data.SlotCount() <= data.CacheCapacity() || data.InTransaction()) {
    return SortInMemory(data, rules);
  }
  return SortExternal(data, rules);
}

}  // namespace strata
