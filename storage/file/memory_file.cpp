#include "storage/file/memory_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

#include "storage/engine_error.h"

namespace strata {
namespace {

// Refuses sizes this process cannot address.
uint64_t EndOf(uint64_t offset, uint64_t count) {
  constexpr uint64_t kLargest = std::numeric_limits<size_t>::max();
  if (offset > kLargest || count > kLargest - offset) {
    throw EFileFault(STRATA_OSEINVMEM, EINVAL, "memory file length out of range");
  }
  return offset + count;
}

}  // namespace

TMemoryFile::TMemoryFile(const std::string& path, bool exclusive, bool temporary)
    : TAbstractFile(path, exclusive, false, false, temporary) {}

void TMemoryFile::Reset() {
  // Reached from the file list only while no one has the file open.
  contents_.clear();
  contents_.shrink_to_fit();
  size_ = 0;
  locks_.clear();
}

size_t TMemoryFile::Capacity() const { return contents_.size(); }

void TMemoryFile::Resize(uint64_t size) {
  const uint64_t end = EndOf(size, kGrowStep - 1);
  const size_t reserved = static_cast<size_t>(end / kGrowStep * kGrowStep);
  try {
    // Zero what lies beyond the new size, so that a later growth reads zeros.
    if (size < size_) {
      std::fill(contents_.begin() + static_cast<ptrdiff_t>(size),
                contents_.begin() + static_cast<ptrdiff_t>(std::min<uint64_t>(size_, reserved)), 0);
    }
    contents_.resize(reserved, 0);
  } catch (const std::bad_alloc&) {
    throw EFileFault(STRATA_OSENOMEM, ENOMEM, "memory file cannot grow");
  } catch (const std::length_error&) {
    throw EFileFault(STRATA_OSEINVMEM, EINVAL, "memory file length out of range");
  }
  size_ = size;
}

size_t TMemoryFile::DoReadAt(uint64_t offset, void* buffer, size_t count) {
  if (offset >= size_ || count == 0) return 0;
  const size_t done = static_cast<size_t>(std::min<uint64_t>(count, size_ - offset));
  std::memcpy(buffer, contents_.data() + offset, done);
  return done;
}

void TMemoryFile::DoWriteAt(uint64_t offset, const void* buffer, size_t count) {
  if (count == 0) return;
  const uint64_t end = EndOf(offset, count);
  if (end > size_) Resize(end);
  std::memcpy(contents_.data() + offset, buffer, count);
}

void TMemoryFile::DoTruncate(uint64_t size) { Resize(size); }

bool TMemoryFile::DoLock(uint64_t offset, uint64_t length) {
  if (length == 0 || length - 1 > std::numeric_limits<uint64_t>::max() - offset) return false;
  const uint64_t last = offset + length - 1;
  for (const TLockedRange& range : locks_) {
    if (offset <= range.End && range.Start <= last) return false;
  }
  locks_.push_back({offset, last, length});
  return true;
}

bool TMemoryFile::DoUnlock(uint64_t offset, uint64_t length) {
  auto it = std::find_if(locks_.begin(), locks_.end(), [&](const TLockedRange& range) {
    return range.Start == offset && range.Length == length;
  });
  if (it == locks_.end()) return false;
  locks_.erase(it);
  return true;
}

}  // namespace strata
