// TFileHandler: what each table file object (data, index, blob) derives
// from. It names one file, holds one opener of the process-wide shared file
// object (see file_list.h) and routes every read, write, lock and unlock
// through it. Errors are engine errors naming the table (TableName()).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/file.h"

namespace strata {

class TAbstractFile;
class TRollbackJournal;

class TFileHandler {
 public:
  TFileHandler();
  virtual ~TFileHandler();
  TFileHandler(const TFileHandler&) = delete;
  TFileHandler& operator=(const TFileHandler&) = delete;

  // The name errors carry (the table name; the file name when unset).
  void SetTableName(std::string name) { table_name_ = std::move(name); }
  const std::string& TableName() const { return table_name_.empty() ? path_ : table_name_; }

  // Opens an existing file: one shared handle per file per process. Fails with
  // STRATA_OSEACCES (11013) when the file is open exclusively here, or when
  // exclusive use is asked while others have it open; OS failures map to
  // STRATA_OSENOENT .. STRATA_OSUNKNOWN (11010 .. 11047).
  void OpenFile(const std::string& path, bool in_memory, bool exclusive, bool read_only,
                bool temporary = false);
  // Creates (replaces) a file, read-write; STRATA_OSEACCES (11013) when this
  // process has it open.
  void CreateFile(const std::string& path, bool in_memory, bool exclusive = false,
                  bool temporary = false);
  void CloseFile();
  bool IsOpen() const { return open_; }
  // Moves an open memory file to a new disk file at `path` (created, its
  // contents copied), then drops the memory file: this handler goes on
  // with the disk file. The memory file stays as it was when this fails.
  void MoveToDisk(const std::string& path, bool exclusive);

  // Idle use (a table kept open between uses): Suspend marks this opener
  // idle, so that the file gives up its sharing lock when no other opener
  // here is active; Resume takes it back, failing as OpenFile does
  // (STRATA_OSEACCES (11013) while someone holds the file exclusively), this
  // opener staying idle then.
  void Suspend();
  void Resume();
  // For disk files: whether the path as opened still names the open file,
  // and the open file's identity (size and last write time included).
  // Memory files: always true, and an empty identity.
  bool StillAtPath();
  platform::FileIdentity Stamp();

  // For the first-open checks: whether `fits` holds for the file's size.
  // The size that this handler's open found is tried first (no system
  // call) when the open opened the file, rather than sharing it, and
  // nothing was written through this handler since; only when that does
  // not fit is the size asked for now.
  bool SizeFits(const std::function<bool(uint64_t)>& fits);
  // Takes over what `first` (an opener of the same file, opened just
  // before this one) knows of the size its open found.
  void TakeSizeAtOpen(const TFileHandler& first);
  // What the path as opened names now (one stat; nullopt when nothing is
  // there): equal to an earlier Stamp() when the file is the same and was
  // not written since. Memory files: an empty identity.
  std::optional<platform::FileIdentity> PathStamp();

  // Positioned I/O. A short read raises STRATA_READERR (9217) unless
  // allow_short; returns the bytes read. A failed write raises STRATA_WRITEERR
  // (9218); writing through a read-only opener raises STRATA_OSEACCES (11013).
  size_t ReadAt(uint64_t offset, void* buffer, size_t count, bool allow_short = false);
  void WriteAt(uint64_t offset, const void* buffer, size_t count);
  void Truncate(uint64_t size);
  uint64_t Size();

  // I/O at this opener's own position. Origin 0 = start, 1 = current, 2 = end.
  uint64_t Seek(int origin, int64_t distance);
  size_t Read(void* buffer, size_t count, bool allow_short = false);
  void Write(const void* buffer, size_t count);  // 0 bytes: truncate at the position

  // Byte-range locks that never wait; false when not obtained / released.
  bool Lock(uint64_t offset, uint64_t length);
  bool Unlock(uint64_t offset, uint64_t length);

  // The operating system's buffer flush.
  void FlushBuffers();

  // The table's rollback journal, told before every write and truncate of
  // this file (nullptr: none). `role` is this file's place in the journal.
  void SetJournal(TRollbackJournal* journal, uint8_t role) {
    journal_ = journal;
    journal_role_ = role;
  }

  // File operations by path, outside any opener (errors name the file).
  // Whether the file exists (a memory file: whether the registry has it).
  static bool FileExists(const std::string& path, bool in_memory);
  // Whether a disk file stands under exactly this name (letter case as
  // given): for names the engine makes itself.
  static bool ExactFileExists(const std::string& path);
  // Deletes a file; STRATA_OSEACCES (11013) while this process has it open,
  // STRATA_OSENOENT (11010) when missing.
  static void DeleteFile(const std::string& path, bool in_memory);
  // Renames a file; STRATA_OSEACCES (11013) while this process has either name
  // open.
  static void RenameFile(const std::string& from, const std::string& to, bool in_memory);

  const std::string& Path() const { return path_; }
  // The open file's name as the file system has it (see TAbstractFile).
  std::string OnDiskPath() const;
  bool InMemory() const { return in_memory_; }
  bool Exclusive() const { return exclusive_; }
  bool ReadOnly() const { return read_only_; }
  bool ReadOnlyByAttribute() const { return read_only_by_attribute_; }
  bool Temporary() const { return temporary_; }
  int HandleNumber() const { return handle_; }

 protected:
  // STRATA_OSEBADF (11014) when the handler is not open; STRATA_OSEACCES
  // (11013) as well when it is read-only.
  void RequireOpen() const;
  void RequireWritable() const;
  // Told before every write or truncate through this handler (the journal's
  // rollback included) that bytes [begin, end) of the file are about to
  // change: a derived file that keeps a copy of some stored bytes drops it.
  virtual void Changing(uint64_t begin, uint64_t end) {
    (void)begin;
    (void)end;
  }

  std::string path_;
  std::string table_name_;
  bool in_memory_ = false;
  bool exclusive_ = false;
  bool read_only_ = false;
  bool read_only_by_attribute_ = false;
  bool temporary_ = false;
  bool open_ = false;
  std::shared_ptr<TAbstractFile> file_;
  int handle_ = 0;

 private:
  void Attach(std::shared_ptr<TAbstractFile> file, int handle, bool in_memory, bool read_only);
  void BeforeWrite(uint64_t offset, const void* buffer, uint64_t count);

  TRollbackJournal* journal_ = nullptr;
  uint8_t journal_role_ = 0;
  std::optional<uint64_t> size_at_open_;  // see SizeFits
};

}  // namespace strata
