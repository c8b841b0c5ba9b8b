// Files, byte-range locks and folder operations: the only place the storage
// engine and the gateway reach the operating system's file services.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// What went wrong in a file call, in the categories the engine maps to its
// own error codes.
enum class OsErrorKind {
  kNotFound,       // file or path not found
  kTooManyFiles,   // descriptor table full
  kAccessDenied,   // permission, sharing (exclusive use elsewhere), read-only
  kBadHandle,      // invalid descriptor
  kNoMemory,       // out of memory
  kInvalidDrive,   // no such device
  kNotSameDevice,  // rename across file systems
  kOther,
};

// The category of a system error number: ENOENT/ENOTDIR not found,
// EMFILE/ENFILE too many files, EACCES/EPERM/EROFS/EISDIR/ETXTBSY access
// denied, EBADF bad handle, ENOMEM no memory, ENODEV/ENXIO invalid drive,
// EXDEV not same device, anything else other.
OsErrorKind OsErrorKindFromErrno(int errno_value);

// A failed file call. `errno_value` is the system's error number.
class OsError : public std::runtime_error {
 public:
  OsError(OsErrorKind kind, int errno_value, const std::string& what)
      : std::runtime_error(what), kind_(kind), errno_(errno_value) {}
  OsErrorKind kind() const { return kind_; }
  int errno_value() const { return errno_; }

 private:
  OsErrorKind kind_;
  int errno_;
};

// kReadWriteWhenAllowed: read-write when this process may write the file and
// a write permission bit is set (the file's read-only attribute is clear),
// else read-only, as kReadOnly opens it; read_only() tells which it became.
enum class Access { kReadOnly, kReadWrite, kReadWriteWhenAllowed };
enum class Share { kShared, kExclusive };

// What names one file on its device, with its size and last write time as
// the system keeps them: two stamps of the same path with equal device and
// inode are the same file; equal size and write time as well mean nobody
// wrote it in between (to the system's clock resolution).
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t size = 0;
  int64_t modified_ns = 0;
  bool SameFile(const FileIdentity& other) const {
    return device == other.device && inode == other.inode;
  }
  bool operator==(const FileIdentity&) const = default;
};

// The wall clock that write times are taken from, in nanoseconds. File
// systems keep write times coarser than this (a clock tick, or whole
// seconds): a file written again within about a second of its last write
// may show the same write time.
int64_t FileClockNs();
inline constexpr int64_t kWriteTimeResolutionNs = 2'000'000'000;

// How File::Open and File::Create look the name up: kMatchCase goes through
// MatchFileNameCase; kExactName takes the path as it is (one found already).
enum class NameLookup { kMatchCase, kExactName };

// How File opens a descriptor (File's own business).
struct FileOpenMode {
  bool stat = true;                           // fstat the new descriptor
  bool read_only_fallback = false;            // a refused O_RDWR retries O_RDONLY
  bool read_only_without_write_bits = false;  // no write bit set: read-only
};

// One open file. Owns its descriptor; the destructor closes it (and removes
// a temporary file). Sharing is enforced between processes with a lock on a
// reserved byte beyond every region the engine locks: a shared opener holds a
// read lock on it, an exclusive opener a write lock, so an exclusive open
// fails while anyone else has the file open and vice versa (kAccessDenied).
// This holds between File objects of one process too. (A descriptor that
// may only be read carries only a read lock: an exclusive opener of a file
// that this process may not write keeps out other exclusive openers only.)
// Byte-range locks are open-file-description locks: they belong to this
// object, never wait, conflict with locks held through every other File
// (in this or another process) and are dropped when this object closes.
// Like the locks of a Windows handle they do not nest or merge: a range that
// overlaps one already held through this File is refused, and Unlock releases
// only a range exactly as it was locked.
// Invariant: held_ lists exactly the ranges this object holds a lock on,
// besides the reserved sharing byte.
class File {
 public:
  // The reserved byte that carries the sharing lock. TryLock and Unlock
  // refuse ranges that include it.
  static constexpr uint64_t kShareLockOffset = 0x100000000ULL;

