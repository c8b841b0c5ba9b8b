// POSIX implementation of files, byte-range locks and folder operations.
//
// Byte-range locks and the sharing lock are open-file-description locks
// (F_OFD_SETLK): they belong to one open() and so to one File object, conflict
// between File objects even inside one process, and never wait.
#include "platform/file.h"
#include "platform/clock.h"
#include "platform/letter_case.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string_view>
#include <system_error>

namespace platform {

namespace {

constexpr uint64_t kMaxOffset = static_cast<uint64_t>(std::numeric_limits<off_t>::max());

[[noreturn]] void ThrowErrno(int error, const std::string& what) {
  throw OsError(OsErrorKindFromErrno(error), error,
                what + ": " + std::generic_category().message(error));
}

[[noreturn]] void ThrowSharingViolation(const std::string& path) {
  // Reported as a sharing violation: access denied, as for permissions.
  throw OsError(OsErrorKind::kAccessDenied, EACCES, path + ": file is in use by another opener");
}

// One F_OFD_SETLK request; returns 0 or the errno of the failure.
int OfdLock(int fd, short type, uint64_t offset, uint64_t length) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  lock.l_pid = 0;  // required for OFD locks
  while (fcntl(fd, F_OFD_SETLK, &lock) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

bool IsLockConflict(int error) { return error == EAGAIN || error == EACCES; }

// Whether [offset, offset + length) is a range the lock calls accept.
bool IsLockableRange(uint64_t offset, uint64_t length) {
  if (length == 0 || offset > kMaxOffset || length > kMaxOffset - offset) return false;
  const uint64_t end = offset + length;
  return end <= File::kShareLockOffset || offset > File::kShareLockOffset;
}

FileIdentity IdentityOf(const struct stat& info) {
  FileIdentity identity;
  identity.device = static_cast<uint64_t>(info.st_dev);
  identity.inode = static_cast<uint64_t>(info.st_ino);
  identity.size = static_cast<uint64_t>(info.st_size);
  identity.modified_ns =
      static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return identity;
}

// MatchFileNameCase, handing back the stat of the path found when there is
// one (`found` false otherwise: nothing there, or a failure other than a
// missing name, whose errno `stat_error` keeps).
std::string MatchNameCase(const std::string& path, struct stat& info, bool& found, int& stat_error);

bool Overlaps(uint64_t a_offset, uint64_t a_length, uint64_t b_offset, uint64_t b_length) {
  return a_offset < b_offset + b_length && b_offset < a_offset + a_length;
}

std::string WithTrailingSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

// Removes `path` only while it still names the file (device, inode) that was
// opened under it, never another file created there since.
void RemoveIfSameFile(const std::string& path, uint64_t device, uint64_t inode) {
  struct stat by_name {};
  if (stat(path.c_str(), &by_name) == 0 && static_cast<uint64_t>(by_name.st_dev) == device &&
      static_cast<uint64_t>(by_name.st_ino) == inode) {
    unlink(path.c_str());
  }
}

// Temporary files still open when the process exits normally are removed
// then, as the system would remove them when it closes their handles. Only
// the process that opened a file removes it: a forked child inherits the
// list but not the files.
struct TemporaryEntry {
  const void* owner;
  std::string path;
  uint64_t device;
  uint64_t inode;
  pid_t pid;
};

struct TemporaryRegistry {
  std::mutex mutex;
  std::vector<TemporaryEntry> entries;
};

// Never destroyed: files may close during or after the exit handlers.
TemporaryRegistry& Temporaries() {
  static TemporaryRegistry* registry = new TemporaryRegistry;
  return *registry;
}

void RemoveTemporariesAtExit() {
  TemporaryRegistry& registry = Temporaries();
  std::lock_guard guard(registry.mutex);
  const pid_t self = getpid();
  for (const TemporaryEntry& entry : registry.entries) {
    if (entry.pid == self) RemoveIfSameFile(entry.path, entry.device, entry.inode);
  }
  registry.entries.clear();
}

// Advanced in every child a fork makes (see File::inherited).
std::atomic<uint64_t> fork_generation{0};
const bool fork_watch = [] {
  pthread_atfork(nullptr, nullptr, [] { fork_generation.fetch_add(1); });
  return true;
}();

// The crash-test countdown (see ArmFileCrash); 0 when disarmed.
std::atomic<uint64_t> crash_at{0};
std::atomic<uint64_t> operations{0};

// Counts one file operation; true when it is the one to crash at.
bool CrashPointReached() {
  const uint64_t n = operations.fetch_add(1, std::memory_order_relaxed) + 1;
  const uint64_t at = crash_at.load(std::memory_order_relaxed);
  return at != 0 && n == at;
}

[[noreturn]] void CrashNow() { _exit(kFileCrashExitCode); }

}  // namespace

void ArmFileCrash(uint64_t nth_operation) {
  operations.store(0, std::memory_order_relaxed);
  crash_at.store(nth_operation, std::memory_order_relaxed);
}

void DisarmFileCrash() { crash_at.store(0, std::memory_order_relaxed); }

uint64_t FileOperationsCounted() { return operations.load(std::memory_order_relaxed); }

void File::RegisterTemporary(const File* file) {
  static std::once_flag once;
  std::call_once(once, [] { std::atexit(RemoveTemporariesAtExit); });
  TemporaryRegistry& registry = Temporaries();
  std::lock_guard guard(registry.mutex);
  registry.entries.push_back({file, file->path_, file->device_, file->inode_, getpid()});
}

void File::UnregisterTemporary(const File* file) {
  TemporaryRegistry& registry = Temporaries();
  std::lock_guard guard(registry.mutex);
  std::erase_if(registry.entries, [file](const TemporaryEntry& e) { return e.owner == file; });
}

OsErrorKind OsErrorKindFromErrno(int errno_value) {
  switch (errno_value) {
    case ENOENT:
    case ENOTDIR:
      return OsErrorKind::kNotFound;
    case EMFILE:
    case ENFILE:
      return OsErrorKind::kTooManyFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:   // opening a folder as a file
    case ETXTBSY:  // a running program's image: a sharing conflict
      return OsErrorKind::kAccessDenied;
    case EBADF:
      return OsErrorKind::kBadHandle;
    case ENOMEM:
      return OsErrorKind::kNoMemory;
    case ENODEV:
    case ENXIO:
      return OsErrorKind::kInvalidDrive;
    case EXDEV:
      return OsErrorKind::kNotSameDevice;
    default:
      return OsErrorKind::kOther;
  }
}

File::File(int fd, std::string path, bool read_only, bool temporary)
    : fd_(fd),
      path_(std::move(path)),
      read_only_(read_only),
      temporary_(temporary),
      fork_generation_(fork_generation.load()) {}

bool File::inherited() const {
  (void)fork_watch;
  return fork_generation_ != fork_generation.load(std::memory_order_relaxed);
}

File::~File() {
  if (temporary_) {
    UnregisterTemporary(this);
    RemoveIfSameFile(path_, device_, inode_);
  }
  close(fd_);  // drops every OFD lock of this object
}

namespace {

// The refusals of a read-write open that a read-only open may get past: the
// file, its folder or its file system may not be written by this process.
bool IsWriteRefusal(int error) {
  return error == EACCES || error == EPERM || error == EROFS || error == ETXTBSY;
}

int OpenRetryingInterrupts(const std::string& path, int flags) {
  int fd;
  do {
    fd = open(path.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

std::unique_ptr<File> File::OpenDescriptor(const std::string& path, int flags, bool read_only,
                                           Share share, bool temporary, bool truncate,
                                           bool share_lock, FileOpenMode mode) {
  int fd = OpenRetryingInterrupts(path, flags);
  bool writable_fd = (flags & O_ACCMODE) == O_RDWR;
  if (fd < 0 && writable_fd && mode.read_only_fallback && IsWriteRefusal(errno)) {
    // Only the open itself falls back: a sharing conflict found later is
    // never got around by opening for reading.
    fd = OpenRetryingInterrupts(path, (flags & ~O_ACCMODE) | O_RDONLY);
    writable_fd = false;
    read_only = true;
  }
  if (fd < 0) ThrowErrno(errno, path);
  // From here on the destructor closes the descriptor on every path; the
  // temporary flag stays off until the file is really ours.
  std::unique_ptr<File> file(new File(fd, path, read_only, false));

  if (mode.stat) {
    struct stat info {};
    if (fstat(fd, &info) != 0) ThrowErrno(errno, path);
    if (S_ISDIR(info.st_mode)) ThrowErrno(EISDIR, path);
    file->device_ = static_cast<uint64_t>(info.st_dev);
    file->inode_ = static_cast<uint64_t>(info.st_ino);
    file->opened_ = IdentityOf(info);
    file->write_bits_ = (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
  } else {
    // A folder is never opened for writing, so a read-write open that
    // succeeded names a file; nothing else needs the identity at once.
    assert(writable_fd && !temporary);
  }
  file->writable_fd_ = writable_fd;
  if (mode.read_only_without_write_bits && !file->write_bits_) file->read_only_ = true;

  // The sharing lock. A descriptor that cannot be written can only carry a
  // read lock; such an exclusive opener keeps out other exclusive openers only.
  file->share_type_ = share == Share::kExclusive && writable_fd ? F_WRLCK : F_RDLCK;
  // A journal opened by a reader carries no sharing lock of its own.
  if (share_lock) file->RetakeShareLock();
  if (truncate && ftruncate(fd, 0) != 0) ThrowErrno(errno, path);
  if (temporary) {
    file->temporary_ = true;
    RegisterTemporary(file.get());
  }
  return file;
}

FileIdentity File::identity() {
  struct stat info {};
  if (fstat(fd_, &info) != 0) ThrowErrno(errno, path_);
  return IdentityOf(info);
}

void File::ReleaseShareLock() {
  if (!share_held_ || share_type_ == F_WRLCK) return;
  const int error = OfdLock(fd_, F_UNLCK, kShareLockOffset, 1);
  if (error != 0) ThrowErrno(error, path_);
  share_held_ = false;
}

void File::RetakeShareLock() {
  if (share_held_) return;
  const int error = OfdLock(fd_, share_type_, kShareLockOffset, 1);
  if (error != 0) {
    if (IsLockConflict(error)) ThrowSharingViolation(path_);
    ThrowErrno(error, path_);
  }
  share_held_ = true;
}

std::unique_ptr<File> File::Open(const std::string& given_path, Access access, Share share,
                                 bool temporary, NameLookup lookup) {
  FileOpenMode mode;
  // Read-only use prefers a writable descriptor, which can take exclusive
  // byte-range locks, and falls back to a read-only one when writing is not
  // allowed.
  mode.read_only_fallback = access != Access::kReadWrite;
  mode.read_only_without_write_bits = access == Access::kReadWriteWhenAllowed;
  const bool read_only = access == Access::kReadOnly;
  try {
    return OpenDescriptor(given_path, O_RDWR, read_only, share, temporary, false, true, mode);
  } catch (const OsError& error) {
    // The name as given is tried first: only a miss looks for it under
    // another letter case.
    if (lookup != NameLookup::kMatchCase || error.errno_value() != ENOENT) throw;
    const std::string path = MatchFileNameCase(given_path);
    if (path == given_path) throw;
    return OpenDescriptor(path, O_RDWR, read_only, share, temporary, false, true, mode);
  }
}

std::unique_ptr<File> File::OpenOrCreate(const std::string& given_path, Share share) {
  const std::string path = MatchFileNameCase(given_path);
  return OpenDescriptor(path, O_RDWR | O_CREAT, false, share, false, false);
}

std::unique_ptr<File> File::OpenOrCreateExact(const std::string& path) {
  FileOpenMode mode;
  mode.stat = false;
  return OpenDescriptor(path, O_RDWR | O_CREAT, false, Share::kShared, false, false, false, mode);
}

std::unique_ptr<File> File::OpenExact(const std::string& path) {
  FileOpenMode mode;
  mode.stat = false;
  return OpenDescriptor(path, O_RDWR, false, Share::kShared, false, false, false, mode);
}

std::unique_ptr<File> File::Create(const std::string& given_path, Share share, bool temporary) {
  // Replaces an existing file whose name differs only in letter case.
  const std::string path = MatchFileNameCase(given_path);
  struct stat existing {};
  if (share != Share::kExclusive || lstat(path.c_str(), &existing) != 0 ||
      !S_ISREG(existing.st_mode)) {
    // No O_TRUNC: the old contents go only once the sharing lock is held.
    return OpenDescriptor(path, O_RDWR | O_CREAT, false, share, temporary, true);
  }
  // An existing file replaced for exclusive use becomes another file (a new
  // inode), so that whoever still holds the old one open - idle, between
  // uses - finds it replaced. The old file is held exclusively meanwhile,
  // as an open would hold it: in use elsewhere, it stays intact; the new one
  // is locked before it takes the name.
  const std::unique_ptr<File> old = OpenDescriptor(path, O_RDWR, false, share, false, false);
  const std::string fresh = path + "." + std::to_string(getpid()) + ".new";
  std::unique_ptr<File> file = OpenDescriptor(fresh, O_RDWR | O_CREAT, false, share, false, true);
  if (fchmod(file->fd_, existing.st_mode & 07777) != 0 ||
      rename(fresh.c_str(), path.c_str()) != 0) {
    const int error = errno;
    unlink(fresh.c_str());
    ThrowErrno(error, path);
  }
  file->path_ = path;
  if (temporary) {
    file->temporary_ = true;
    RegisterTemporary(file.get());
  }
  return file;
}

size_t File::ReadAt(uint64_t offset, void* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    if (offset + done > kMaxOffset) ThrowErrno(EINVAL, path_);
    const size_t chunk = std::min<size_t>(count - done, SSIZE_MAX);
    const ssize_t n =
        pread(fd_, static_cast<char*>(buffer) + done, chunk, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(errno, path_);
    }
    if (n == 0) break;  // end of file
    done += static_cast<size_t>(n);
  }
  return done;
}

void File::WriteAt(uint64_t offset, const void* buffer, size_t count) {
  if (read_only_) ThrowErrno(EACCES, path_ + " (opened read-only)");
  if (CrashPointReached()) {
    if (count > 1) WriteAll(offset, buffer, count / 2);
    CrashNow();
  }
  WriteAll(offset, buffer, count);
}

void File::WriteAll(uint64_t offset, const void* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    if (offset + done > kMaxOffset) ThrowErrno(EFBIG, path_);
    const size_t chunk = std::min<size_t>(count - done, SSIZE_MAX);
    const ssize_t n = pwrite(fd_, static_cast<const char*>(buffer) + done, chunk,
                             static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(errno, path_);
    }
    if (n == 0) ThrowErrno(ENOSPC, path_);
    done += static_cast<size_t>(n);
  }
}

void File::Truncate(uint64_t size) {
  if (read_only_) ThrowErrno(EACCES, path_ + " (opened read-only)");
  if (size > kMaxOffset) ThrowErrno(EFBIG, path_);
  if (CrashPointReached()) CrashNow();
  while (ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    if (errno != EINTR) ThrowErrno(errno, path_);
  }
}

uint64_t File::Size() {
  struct stat info {};
  if (fstat(fd_, &info) != 0) ThrowErrno(errno, path_);
  return static_cast<uint64_t>(info.st_size);
}

void File::Sync() {
  if (CrashPointReached()) CrashNow();
  if (fsync(fd_) != 0 && errno != EINVAL) ThrowErrno(errno, path_);
}

bool File::TryLock(uint64_t offset, uint64_t length) {
  if (!IsLockableRange(offset, length)) return false;
  std::lock_guard guard(locks_mutex_);
  for (const Range& held : held_) {
    if (Overlaps(held.offset, held.length, offset, length)) return false;
  }
  if (OfdLock(fd_, F_WRLCK, offset, length) != 0) return false;
  held_.push_back({offset, length});
  return true;
}

bool File::Unlock(uint64_t offset, uint64_t length) {
  std::lock_guard guard(locks_mutex_);
  for (auto it = held_.begin(); it != held_.end(); ++it) {
    if (it->offset == offset && it->length == length) {
      if (OfdLock(fd_, F_UNLCK, offset, length) != 0) return false;
      held_.erase(it);
      return true;
    }
  }
  return false;
}

std::string MatchFileNameCase(const std::string& path) {
  struct stat info {};
  bool found = false;
  int stat_error = 0;
  return MatchNameCase(path, info, found, stat_error);
}

namespace {

std::string MatchNameCase(const std::string& path, struct stat& info, bool& found,
                          int& stat_error) {
  found = false;
  stat_error = 0;
  if (stat(path.c_str(), &info) == 0) {
    found = true;
    return path;
  }
  stat_error = errno;
  // A link that leads nowhere is a name that exists: it is not looked for
  // under another letter case.
  if (stat_error != ENOENT || lstat(path.c_str(), &info) == 0) return path;
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string_view name = slash == std::string::npos
                                    ? std::string_view(path)
                                    : std::string_view(path).substr(slash + 1);
  if (name.empty()) return path;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return path;
  std::string match;
  int matches = 0;
  while (const dirent* entry = readdir(dir)) {
    if (SameTextIgnoringCase(entry->d_name, name)) {
      match = entry->d_name;
      ++matches;
    }
  }
  closedir(dir);
  // Two names that differ only in case cannot be told apart: keep the given one.
  if (matches != 1) return path;
  std::string matched = slash == std::string::npos ? match : path.substr(0, slash + 1) + match;
  if (stat(matched.c_str(), &info) == 0) {
    found = true;
    stat_error = 0;
  } else {
    stat_error = errno;
  }
  return matched;
}

}  // namespace

std::optional<FileAttributes> GetFileAttributes(const std::string& given_path) {
  std::string found_path;
  return GetFileAttributes(given_path, found_path);
}

std::optional<FileAttributes> GetFileAttributes(const std::string& given_path,
                                                std::string& found_path) {
  struct stat info {};
  bool found = false;
  int stat_error = 0;
  found_path = MatchNameCase(given_path, info, found, stat_error);
  const std::string& path = found_path;
  if (!found) {
    if (stat_error == ENOENT || stat_error == ENOTDIR) return std::nullopt;
    ThrowErrno(stat_error, path);
  }
  FileAttributes attributes;
  attributes.directory = S_ISDIR(info.st_mode);
  attributes.read_only = (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
                         faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0;
  attributes.size = static_cast<uint64_t>(info.st_size);
  return attributes;
}

bool FileExists(const std::string& path) {
  struct stat info {};
  bool found = false;
  int stat_error = 0;
  MatchNameCase(path, info, found, stat_error);
  return found && S_ISREG(info.st_mode);
}

int64_t FileClockNs() {
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

bool ExactFileExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::optional<FileIdentity> GetFileIdentity(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    ThrowErrno(errno, path);
  }
  return IdentityOf(info);
}

std::optional<uint64_t> ExactFileSize(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    ThrowErrno(errno, path);
  }
  return static_cast<uint64_t>(info.st_size);
}

bool DirectoryExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void DeleteFile(const std::string& given_path) {
  const std::string path = MatchFileNameCase(given_path);
  if (unlink(path.c_str()) != 0) ThrowErrno(errno, path);
}

void RenameFile(const std::string& given_from, const std::string& given_to) {
  const std::string from = MatchFileNameCase(given_from);
  const std::string to = MatchFileNameCase(given_to);
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
  int error = errno;
  if (error == EINVAL || error == ENOSYS) {
    // The file system cannot refuse to replace by itself: check first.
    struct stat info {};
    if (lstat(to.c_str(), &info) == 0) ThrowErrno(EEXIST, to);
    if (rename(from.c_str(), to.c_str()) == 0) return;
    error = errno;
  }
  ThrowErrno(error, from + " -> " + to);
}

void CreateDirectory(const std::string& path) {
  if (mkdir(path.c_str(), 0777) == 0) return;
  const int error = errno;
  if (error == EEXIST && DirectoryExists(path)) return;
  ThrowErrno(error, path);
}

void AppendToFile(const std::string& given_path, std::string_view bytes) {
  const std::string path = MatchFileNameCase(given_path);
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) ThrowErrno(errno, path);
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      const int error = written < 0 ? errno : EIO;
      close(fd);
      ThrowErrno(error, path);
    }
    done += static_cast<size_t>(written);
  }
  if (close(fd) != 0) ThrowErrno(errno, path);
}

namespace {

// The byte that ReplaceFileContent and ReadFileContent lock: the last one
// below the sharing byte, far beyond any content they handle.
constexpr uint64_t kContentLockOffset = File::kShareLockOffset - 1;
constexpr int kContentLockTries = 2000;  // 1 ms apart

// Holds the content lock of `file` for its lifetime when it could be taken.
class ContentLock {
 public:
  explicit ContentLock(File& file) : file_(file) {
    for (int attempt = 0; attempt < kContentLockTries; ++attempt) {
      if (file_.TryLock(kContentLockOffset, 1)) {
        held_ = true;
        return;
      }
      SleepMs(1);
    }
  }
  ~ContentLock() {
    if (held_) file_.Unlock(kContentLockOffset, 1);
  }
  ContentLock(const ContentLock&) = delete;
  ContentLock& operator=(const ContentLock&) = delete;

