// TMemoryFile: the contents of an in-memory table file, shared by every
// opener in the process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "storage/file/abstract_file.h"

namespace strata {

// Owns the bytes and the list of locked ranges. Invariants: the storage
// holds the contents and is a multiple of 4096 bytes (it grows in such
// steps); bytes beyond the logical size are zero; no two locked ranges
// overlap.
class TMemoryFile : public TAbstractFile {
 public:
  static constexpr size_t kGrowStep = 4096;

  TMemoryFile(const std::string& path, bool exclusive, bool temporary);

  bool InMemory() const override { return true; }

  // Drops the contents and every lock (a memory file being created anew).
  void Reset();
  // Bytes reserved for the contents (a multiple of kGrowStep).
  size_t Capacity() const;

 protected:
  size_t DoReadAt(uint64_t offset, void* buffer, size_t count) override;
  void DoWriteAt(uint64_t offset, const void* buffer, size_t count) override;
  void DoTruncate(uint64_t size) override;
  uint64_t DoSize() override { return size_; }
  // A range that overlaps a locked one is refused; only an exactly matching
  // range (same start and length) is released.
  bool DoLock(uint64_t offset, uint64_t length) override;
  bool DoUnlock(uint64_t offset, uint64_t length) override;
  void DoFlush() override {}

 private:
  struct TLockedRange {
    uint64_t Start;
    uint64_t End;  // last byte, inclusive
    uint64_t Length;
  };
  void Resize(uint64_t size);

  std::vector<uint8_t> contents_;
  uint64_t size_ = 0;
  std::vector<TLockedRange> locks_;
};

}  // namespace strata
