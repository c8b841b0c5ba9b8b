#include "storage/file/abstract_file.h"

#include <cerrno>
#include <limits>

#include "storage/engine_error.h"

namespace strata {

TAbstractFile::TAbstractFile(std::string path, bool exclusive, bool read_only,
                             bool read_only_by_attribute, bool temporary)
    : path_(std::move(path)),
      exclusive_(exclusive),
      read_only_(read_only),
      read_only_by_attribute_(read_only_by_attribute),
      temporary_(temporary) {}

bool TAbstractFile::Exclusive() const {
  std::lock_guard lock(mutex_);
  return exclusive_;
}

bool TAbstractFile::ReadOnly() const {
  std::lock_guard lock(mutex_);
  return read_only_;
}

bool TAbstractFile::ReadOnlyByAttribute() const {
  std::lock_guard lock(mutex_);
  return read_only_by_attribute_;
}

bool TAbstractFile::Temporary() const {
  std::lock_guard lock(mutex_);
  return temporary_;
}

void TAbstractFile::SetFlags(bool exclusive, bool read_only, bool read_only_by_attribute,
                             bool temporary) {
  std::lock_guard lock(mutex_);
  exclusive_ = exclusive;
  read_only_ = read_only;
  read_only_by_attribute_ = read_only_by_attribute;
  temporary_ = temporary;
}

int TAbstractFile::AddOpener() {
  std::lock_guard lock(mutex_);
  // Every opener so far is idle: the new one needs the sharing lock back.
  if (!positions_.empty() && idle_.size() == positions_.size()) DoHoldShare(true);
  const int handle = ++handle_count_;
  positions_[handle] = 0;
  return handle;
}

bool TAbstractFile::RemoveOpener(int handle) {
  std::lock_guard lock(mutex_);
  idle_.erase(handle);
  const bool known = positions_.erase(handle) == 1;
  // The last active opener gone, idle ones left: the sharing lock goes too.
  if (known && !positions_.empty() && idle_.size() == positions_.size() && !exclusive_) {
    try {
      DoHoldShare(false);
    } catch (...) {
      // Still held, it only keeps exclusive openers out until the next use.
    }
  }
  return known;
}

void TAbstractFile::SetOpenerIdle(int handle, bool idle) {
  std::lock_guard lock(mutex_);
  PositionOf(handle);  // a known opener
  if (idle == idle_.contains(handle)) return;
  const size_t active = positions_.size() - idle_.size();
  if (idle) {
    if (active == 1 && !exclusive_) DoHoldShare(false);
    idle_.insert(handle);
  } else {
    if (active == 0) DoHoldShare(true);
    idle_.erase(handle);
  }
}

size_t TAbstractFile::ActiveOpenerCount() const {
  std::lock_guard lock(mutex_);
  return positions_.size() - idle_.size();
}

size_t TAbstractFile::OpenerCount() const {
  std::lock_guard lock(mutex_);
  return positions_.size();
}

uint64_t& TAbstractFile::PositionOf(int handle) {
  auto it = positions_.find(handle);
  if (it == positions_.end()) {
    throw EFileFault(STRATA_OSEBADF, EBADF, "unknown file handle " + std::to_string(handle));
  }
  return it->second;
}

uint64_t TAbstractFile::Position(int handle) const {
  std::lock_guard lock(mutex_);
  auto it = positions_.find(handle);
  if (it == positions_.end()) {
    throw EFileFault(STRATA_OSEBADF, EBADF, "unknown file handle " + std::to_string(handle));
  }
  return it->second;
}

uint64_t TAbstractFile::Seek(int handle, int origin, int64_t distance) {
  std::lock_guard lock(mutex_);
  uint64_t& position = PositionOf(handle);
  int64_t base;
  switch (origin) {
    case 0:
      base = 0;
      break;
    case 1:
      base = static_cast<int64_t>(position);
      break;
    case 2:
      base = static_cast<int64_t>(DoSize());
      break;
    default:
      throw EFileFault(STRATA_OSUNKNOWN, EINVAL, "invalid seek origin");
  }
  // A position before the start of the file, or one that overflows, is refused.
  if ((distance < 0 && base < -distance) ||
      (distance > 0 && base > std::numeric_limits<int64_t>::max() - distance)) {
    throw EFileFault(STRATA_OSUNKNOWN, EINVAL, "seek outside the file");
  }
  position = static_cast<uint64_t>(base + distance);
  return position;
}

size_t TAbstractFile::Read(int handle, void* buffer, size_t count) {
  std::lock_guard lock(mutex_);
  uint64_t& position = PositionOf(handle);
  const size_t done = DoReadAt(position, buffer, count);
  position += done;
  return done;
}

void TAbstractFile::Write(int handle, const void* buffer, size_t count) {
  std::lock_guard lock(mutex_);
  uint64_t& position = PositionOf(handle);
  if (count == 0) {
    DoTruncate(position);
    return;
  }
  DoWriteAt(position, buffer, count);
  position += count;
}

size_t TAbstractFile::ReadAt(uint64_t offset, void* buffer, size_t count) {
  std::lock_guard lock(mutex_);
  return DoReadAt(offset, buffer, count);
}

void TAbstractFile::WriteAt(uint64_t offset, const void* buffer, size_t count) {
  std::lock_guard lock(mutex_);
  DoWriteAt(offset, buffer, count);
}

void TAbstractFile::Truncate(uint64_t size) {
  std::lock_guard lock(mutex_);
  DoTruncate(size);
}

uint64_t TAbstractFile::Size() {
  std::lock_guard lock(mutex_);
  return DoSize();
}

bool TAbstractFile::Lock(uint64_t offset, uint64_t length) {
  std::lock_guard lock(mutex_);
  return DoLock(offset, length);
}

bool TAbstractFile::Unlock(uint64_t offset, uint64_t length) {
  std::lock_guard lock(mutex_);
  return DoUnlock(offset, length);
}

void TAbstractFile::Flush() {
  std::lock_guard lock(mutex_);
  DoFlush();
}

}  // namespace strata
