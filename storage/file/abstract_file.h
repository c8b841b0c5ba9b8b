// TAbstractFile: one file as this process sees it. The process-wide file list
// (file_list.h) keeps exactly one such object per open file; every user of the
// file is an opener of it, with a handle number and a 64-bit position of its
// own, so that one opener's seeks never disturb another's. All calls are
// serialised by the object's own mutex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>

#include "platform/file.h"

namespace strata {

// A failure of the file layer that already carries its engine error code
// (and the system's error number, 0 when none). The file handler turns it
// into an engine error naming the table.
class EFileFault : public std::runtime_error {
 public:
  EFileFault(uint16_t code, int32_t os_error, const std::string& what)
      : std::runtime_error(what), Code(code), OsError(os_error) {}
  uint16_t Code;
  int32_t OsError;
};

// Owns: the path, the sharing flags and the openers with their positions.
// Invariant: handle numbers are unique for the life of the object (a running
// count + 1); positions never go below 0.
class TAbstractFile {
 public:
  TAbstractFile(std::string path, bool exclusive, bool read_only, bool read_only_by_attribute,
                bool temporary);
  virtual ~TAbstractFile() = default;
  TAbstractFile(const TAbstractFile&) = delete;
  TAbstractFile& operator=(const TAbstractFile&) = delete;

  virtual bool InMemory() const = 0;
  // The file's name as the file system has it (letter case included); the
  // path it was opened by when that is the same or it is in memory.
  virtual std::string OnDiskPath() const { return path_; }

  const std::string& Path() const { return path_; }
  bool Exclusive() const;
  bool ReadOnly() const;
  bool ReadOnlyByAttribute() const;
  bool Temporary() const;

  // Openers. AddOpener returns the new opener's handle number; its position
  // starts at 0. RemoveOpener returns false for an unknown handle.
  int AddOpener();
  bool RemoveOpener(int handle);
  size_t OpenerCount() const;

  // Idle openers: a table kept open between uses marks its openers idle.
  // While every opener of a disk file is idle the file gives up its
  // sharing lock (an exclusive opener elsewhere is not kept out); the first
  // opener that becomes active again, or a new one, takes it back, failing
  // like an open (STRATA_OSEACCES as an EFileFault, or platform::OsError)
  // while someone else holds the file exclusively; the opener stays idle
  // then. An exclusive file keeps its lock.
  void SetOpenerIdle(int handle, bool idle);
  size_t ActiveOpenerCount() const;
  // Disk files: the identity of the open file (Identity) and of what its
  // path, as it was found at open, names now (PathIdentity; nullopt when
  // nothing is there). Memory files have none. Throw platform::OsError.
  virtual bool HasIdentity() const { return false; }
  // A disk file opened by the parent of this forked process: its handle and
  // locks are the parent's, never to be shared with new openers here.
  virtual bool Inherited() const { return false; }
  virtual platform::FileIdentity Identity() { return {}; }
  // Disk files: the size the open of this object found (no system call).
  virtual std::optional<uint64_t> SizeAtOpen() const { return std::nullopt; }
  virtual std::optional<platform::FileIdentity> PathIdentity() { return std::nullopt; }

  // I/O at an opener's own position, which advances by the bytes moved.
  // Origin 0 = start, 1 = current position, 2 = end of file. A write of
  // 0 bytes truncates the file at the position. Read returns the bytes read
  // (fewer at the end of the file).
  uint64_t Seek(int handle, int origin, int64_t distance);
  size_t Read(int handle, void* buffer, size_t count);
  void Write(int handle, const void* buffer, size_t count);
  uint64_t Position(int handle) const;

  // Positioned I/O, independent of any opener's position.
  size_t ReadAt(uint64_t offset, void* buffer, size_t count);
  void WriteAt(uint64_t offset, const void* buffer, size_t count);
  void Truncate(uint64_t size);
  uint64_t Size();

  // Byte-range locks that never wait; false when not obtained / released.
  bool Lock(uint64_t offset, uint64_t length);
  bool Unlock(uint64_t offset, uint64_t length);

  // The operating system's buffer flush (nothing for memory files).
  void Flush();

 protected:
  // The medium's own operations, called with the mutex held. Failures throw
  // platform::OsError (disk) or EFileFault.
  virtual size_t DoReadAt(uint64_t offset, void* buffer, size_t count) = 0;
  virtual void DoWriteAt(uint64_t offset, const void* buffer, size_t count) = 0;
  virtual void DoTruncate(uint64_t size) = 0;
  virtual uint64_t DoSize() = 0;
  virtual bool DoLock(uint64_t offset, uint64_t length) = 0;
  virtual bool DoUnlock(uint64_t offset, uint64_t length) = 0;
  virtual void DoFlush() = 0;
  // Gives up (false) or takes back (true) the sharing lock; memory files
  // have none.
  virtual void DoHoldShare(bool /*hold*/) {}

 private:
  friend class TFileList;  // resets flags and path of a memory file nobody has open
  void SetFlags(bool exclusive, bool read_only, bool read_only_by_attribute, bool temporary);
  void SetPath(std::string path) { path_ = std::move(path); }  // only while nobody has it open
  uint64_t& PositionOf(int handle);

  mutable std::mutex mutex_;
  std::string path_;
  bool exclusive_;
  bool read_only_;
  bool read_only_by_attribute_;
  bool temporary_;
  int handle_count_ = 0;
  std::map<int, uint64_t> positions_;  // opener handle -> position
  std::set<int> idle_;                 // of positions_: openers marked idle
};

}  // namespace strata
