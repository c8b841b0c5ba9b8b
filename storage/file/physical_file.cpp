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
  // 1. The attributes: existence, and whether the file may be written at all.
  std::optional<platform::FileAttributes> attributes;
  // The name as found (letter case) is opened as it is: one look-up.
  std::string found;
  try {
    attributes = platform::GetFileAttributes(path, found);
  } catch (const platform::OsError& error) {
    throw FaultOf(error);
  }
  if (!attributes) throw EFileFault(STRATA_OSENOENT, ENOENT, "no such file: " + path);
  if (attributes->directory) throw EFileFault(STRATA_OSEACCES, EISDIR, "a directory: " + path);
  const bool by_attribute = attributes->read_only;

  // 2. The open itself. The shared handle is read-write whenever the file may
  // be written, also for an opener that only reads (its handler refuses its
  // writes), so that later writers in this process can share it and so that
  // it can take exclusive byte-range locks.
  // 3. A read-write open that fails is retried read-only. Not after an access
  // denial: writing is allowed (the attribute says so), so the denial is a
  // sharing conflict that a read-only open must not get around.
  bool open_read_only = by_attribute;
  std::unique_ptr<platform::File> file;
  try {
    file = platform::File::Open(
        found, open_read_only ? platform::Access::kReadOnly : platform::Access::kReadWrite, share,
        temporary, platform::NameLookup::kExactName);
  } catch (const platform::OsError& error) {
    if (open_read_only || error.kind() == platform::OsErrorKind::kAccessDenied) {
      throw FaultOf(error);
    }
    try {
      file = platform::File::Open(found, platform::Access::kReadOnly, share, temporary,
                                  platform::NameLookup::kExactName);
      open_read_only = true;
    } catch (const platform::OsError& retry_error) {
      throw FaultOf(retry_error);
    }
  }
  return std::unique_ptr<TPhysicalFile>(
      new TPhysicalFile(std::move(file), path, exclusive, open_read_only, by_attribute, temporary));
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