 private:
  File& file_;
  bool held_ = false;
};

// Replaces the file by a new one moved in under its name: for a file this
// process may not open for writing in a folder it may write (one another user
// made, say).
void ReplaceByRename(const std::string& given_path, std::string_view bytes) {
  const std::string path = MatchFileNameCase(given_path);
  const std::string fresh = path + "." + std::to_string(getpid()) + ".new";
  {
    auto file = File::Create(fresh, Share::kExclusive);
    file->WriteAt(0, bytes.data(), bytes.size());
  }
  if (rename(fresh.c_str(), path.c_str()) != 0) {
    const int error = errno;
    unlink(fresh.c_str());
    ThrowErrno(error, path);
  }
}

}  // namespace

void ReplaceFileContent(const std::string& path, std::string_view bytes) {
  std::unique_ptr<File> file;
  try {
    file = File::OpenOrCreate(path, Share::kShared);
  } catch (const OsError& error) {
    if (error.kind() != OsErrorKind::kAccessDenied) throw;
    ReplaceByRename(path, bytes);
    return;
  }
  ContentLock lock(*file);
  file->WriteAt(0, bytes.data(), bytes.size());
  file->Truncate(bytes.size());
}

std::string ReadFileContent(const std::string& path) {
  std::unique_ptr<File> file = File::Open(path, Access::kReadOnly, Share::kShared);
  // The lock is a write lock: a reader that may not write the file cannot
  // take it, and reads without.
  const std::optional<FileAttributes> attributes = GetFileAttributes(file->path());
  std::optional<ContentLock> lock;
  if (attributes && !attributes->read_only) lock.emplace(*file);
  std::string text(file->Size(), '\0');
  text.resize(file->ReadAt(0, text.data(), text.size()));
  return text;
}

std::string CurrentDirectory() {
  std::string buffer(256, '\0');
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) ThrowErrno(errno, "current directory");
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(buffer.find('\0'));
  return WithTrailingSlash(std::move(buffer));
}

void SyncParentDirectory(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  int fd;
  do {
    fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) ThrowErrno(errno, folder);
  const int result = fsync(fd);
  const int error = errno;
  close(fd);
  if (result != 0 && error != EINVAL) ThrowErrno(error, folder);
}

std::string TempDirectory() {
  const char* dir = std::getenv("TMPDIR");
  return WithTrailingSlash(dir != nullptr && *dir != '\0' ? dir : "/tmp");
}

}  // namespace platform
