#include "storage/file/physical_file.h"

#include <cerrno>

#include "storage/engine_error.h"
#include "storage/file/os_error_map.h"

namespace strata {
namespace {

EFileFault FaultOf(const platform::OsError& error) {
  return EFileFault(OsErrorCode(error.kind()), error.errno_value(), error.what());
}

}  // namespace

TPhysicalFile::TPhysicalFile(std::unique_ptr<platform::File> file, const std::string& path,
                             bool exclusive, bool read_only, bool read_only_by_attribute,
                             bool temporary)
    : TAbstractFile(path, exclusive, read_only, read_only_by_attribute, temporary),
      file_(std::move(file)) {}

std::string TPhysicalFile::OnDiskPath() const { return file_->path(); }

std::unique_ptr<TPhysicalFile> TPhysicalFile::Open(const std::string& path, bool exclusive,
                                                   bool temporary) {
  const platform::Share share = exclusive ? platform::Share::kExclusive : platform::Share::kShared;
  // One open: read-write whenever the file may be written, also for an
  // opener that only reads (its handler refuses its writes), so that later
  // writers in this process can share the handle and so that it can take
  // exclusive byte-range locks. A file that this process may not write, or
  // whose write permission bits are all clear (the read-only attribute), is
  // opened read-only and so marked. The name is looked up under another
  // letter case only when nothing stands under the name as given. A sharing
  // conflict fails the open (STRATA_OSEACCES): a read-only open must not get
  // around it.
  std::unique_ptr<platform::File> file;
  try {
    file = platform::File::Open(path, platform::Access::kReadWriteWhenAllowed, share, temporary,
                                platform::NameLookup::kMatchCase);
  } catch (const platform::OsError& error) {
    throw FaultOf(error);
  }
  const bool read_only = file->read_only();
  return std::unique_ptr<TPhysicalFile>(
      new TPhysicalFile(std::move(file), path, exclusive, read_only, read_only, temporary));
}

std::unique_ptr<TPhysicalFile> TPhysicalFile::Create(const std::string& path, bool exclusive,
                                                     bool temporary) {
  const platform::Share share = exclusive ? platform::Share::kExclusive : platform::Share::kShared;
  try {
    return std::unique_ptr<TPhysicalFile>(new TPhysicalFile(
        platform::File::Create(path, share, temporary), path, exclusive, false, false, temporary));
  } catch (const platform::OsError& error) {
    throw FaultOf(error);
  }
}

size_t TPhysicalFile::DoReadAt(uint64_t offset, void* buffer, size_t count) {
  return file_->ReadAt(offset, buffer, count);
}

void TPhysicalFile::DoWriteAt(uint64_t offset, const void* buffer, size_t count) {
  file_->WriteAt(offset, buffer, count);
}

void TPhysicalFile::DoTruncate(uint64_t size) { file_->Truncate(size); }

uint64_t TPhysicalFile::DoSize() { return file_->Size(); }

bool TPhysicalFile::DoLock(uint64_t offset, uint64_t length) {
  return file_->TryLock(offset, length);
}

bool TPhysicalFile::DoUnlock(uint64_t offset, uint64_t length) {
  return file_->Unlock(offset, length);
}

void TPhysicalFile::DoFlush() { file_->Sync(); }

void TPhysicalFile::DoHoldShare(bool hold) {
  if (hold) {
    file_->RetakeShareLock();
  } else {
    file_->ReleaseShareLock();
  }
}

platform::FileIdentity TPhysicalFile::Identity() { return file_->identity(); }

std::optional<platform::FileIdentity> TPhysicalFile::PathIdentity() {
  return platform::GetFileIdentity(file_->path());
}

}  // namespace strata