  // Opens an existing file. With kMatchCase the name is tried as given
  // first; only when nothing is there is it looked for under another letter
  // case (MatchFileNameCase). A temporary file is removed when this object
  // closes, or when the process exits normally with it still open (not
  // before: its name stays taken while it is open; a killed process leaves it
  // behind). Throws OsError; a sharing conflict is kAccessDenied.
  // A read-only File refuses writes (kAccessDenied); its descriptor is still
  // opened for writing when the permissions allow, so that it can take
  // exclusive byte-range locks like any other opener. Only a refused
  // read-write open (EACCES, EPERM, EROFS, ETXTBSY) falls back to a
  // read-only descriptor; a sharing conflict never does.
  static std::unique_ptr<File> Open(const std::string& path, Access access, Share share,
                                    bool temporary = false,
                                    NameLookup lookup = NameLookup::kMatchCase);
  // Creates a file, replacing an existing one; read-write. The existing
  // contents are cut only after the sharing lock is held, so a file in use
  // elsewhere is left intact (kAccessDenied). For exclusive use an existing
  // regular file is replaced by a new one (another inode, the same
  // permission bits) moved in under its name. Throws OsError.
  static std::unique_ptr<File> Create(const std::string& path, Share share, bool temporary = false);
  // Opens a file read-write, creating it empty when it does not exist; an
  // existing file keeps its contents. Throws OsError.
  static std::unique_ptr<File> OpenOrCreate(const std::string& path, Share share);
  // For files that nobody opens exclusively (a table's journal), by a path
  // whose letter case is exact (no look-up of other cases, so no folder
  // listing when the file is missing), read-write, without a sharing lock.
  // OpenOrCreateExact creates the file when missing; OpenExact throws
  // OsError (kNotFound when there is none).
  static std::unique_ptr<File> OpenOrCreateExact(const std::string& path);
  static std::unique_ptr<File> OpenExact(const std::string& path);
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Positioned I/O. ReadAt returns the bytes read, fewer only at the end of
  // the file. WriteAt writes everything or throws.
  size_t ReadAt(uint64_t offset, void* buffer, size_t count);
  void WriteAt(uint64_t offset, const void* buffer, size_t count);
  void Truncate(uint64_t size);
  uint64_t Size();
  void Sync();

  // Exclusive lock on [offset, offset + length); false when any byte of it is
  // locked through another File, when it overlaps a range held through this
  // File, when length is 0 or when the range includes kShareLockOffset.
  // Never waits. Offsets may lie far beyond the end of the file.
  bool TryLock(uint64_t offset, uint64_t length);
  // Releases a range locked with TryLock (same offset and length); false when
  // no such range is held or the system refuses.
  bool Unlock(uint64_t offset, uint64_t length);

  const std::string& path() const { return path_; }
  bool read_only() const { return read_only_; }

  // The open file's identity now (one fstat). Throws OsError.
  FileIdentity identity();
  // What the open itself found (no further system call): the identity at
  // that moment (size included) and whether the descriptor may write. Files
  // opened by OpenExact / OpenOrCreateExact are not looked at: an empty
  // identity.
  const FileIdentity& opened_identity() const { return opened_; }
  bool writable_descriptor() const { return writable_fd_; }

  // The sharing lock of a shared opener can be given up while the file stays
  // open, so that an exclusive opener elsewhere is not kept out, and taken
  // again later exactly as Open takes it: kAccessDenied (a sharing
  // violation) while someone else holds the file exclusively. An exclusive
  // opener keeps its lock (ReleaseShareLock does nothing). Both do nothing
  // when the lock is already in that state.
  void ReleaseShareLock();
  void RetakeShareLock();
  bool holds_share_lock() const { return share_held_; }
  // Whether this object was opened by a parent before this process was
  // forked: its descriptor, and so its locks, are shared with that parent.
  bool inherited() const;

 private:
  struct Range {
    uint64_t offset;
    uint64_t length;
  };
  File(int fd, std::string path, bool read_only, bool temporary);
  static void RegisterTemporary(const File* file);
  static void UnregisterTemporary(const File* file);
  void WriteAll(uint64_t offset, const void* buffer, size_t count);
  static std::unique_ptr<File> OpenDescriptor(const std::string& path, int flags, bool read_only,
                                              Share share, bool temporary, bool truncate,
                                              bool share_lock = true, FileOpenMode mode = {});

