#include "storage/file/file_handler.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <vector>

#include "storage/engine_error.h"
#include "storage/file/abstract_file.h"
#include "storage/file/file_list.h"
#include "storage/file/os_error_map.h"
#include "storage/file/rollback_journal.h"

namespace strata {

namespace {

// Runs one call on the shared file object and turns its failures into engine
// errors naming `name`: an operating-system failure becomes `os_code`
// (STRATA_READERR for reads, STRATA_WRITEERR for writes), or the code its kind
// maps to when `os_code` is 0; a fault of the file layer keeps its own code.
template <class Call>
auto Guarded(uint16_t os_code, const std::string& name, Call&& call) -> decltype(call()) {
  try {
    return call();
  } catch (const platform::OsError& error) {
    if (os_code == 0) RaiseOsError(error, name);
    RaiseFileError(os_code, error.errno_value(), name);
  } catch (const EFileFault& fault) {
    RaiseFileError(fault.Code, fault.OsError, name);
  }
}

}  // namespace

TFileHandler::TFileHandler() = default;

TFileHandler::~TFileHandler() {
  try {
    CloseFile();
  } catch (...) {
    // Closing never fails in practice; a destructor must not throw.
  }
}

void TFileHandler::RequireOpen() const {
  if (!open_) RaiseFileError(STRATA_OSEBADF, EBADF, TableName());
}

void TFileHandler::RequireWritable() const {
  RequireOpen();
  if (read_only_) RaiseFileError(STRATA_OSEACCES, EACCES, TableName());
}

void TFileHandler::Attach(std::shared_ptr<TAbstractFile> file, int handle, bool in_memory,
                          bool read_only) {
  file_ = std::move(file);
  handle_ = handle;
  in_memory_ = in_memory;
  exclusive_ = file_->Exclusive();
  read_only_ = read_only || file_->ReadOnly();
  read_only_by_attribute_ = file_->ReadOnlyByAttribute();
  temporary_ = file_->Temporary();
  open_ = true;
}

void TFileHandler::OpenFile(const std::string& path, bool in_memory, bool exclusive, bool read_only,
                            bool temporary) {
  CloseFile();
  path_ = TrimPath(path);
  TFileList::TOpened opened;
  try {
    opened = TFileList::Instance().Open(path_, in_memory, exclusive, temporary);
  } catch (const EFileFault& fault) {
    RaiseFileError(fault.Code, fault.OsError, TableName());
  }
  Attach(std::move(opened.File), opened.Handle, in_memory, read_only);
  if (opened.Fresh) size_at_open_ = file_->SizeAtOpen();
}

void TFileHandler::CreateFile(const std::string& path, bool in_memory, bool exclusive,
                              bool temporary) {
  CloseFile();
  path_ = TrimPath(path);
  TFileList::TOpened opened;
  try {
    opened = TFileList::Instance().Create(path_, in_memory, exclusive, temporary);
  } catch (const EFileFault& fault) {
    RaiseFileError(fault.Code, fault.OsError, TableName());
  }
  Attach(std::move(opened.File), opened.Handle, in_memory, false);
}

void TFileHandler::CloseFile() {
  if (!open_) return;
  std::shared_ptr<TAbstractFile> file = std::move(file_);
  const int handle = handle_;
  open_ = false;
  size_at_open_.reset();
  handle_ = 0;
  TFileList::Instance().Close(file, handle);
}

void TFileHandler::MoveToDisk(const std::string& path, bool exclusive) {
  RequireOpen();
  assert(in_memory_);  // only memory files move
  TFileList& list = TFileList::Instance();
  TFileList::TOpened disk;
  const std::string target = TrimPath(path);
  try {
    disk = list.Create(target, false, exclusive, false);
  } catch (const EFileFault& fault) {
    RaiseFileError(fault.Code, fault.OsError, TableName());
  }
  try {
    std::vector<uint8_t> chunk(65536);
    const uint64_t size = Size();
    for (uint64_t offset = 0; offset < size; offset += chunk.size()) {
      const size_t count = static_cast<size_t>(std::min<uint64_t>(chunk.size(), size - offset));
      Guarded(STRATA_READERR, TableName(),
              [&] { return file_->ReadAt(offset, chunk.data(), count); });
      Guarded(STRATA_WRITEERR, TableName(),
              [&] { disk.File->WriteAt(offset, chunk.data(), count); });
    }
  } catch (...) {
    list.Close(disk.File, disk.Handle);
    if (list.Exists(target, false)) list.Delete(target, false);
    throw;
  }
  const std::string memory_path = path_;
  CloseFile();
  list.Delete(memory_path, true);
  path_ = target;
  Attach(std::move(disk.File), disk.Handle, false, false);
}

void TFileHandler::Suspend() {
  RequireOpen();
  Guarded(0, TableName(), [&] { file_->SetOpenerIdle(handle_, true); });
}

void TFileHandler::Resume() {
  RequireOpen();
  Guarded(0, TableName(), [&] { file_->SetOpenerIdle(handle_, false); });
}

bool TFileHandler::StillAtPath() {
  RequireOpen();
  if (!file_->HasIdentity()) return true;
  return Guarded(0, TableName(), [&] {
    const std::optional<platform::FileIdentity> now = file_->PathIdentity();
    return now && now->SameFile(file_->Identity());
  });
}

std::optional<platform::FileIdentity> TFileHandler::PathStamp() {
  RequireOpen();
  if (!file_->HasIdentity()) return platform::FileIdentity{};
  return Guarded(0, TableName(), [&] { return file_->PathIdentity(); });
}

bool TFileHandler::SizeFits(const std::function<bool(uint64_t)>& fits) {
  RequireOpen();
  if (size_at_open_ && fits(*size_at_open_)) return true;
  return fits(Size());
}

void TFileHandler::TakeSizeAtOpen(const TFileHandler& first) {
  if (open_ && first.open_ && first.file_ == file_) size_at_open_ = first.size_at_open_;
}

platform::FileIdentity TFileHandler::Stamp() {
  RequireOpen();
  if (!file_->HasIdentity()) return {};
  return Guarded(0, TableName(), [&] { return file_->Identity(); });
}

size_t TFileHandler::ReadAt(uint64_t offset, void* buffer, size_t count, bool allow_short) {
  RequireOpen();
  const size_t done =
      Guarded(STRATA_READERR, TableName(), [&] { return file_->ReadAt(offset, buffer, count); });
  if (done < count && !allow_short) RaiseFileError(STRATA_READERR, 0, TableName());
  return done;
}

std::string TFileHandler::OnDiskPath() const {
  RequireOpen();
  return file_->OnDiskPath();
}

void TFileHandler::BeforeWrite(uint64_t offset, const void* buffer, uint64_t count) {
  journal_->BeforeWrite(static_cast<TRollbackJournal::TRole>(journal_role_), offset,
                        static_cast<const uint8_t*>(buffer), count);
}

void TFileHandler::WriteAt(uint64_t offset, const void* buffer, size_t count) {
  RequireWritable();
  size_at_open_.reset();
  Changing(offset, offset + count);
  if (journal_ != nullptr) BeforeWrite(offset, buffer, count);
  Guarded(STRATA_WRITEERR, TableName(), [&] { file_->WriteAt(offset, buffer, count); });
}

void TFileHandler::Truncate(uint64_t size) {
  RequireWritable();
  size_at_open_.reset();
  Changing(size, UINT64_MAX);
  if (journal_ != nullptr) {
    journal_->BeforeTruncate(static_cast<TRollbackJournal::TRole>(journal_role_), size);
  }
  Guarded(STRATA_WRITEERR, TableName(), [&] { file_->Truncate(size); });
}

uint64_t TFileHandler::Size() {
  RequireOpen();
  try {
    return file_->Size();
  } catch (const platform::OsError& error) {
    RaiseOsError(error, TableName());
  }
}

uint64_t TFileHandler::Seek(int origin, int64_t distance) {
  RequireOpen();
  return Guarded(0, TableName(), [&] { return file_->Seek(handle_, origin, distance); });
}

size_t TFileHandler::Read(void* buffer, size_t count, bool allow_short) {
  RequireOpen();
  const size_t done =
      Guarded(STRATA_READERR, TableName(), [&] { return file_->Read(handle_, buffer, count); });
  if (done < count && !allow_short) RaiseFileError(STRATA_READERR, 0, TableName());
  return done;
}

void TFileHandler::Write(const void* buffer, size_t count) {
  RequireWritable();
  size_at_open_.reset();
  Changing(0, UINT64_MAX);  // the position is not looked up for this
  if (journal_ != nullptr) {
    const uint64_t at = Guarded(0, TableName(), [&] { return file_->Position(handle_); });
    if (count == 0) {
      journal_->BeforeTruncate(static_cast<TRollbackJournal::TRole>(journal_role_), at);
    } else {
      BeforeWrite(at, buffer, count);
    }
  }
  Guarded(STRATA_WRITEERR, TableName(), [&] { file_->Write(handle_, buffer, count); });
}

bool TFileHandler::Lock(uint64_t offset, uint64_t length) {
  RequireOpen();
  try {
    return file_->Lock(offset, length);
  } catch (const platform::OsError& error) {
    RaiseOsError(error, TableName());
  }
}

bool TFileHandler::Unlock(uint64_t offset, uint64_t length) {
  RequireOpen();
  try {
    return file_->Unlock(offset, length);
  } catch (const platform::OsError& error) {
    RaiseOsError(error, TableName());
  }
}

void TFileHandler::FlushBuffers() {
  RequireOpen();
  try {
    file_->Flush();
  } catch (const platform::OsError& error) {
    RaiseFileError(STRATA_WRITEERR, error.errno_value(), TableName());
  }
}

bool TFileHandler::FileExists(const std::string& path, bool in_memory) {
  try {
    return TFileList::Instance().Exists(path, in_memory);
  } catch (const platform::OsError& error) {
    RaiseOsError(error, TrimPath(path));
  }
}

bool TFileHandler::ExactFileExists(const std::string& path) {
  try {
    return TFileList::Instance().Exists(path, false, true);
  } catch (const platform::OsError& error) {
    RaiseOsError(error, TrimPath(path));
  }
}

void TFileHandler::DeleteFile(const std::string& path, bool in_memory) {
  try {
    TFileList::Instance().Delete(path, in_memory);
  } catch (const EFileFault& fault) {
    RaiseFileError(fault.Code, fault.OsError, TrimPath(path));
  }
}

void TFileHandler::RenameFile(const std::string& from, const std::string& to, bool in_memory) {
  try {
    TFileList::Instance().Rename(from, to, in_memory);
  } catch (const EFileFault& fault) {
    RaiseFileError(fault.Code, fault.OsError, TrimPath(from));
  }
}

}  // namespace strata
