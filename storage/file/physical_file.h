// TPhysicalFile: a disk file shared by every opener in the process through
// one operating-system handle (platform::File).
#pragma once

#include <memory>
#include <string>

#include "platform/file.h"
#include "storage/file/abstract_file.h"

namespace strata {

// Owns the platform file; closing the last opener destroys this object and
// with it the handle (a temporary file is removed then).
class TPhysicalFile : public TAbstractFile {
 public:
  // Opens an existing file: read-write when it may be written, else
  // read-only and marked read-only by attribute (no write permission bit, or
  // this process may not write it), whatever its first opener intends (the
  // handler keeps an opener's read-only wish). A missing file fails with
  // STRATA_OSENOENT (11010), a folder or a sharing conflict with
  // STRATA_OSEACCES (11013); other failures throw EFileFault with the mapped
  // code (STRATA_OSENOENT .. STRATA_OSUNKNOWN).
  static std::unique_ptr<TPhysicalFile> Open(const std::string& path, bool exclusive,
                                             bool temporary);
  // Creates (replaces) a file, read-write. Throws EFileFault.
  static std::unique_ptr<TPhysicalFile> Create(const std::string& path, bool exclusive,
                                               bool temporary);

  bool InMemory() const override { return false; }
  bool HasIdentity() const override { return true; }
  bool Inherited() const override { return file_->inherited(); }
  platform::FileIdentity Identity() override;
  std::optional<uint64_t> SizeAtOpen() const override { return file_->opened_identity().size; }
  std::optional<platform::FileIdentity> PathIdentity() override;
  std::string OnDiskPath() const override;

 protected:
  size_t DoReadAt(uint64_t offset, void* buffer, size_t count) override;
  void DoWriteAt(uint64_t offset, const void* buffer, size_t count) override;
  void DoTruncate(uint64_t size) override;
  uint64_t DoSize() override;
  bool DoLock(uint64_t offset, uint64_t length) override;
  bool DoUnlock(uint64_t offset, uint64_t length) override;
  void DoFlush() override;
  void DoHoldShare(bool hold) override;

 private:
  TPhysicalFile(std::unique_ptr<platform::File> file, const std::string& path, bool exclusive,
                bool read_only, bool read_only_by_attribute, bool temporary);
  std::unique_ptr<platform::File> file_;
};

}  // namespace strata