  int fd_;
  std::string path_;
  bool read_only_;
  bool temporary_;
  short share_type_ = 0;  // F_RDLCK or F_WRLCK on kShareLockOffset
  bool share_held_ = false;
  uint64_t fork_generation_;  // of the process that opened it
  uint64_t device_ = 0;       // identity of the file, so that closing a temporary
  uint64_t inode_ = 0;        // file never removes another one under its name
  FileIdentity opened_;       // as the open found it
  bool writable_fd_ = false;
  bool write_bits_ = true;
  std::mutex locks_mutex_;
  std::vector<Range> held_;
};

struct FileAttributes {
  bool directory = false;
  // The file cannot be written: no write permission bit is set, or this
  // process may not write it (permissions, read-only file system).
  bool read_only = false;
  uint64_t size = 0;
};

// File names compare without regard to letter case, as the engine's names
// do: a path whose last part names no file, but exactly one file of the
// folder when case is ignored, stands for that file. Every function below
// and File::Open / File::Create look names up this way (only a miss costs a
// folder listing). Returns the path as found, or as given.
std::string MatchFileNameCase(const std::string& path);

// Attributes of a path; nullopt when it does not exist. Throws OsError for
// other failures.
std::optional<FileAttributes> GetFileAttributes(const std::string& path);
// The attributes and the path as MatchFileNameCase found it, from one stat
// (and the write-access check); nullopt when nothing is there.
std::optional<FileAttributes> GetFileAttributes(const std::string& path, std::string& found_path);
// The identity of the file at exactly `path` (no letter-case matching, one
// stat that follows links); nullopt when nothing is there. Throws OsError
// for other failures.
std::optional<FileIdentity> GetFileIdentity(const std::string& path);
// Whether a regular file stands at exactly `path` (no letter-case
// matching): for names this engine made itself, whose letter case is known.
bool ExactFileExists(const std::string& path);
bool FileExists(const std::string& path);  // a regular file
// The size of the file at exactly `path` (letter case as given, no folder
// listing); nullopt when there is none. One stat. Throws OsError for
// failures other than a missing file.
std::optional<uint64_t> ExactFileSize(const std::string& path);
bool DirectoryExists(const std::string& path);
void DeleteFile(const std::string& path);  // throws OsError
// Moves a file; fails (kOther, EEXIST) when `to` exists. Throws OsError.
void RenameFile(const std::string& from, const std::string& to);
void CreateDirectory(const std::string& path);  // ok when it exists
// Appends bytes to the end of a file, creating it empty first when it does
// not exist (never replacing one). One open, one appending write, one close:
// appends of several processes never overwrite each other. Throws OsError.
void AppendToFile(const std::string& path, std::string_view bytes);
// Replaces a small file's whole content, creating the file when missing: the
// bytes are written over the old ones in place and the file is cut to their
// length, all under a lock on a byte beyond the content, so of concurrent
// writers the last one wins whole and ReadFileContent sees one content,
// never a mix. (Renaming a new file over the old one would cost the file
// system a flush of the new data on every call.) A writer that finds the
// lock held for about two seconds writes anyway. A process killed between
// the write and the cut may leave a longer old content's tail behind. A
// file this process may not open for writing is replaced by a new file
// renamed over it, where the folder may be written. Throws OsError.
void ReplaceFileContent(const std::string& path, std::string_view bytes);
// The whole content of a file that ReplaceFileContent writes, read under its
// lock (taken as the writer takes it, read anyway after about two seconds;
// read without when this process may not write the file). Throws OsError.
std::string ReadFileContent(const std::string& path);
std::string CurrentDirectory();  // with a trailing '/'
// Makes the folder entries of the folder holding `path` durable (after a
// file was created there). Throws OsError.
void SyncParentDirectory(const std::string& path);
std::string TempDirectory();  // $TMPDIR or /tmp, with a trailing '/'

// Crash testing, in the manner of a crash-test file layer: once armed, the
// process ends itself (_exit with kFileCrashExitCode) at its Nth file
// operation counted from the arming, where every WriteAt, Truncate and Sync
// of every File counts one. The operation that is hit is not done, except a
// write of more than one byte, of which the first half reaches the file (a
// torn write). For tests only; the count runs whether armed or not.
inline constexpr int kFileCrashExitCode = 86;
void ArmFileCrash(uint64_t nth_operation);
void DisarmFileCrash();
// File operations (writes, truncates, syncs) counted since the last arming
// (or since the process began).
uint64_t FileOperationsCounted();

}  // namespace platform
