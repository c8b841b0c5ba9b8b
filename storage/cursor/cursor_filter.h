// The place where record filters plug into a table cursor.
//
// A filter set narrows the cursor's view to the records it accepts; the
// cursor asks it about each index entry it passes while navigating and
// counting, and tells it about the records the cursor itself writes or
// removes so that a set that keeps a bitmap can keep it current.
// TRecordsBitmap is that bitmap: the record numbers that qualify, with their
// count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace strata {

// A set of record numbers (1-based) with its size. Grows as needed.
class TRecordsBitmap {
 public:
  bool Contains(uint32_t record_number) const;
  void Add(uint32_t record_number);
  void Remove(uint32_t record_number);
  void Clear();
  uint32_t Count() const { return count_; }

 private:
  std::vector<uint64_t> words_;
  uint32_t count_ = 0;
};

// What a cursor needs of its active filters. Implementations own their
// expressions and state; the cursor holds the set through a shared_ptr.
class TCursorFilter {
 public:
  virtual ~TCursorFilter() = default;

  // Whether the set narrows the view at all; a set whose filters are all
  // inactive does not, and the cursor then treats it as absent.
  virtual bool Narrows() const { return true; }
  // Whether Accepts needs the record's bytes (a bitmap does not).
  virtual bool NeedsRecord() const { return true; }
  // Whether the record qualifies. `record` is the record buffer, or empty
  // when NeedsRecord() is false.
  virtual bool Accepts(uint32_t record_number, std::span<const uint8_t> record) = 0;
  // The number of qualifying records in the whole table when it is known
  // without a walk (a bitmap's count); nullopt makes the cursor count.
  virtual std::optional<uint32_t> KnownCount() const { return std::nullopt; }

  // Notifications from the cursor that owns the filter.
  // Record `record_number` was inserted or changed to `record`.
  virtual void RecordWritten(uint32_t /*record_number*/, std::span<const uint8_t> /*record*/) {}
  // Record `record_number` was deleted.
  virtual void RecordRemoved(uint32_t /*record_number*/) {}
  // Another process or cursor changed the table: what was computed may be stale.
  virtual void TableChanged() {}
};

// A filter that accepts exactly the records of a bitmap (the form an
// evaluated filter expression ends up in).
class TBitmapFilter : public TCursorFilter {
 public:
  TRecordsBitmap& Bitmap() { return bitmap_; }
  const TRecordsBitmap& Bitmap() const { return bitmap_; }

  bool NeedsRecord() const override { return false; }
  bool Accepts(uint32_t record_number, std::span<const uint8_t>) override {
    return bitmap_.Contains(record_number);
  }
  std::optional<uint32_t> KnownCount() const override { return bitmap_.Count(); }
  void RecordRemoved(uint32_t record_number) override { bitmap_.Remove(record_number); }

 private:
  TRecordsBitmap bitmap_;
};

}  // namespace strata
