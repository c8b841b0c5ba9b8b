#include "platform/file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace platform {
namespace {

// A fresh folder under the temporary directory, removed with its files.
class FileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = TempDirectory() + "platform_file_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern + "/";
  }
  void TearDown() override {
    std::string command = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  std::string Path(const std::string& name) const { return dir_ + name; }

  static void WriteText(File& file, uint64_t offset, const std::string& text) {
    file.WriteAt(offset, text.data(), text.size());
  }
  static std::string ReadText(File& file, uint64_t offset, size_t count) {
    std::string text(count, '\0');
    text.resize(file.ReadAt(offset, text.data(), count));
    return text;
  }

  std::string dir_;
};

OsErrorKind KindOfOpenFailure(const std::string& path, Access access, Share share) {
  try {
    File::Open(path, access, share);
  } catch (const OsError& error) {
    return error.kind();
  }
  ADD_FAILURE() << "open of " << path << " succeeded";
  return OsErrorKind::kOther;
}

TEST(OsErrorKindTest, MapsSystemErrors) {
  EXPECT_EQ(OsErrorKindFromErrno(ENOENT), OsErrorKind::kNotFound);
  EXPECT_EQ(OsErrorKindFromErrno(ENOTDIR), OsErrorKind::kNotFound);
  EXPECT_EQ(OsErrorKindFromErrno(EMFILE), OsErrorKind::kTooManyFiles);
  EXPECT_EQ(OsErrorKindFromErrno(ENFILE), OsErrorKind::kTooManyFiles);
  EXPECT_EQ(OsErrorKindFromErrno(EACCES), OsErrorKind::kAccessDenied);
  EXPECT_EQ(OsErrorKindFromErrno(EPERM), OsErrorKind::kAccessDenied);
  EXPECT_EQ(OsErrorKindFromErrno(EROFS), OsErrorKind::kAccessDenied);
  EXPECT_EQ(OsErrorKindFromErrno(EBADF), OsErrorKind::kBadHandle);
  EXPECT_EQ(OsErrorKindFromErrno(ENOMEM), OsErrorKind::kNoMemory);
  EXPECT_EQ(OsErrorKindFromErrno(ENODEV), OsErrorKind::kInvalidDrive);
  EXPECT_EQ(OsErrorKindFromErrno(ENXIO), OsErrorKind::kInvalidDrive);
  EXPECT_EQ(OsErrorKindFromErrno(EXDEV), OsErrorKind::kNotSameDevice);
  EXPECT_EQ(OsErrorKindFromErrno(ENOSPC), OsErrorKind::kOther);
  EXPECT_EQ(OsErrorKindFromErrno(EEXIST), OsErrorKind::kOther);
}

TEST_F(FileTest, OpenFailuresCarryTheirKind) {
  EXPECT_EQ(KindOfOpenFailure(Path("missing.DAT"), Access::kReadWrite, Share::kShared),
            OsErrorKind::kNotFound);
  EXPECT_EQ(KindOfOpenFailure(Path("nodir/x.DAT"), Access::kReadOnly, Share::kShared),
            OsErrorKind::kNotFound);
  // A folder is not a file, whatever the access asked for.
  EXPECT_EQ(KindOfOpenFailure(dir_, Access::kReadOnly, Share::kShared), OsErrorKind::kAccessDenied);
  try {
    File::Create(dir_, Share::kShared);
    ADD_FAILURE() << "created a file over a folder";
  } catch (const OsError& error) {
    EXPECT_EQ(error.kind(), OsErrorKind::kAccessDenied);
  }
}

TEST_F(FileTest, ExactNamesAreTakenAsGivenAndCarryNoSharingLock) {
  // Letter case counts: another case of the name is another (missing) file.
  {
    auto made = File::Create(Path("Case.JNL"), Share::kShared);
    WriteText(*made, 0, "abc");
  }
  EXPECT_EQ(ExactFileSize(Path("Case.JNL")), 3u);
  EXPECT_FALSE(ExactFileSize(Path("CASE.JNL")).has_value());
  EXPECT_FALSE(ExactFileSize(Path("nodir/Case.JNL")).has_value());
  try {
    File::OpenExact(Path("CASE.JNL"));
    ADD_FAILURE() << "opened another case of the name";
  } catch (const OsError& error) {
    EXPECT_EQ(error.kind(), OsErrorKind::kNotFound);
  }
  // An exclusive opener keeps out sharing openers, not these.
  auto exclusive = File::Open(Path("Case.JNL"), Access::kReadWrite, Share::kExclusive);
  auto exact = File::OpenExact(Path("Case.JNL"));
  EXPECT_EQ(ReadText(*exact, 0, 3), "abc");
  auto created = File::OpenOrCreateExact(Path("New.JNL"));
  EXPECT_EQ(ExactFileSize(Path("New.JNL")), 0u);
  WriteText(*created, 0, "xy");
  EXPECT_EQ(ReadText(*File::OpenOrCreateExact(Path("New.JNL")), 0, 2), "xy");  // kept, not cut
}

TEST_F(FileTest, ReadWriteTruncateAndSize) {
  auto file = File::Create(Path("a.DAT"), Share::kShared);
  EXPECT_FALSE(file->read_only());
  EXPECT_EQ(file->Size(), 0u);
  WriteText(*file, 0, "hello world");
  EXPECT_EQ(file->Size(), 11u);
  EXPECT_EQ(ReadText(*file, 6, 5), "world");
  // Short at the end of the file, empty beyond it.
  EXPECT_EQ(ReadText(*file, 6, 100), "world");
  EXPECT_EQ(ReadText(*file, 11, 10), "");
  EXPECT_EQ(ReadText(*file, 1000, 10), "");
  // Writing past the end leaves a zero-filled gap.
  WriteText(*file, 20, "x");
  EXPECT_EQ(file->Size(), 21u);
  EXPECT_EQ(ReadText(*file, 11, 10), std::string(9, '\0') + "x");
  file->Truncate(5);
  EXPECT_EQ(file->Size(), 5u);
  EXPECT_EQ(ReadText(*file, 0, 100), "hello");
  file->Truncate(8);
  EXPECT_EQ(ReadText(*file, 0, 100), std::string("hello\0\0\0", 8));
  file->Sync();
}

TEST_F(FileTest, DescriptorsCloseOnExec) {
  auto created = File::Create(Path("exec.DAT"), Share::kShared);
  auto opened = File::Open(Path("exec.DAT"), Access::kReadOnly, Share::kShared);
  char* resolved = realpath(Path("exec.DAT").c_str(), nullptr);
  ASSERT_NE(resolved, nullptr);
  const std::string real_path = resolved;
  free(resolved);
  int found = 0;
  for (int fd = 0; fd < 1024; ++fd) {
    char target[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = readlink(link.c_str(), target, sizeof(target) - 1);
    if (n <= 0 || std::string(target, static_cast<size_t>(n)) != real_path) continue;
    ++found;
    EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC) << "descriptor " << fd;
  }
  EXPECT_EQ(found, 2);
}

TEST_F(FileTest, CreateReplacesAndOpenSeesContents) {
  {
    auto file = File::Create(Path("b.DAT"), Share::kShared);
    WriteText(*file, 0, "old contents");
  }
  {
    auto file = File::Open(Path("b.DAT"), Access::kReadWrite, Share::kShared);
    EXPECT_EQ(ReadText(*file, 0, 100), "old contents");
  }
  auto file = File::Create(Path("b.DAT"), Share::kExclusive);
  EXPECT_EQ(file->Size(), 0u);
}

TEST_F(FileTest, NamesIgnoreLetterCaseAsTheEngineExpects) {
  {
    auto file = File::Create(Path("Banner.DAT"), Share::kShared);
    WriteText(*file, 0, "banner");
  }
  EXPECT_TRUE(FileExists(Path("banner.dat")));
  EXPECT_EQ(MatchFileNameCase(Path("BANNER.dat")), Path("Banner.DAT"));
  {
    auto file = File::Open(Path("banner.DAT"), Access::kReadWrite, Share::kShared);
    EXPECT_EQ(file->path(), Path("Banner.DAT"));
    EXPECT_EQ(ReadText(*file, 0, 100), "banner");
  }
  // Creating under another case replaces the file rather than adding a twin.
  File::Create(Path("BANNER.DAT"), Share::kShared);
  EXPECT_EQ(std::system(("test $(ls '" + dir_ + "' | wc -l) = 1").c_str()), 0);
  EXPECT_EQ(GetFileAttributes(Path("banner.dat"))->size, 0u);
  RenameFile(Path("banner.dat"), Path("Links.DAT"));
  EXPECT_TRUE(FileExists(Path("Links.DAT")));
  EXPECT_FALSE(FileExists(Path("Banner.DAT")));
  DeleteFile(Path("LINKS.DAT"));
  EXPECT_FALSE(FileExists(Path("Links.DAT")));
  // Windows-1252 letters fold too (Ä 0xC4 / ä 0xE4); a missing name stays as given.
  File::Create(Path("M\xC4rz.DAT"), Share::kShared);
  EXPECT_EQ(MatchFileNameCase(Path("m\xE4rz.dat")), Path("M\xC4rz.DAT"));
  EXPECT_EQ(MatchFileNameCase(Path("nothing.dat")), Path("nothing.dat"));
  EXPECT_EQ(KindOfOpenFailure(Path("nothing.dat"), Access::kReadOnly, Share::kShared),
            OsErrorKind::kNotFound);
}

TEST_F(FileTest, NamesDifferingOnlyInCaseAreNotGuessed) {
  File::Create(Path("a.DAT"), Share::kShared);
  File::Create(Path("A.dat"), Share::kShared);  // replaces a.DAT by its name
  EXPECT_TRUE(FileExists(Path("a.DAT")));
  // A twin made outside the engine: two candidates, neither is chosen.
  ASSERT_EQ(std::system(("touch '" + Path("A.DAT") + "'").c_str()), 0);
  EXPECT_EQ(MatchFileNameCase(Path("a.dat")), Path("a.dat"));
}

TEST_F(FileTest, ReadOnlyFileRefusesWrites) {
  { File::Create(Path("c.DAT"), Share::kShared)->WriteAt(0, "abc", 3); }
  auto file = File::Open(Path("c.DAT"), Access::kReadOnly, Share::kShared);
  EXPECT_TRUE(file->read_only());
  EXPECT_EQ(ReadText(*file, 0, 3), "abc");
  try {
    file->WriteAt(0, "x", 1);
    ADD_FAILURE() << "wrote through a read-only file";
  } catch (const OsError& error) {
    EXPECT_EQ(error.kind(), OsErrorKind::kAccessDenied);
  }
  EXPECT_THROW(file->Truncate(0), OsError);
  EXPECT_EQ(ReadText(*file, 0, 3), "abc");
  // A read-only opener still takes exclusive byte-range locks.
  EXPECT_TRUE(file->TryLock(0xFFFFFFFF, 1));
}

TEST_F(FileTest, ReadOnlyAttributeFollowsWriteBits) {
  const std::string path = Path("d.DAT");
  { File::Create(path, Share::kShared); }
  auto attributes = GetFileAttributes(path);
  ASSERT_TRUE(attributes.has_value());
  EXPECT_FALSE(attributes->read_only);
  EXPECT_FALSE(attributes->directory);
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  EXPECT_TRUE(GetFileAttributes(path)->read_only);
  // Without write permission a read-only open still works and locks ranges.
  auto file = File::Open(path, Access::kReadOnly, Share::kShared);
  EXPECT_TRUE(file->read_only());
}

TEST_F(FileTest, TemporaryFileVanishesOnClose) {
  const std::string path = Path("1234.DAT");
  {
    auto file = File::Create(path, Share::kExclusive, /*temporary=*/true);
    WriteText(*file, 0, "scratch");
    // The name stays taken while the file is open.
    EXPECT_TRUE(FileExists(path));
  }
  EXPECT_FALSE(FileExists(path));

  { File::Create(path, Share::kShared); }
  { File::Open(path, Access::kReadWrite, Share::kShared, /*temporary=*/true); }
  EXPECT_FALSE(FileExists(path));
}

TEST_F(FileTest, TemporaryFileNeverRemovesAnotherFileOfItsName) {
  const std::string path = Path("t.DAT");
  auto file = File::Create(path, Share::kShared, /*temporary=*/true);
  RenameFile(path, Path("moved.DAT"));
  { File::Create(path, Share::kShared)->WriteAt(0, "keep", 4); }
  file.reset();
  EXPECT_TRUE(FileExists(path));
  EXPECT_TRUE(FileExists(Path("moved.DAT")));
}

TEST_F(FileTest, ShareModesWithinOneProcess) {
  const std::string path = Path("e.DAT");
  { File::Create(path, Share::kShared); }
  {
    auto first = File::Open(path, Access::kReadWrite, Share::kShared);
    auto second = File::Open(path, Access::kReadOnly, Share::kShared);
    EXPECT_EQ(KindOfOpenFailure(path, Access::kReadWrite, Share::kExclusive),
              OsErrorKind::kAccessDenied);
  }
  auto exclusive = File::Open(path, Access::kReadWrite, Share::kExclusive);
  EXPECT_EQ(KindOfOpenFailure(path, Access::kReadOnly, Share::kShared), OsErrorKind::kAccessDenied);
  // Replacing a file that is in use fails and leaves it alone.
  WriteText(*exclusive, 0, "data");
  EXPECT_THROW(File::Create(path, Share::kShared), OsError);
  EXPECT_EQ(exclusive->Size(), 4u);
}

TEST_F(FileTest, AReadOnlyExclusiveOpenIsRefusedWhileAnotherOpenerHasTheFile) {
  // The read-write attempt meets the shared opener's sharing lock: that is a
  // sharing conflict, never a reason to try again with a read-only
  // descriptor (whose read lock would let the exclusive opener in).
  const std::string path = Path("busy.DAT");
  { File::Create(path, Share::kShared); }
  auto shared = File::Open(path, Access::kReadWrite, Share::kShared);
  EXPECT_EQ(KindOfOpenFailure(path, Access::kReadOnly, Share::kExclusive),
            OsErrorKind::kAccessDenied);
  EXPECT_EQ(KindOfOpenFailure(path, Access::kReadWriteWhenAllowed, Share::kExclusive),
            OsErrorKind::kAccessDenied);
}

TEST_F(FileTest, ReadWriteWhenAllowedFollowsThePermissionBitsAndReportsWhatTheOpenFound) {
  const std::string path = Path("Mixed.DAT");
  { File::Create(path, Share::kShared)->WriteAt(0, "12345", 5); }
  {
    auto file = File::Open(path, Access::kReadWriteWhenAllowed, Share::kShared);
    EXPECT_FALSE(file->read_only());
    EXPECT_TRUE(file->writable_descriptor());
    EXPECT_EQ(file->opened_identity().size, 5u);
    EXPECT_TRUE(file->opened_identity().SameFile(file->identity()));
    WriteText(*file, 5, "6");
  }
  // No write bit: read-only, whoever this process is (even one allowed to
  // write anyway), and the name is still found under another letter case.
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  auto file = File::Open(Path("MIXED.dat"), Access::kReadWriteWhenAllowed, Share::kShared);
  EXPECT_TRUE(file->read_only());
  EXPECT_EQ(file->path(), path);
  EXPECT_EQ(file->opened_identity().size, 6u);
  EXPECT_THROW(WriteText(*file, 0, "x"), OsError);
  EXPECT_EQ(ReadText(*file, 0, 10), "123456");
  EXPECT_EQ(KindOfOpenFailure(Path("mixed.none"), Access::kReadWriteWhenAllowed, Share::kShared),
            OsErrorKind::kNotFound);
  EXPECT_EQ(KindOfOpenFailure(dir_, Access::kReadWriteWhenAllowed, Share::kShared),
            OsErrorKind::kAccessDenied);
}

TEST_F(FileTest, SharingLockGivenUpLetsAnExclusiveOpenerInAndIsTakenBackLikeAnOpen) {
  const std::string path = Path("idle.DAT");
  { File::Create(path, Share::kShared); }
  auto idle = File::Open(path, Access::kReadWrite, Share::kShared);
  const FileIdentity before = idle->identity();
  idle->ReleaseShareLock();
  EXPECT_FALSE(idle->holds_share_lock());
  {
    auto exclusive = File::Open(path, Access::kReadWrite, Share::kExclusive);
    WriteText(*exclusive, 0, "new");
    try {
      idle->RetakeShareLock();
      ADD_FAILURE() << "taken back while held exclusively";
    } catch (const OsError& error) {
      EXPECT_EQ(error.kind(), OsErrorKind::kAccessDenied);
    }
    EXPECT_FALSE(idle->holds_share_lock());
  }
  idle->RetakeShareLock();
  EXPECT_TRUE(idle->holds_share_lock());
  EXPECT_EQ(KindOfOpenFailure(path, Access::kReadWrite, Share::kExclusive),
            OsErrorKind::kAccessDenied);
  // Same file, written since: identity equal, size and write time not.
  const std::optional<FileIdentity> now = GetFileIdentity(path);
  ASSERT_TRUE(now.has_value());
  EXPECT_TRUE(now->SameFile(before));
  EXPECT_EQ(now->size, 3u);
  EXPECT_FALSE(*now == before);
  // Replaced by rename: another file under the path.
  { File::Create(Path("other.DAT"), Share::kShared); }
  RenameFile(path, Path("moved.DAT"));
  RenameFile(Path("other.DAT"), path);
  EXPECT_FALSE(GetFileIdentity(path)->SameFile(idle->identity()));
  EXPECT_FALSE(GetFileIdentity(Path("nothing.DAT")).has_value());
  EXPECT_FALSE(ExactFileExists(Path("MOVED.DAT"))) << "no letter-case matching";
  EXPECT_TRUE(FileExists(Path("MOVED.DAT")));
}

TEST_F(FileTest, ExclusiveCreateOverAnExistingFileMakesANewFileUnlessItIsInUse) {
  const std::string path = Path("swap.DAT");
  {
    auto first = File::Create(path, Share::kShared);
    WriteText(*first, 0, "old contents");
  }
  chmod(path.c_str(), 0640);
  auto held = File::Open(path, Access::kReadWrite, Share::kShared);
  EXPECT_THROW(File::Create(path, Share::kExclusive), OsError) << "in use: left alone";
  EXPECT_EQ(held->Size(), 12u);
  held->ReleaseShareLock();  // still open, but no longer in use
  auto created = File::Create(path, Share::kExclusive);
  EXPECT_EQ(created->Size(), 0u);
  EXPECT_FALSE(created->identity().SameFile(held->identity()));
  EXPECT_TRUE(GetFileIdentity(path)->SameFile(created->identity()));
  EXPECT_EQ(held->Size(), 12u) << "the old file is untouched";
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(KindOfOpenFailure(path, Access::kReadWrite, Share::kShared),
            OsErrorKind::kAccessDenied);
  EXPECT_FALSE(FileExists(path + "." + std::to_string(getpid()) + ".new"));
}

TEST_F(FileTest, LocksDoNotNestOrMerge) {
  auto file = File::Create(Path("f.DAT"), Share::kShared);
  EXPECT_TRUE(file->TryLock(0xFFFEFFFF, 0x10000));
  EXPECT_FALSE(file->TryLock(0xFFFFFFFE, 1)) << "overlaps a range held here";
  EXPECT_TRUE(file->TryLock(0xFFFFFFFF, 1));
  // Only the exact range unlocks.
  EXPECT_FALSE(file->Unlock(0xFFFEFFFF, 0x10001));
  EXPECT_FALSE(file->Unlock(0xFFFFFFFE, 1));
  EXPECT_TRUE(file->Unlock(0xFFFEFFFF, 0x10000));
  EXPECT_FALSE(file->Unlock(0xFFFEFFFF, 0x10000)) << "released twice";
  EXPECT_TRUE(file->TryLock(0xFFFFFFFE, 1));
  EXPECT_TRUE(file->Unlock(0xFFFFFFFF, 1));
  EXPECT_TRUE(file->Unlock(0xFFFFFFFE, 1));
}

TEST_F(FileTest, LockRejectsInvalidRanges) {
  auto file = File::Create(Path("g.DAT"), Share::kShared);
  EXPECT_FALSE(file->TryLock(100, 0));
  EXPECT_FALSE(file->TryLock(File::kShareLockOffset, 1));
  EXPECT_FALSE(file->TryLock(File::kShareLockOffset - 1, 2));
  EXPECT_FALSE(file->TryLock(UINT64_MAX, 1));
  EXPECT_FALSE(file->TryLock(1, UINT64_MAX));
  EXPECT_FALSE(file->Unlock(File::kShareLockOffset, 1));
  EXPECT_TRUE(file->TryLock(File::kShareLockOffset - 1, 1));
  EXPECT_TRUE(file->TryLock(File::kShareLockOffset + 1, 1));
  // The sharing lock is untouched by all this.
  EXPECT_EQ(KindOfOpenFailure(Path("g.DAT"), Access::kReadWrite, Share::kExclusive),
            OsErrorKind::kAccessDenied);
}

TEST_F(FileTest, FolderOperations) {
  const std::string sub = Path("sub");
  EXPECT_FALSE(DirectoryExists(sub));
  CreateDirectory(sub);
  CreateDirectory(sub);  // exists already: fine
  EXPECT_TRUE(DirectoryExists(sub));
  EXPECT_FALSE(FileExists(sub));
  EXPECT_TRUE(GetFileAttributes(sub)->directory);
  EXPECT_FALSE(GetFileAttributes(Path("none")).has_value());
  EXPECT_FALSE(GetFileAttributes(Path("none/deeper")).has_value());

  { File::Create(Path("h.DAT"), Share::kShared)->WriteAt(0, "12345", 5); }
  EXPECT_EQ(GetFileAttributes(Path("h.DAT"))->size, 5u);
  EXPECT_TRUE(FileExists(Path("h.DAT")));
  RenameFile(Path("h.DAT"), Path("sub/i.DAT"));
  EXPECT_FALSE(FileExists(Path("h.DAT")));
  EXPECT_TRUE(FileExists(Path("sub/i.DAT")));

  // A rename never replaces an existing file.
  { File::Create(Path("j.DAT"), Share::kShared); }
  try {
    RenameFile(Path("j.DAT"), Path("sub/i.DAT"));
    ADD_FAILURE() << "rename replaced a file";
  } catch (const OsError& error) {
    EXPECT_EQ(error.errno_value(), EEXIST);
  }
  EXPECT_EQ(GetFileAttributes(Path("sub/i.DAT"))->size, 5u);

  DeleteFile(Path("j.DAT"));
  EXPECT_FALSE(FileExists(Path("j.DAT")));
  try {
    DeleteFile(Path("j.DAT"));
    ADD_FAILURE() << "deleted a missing file";
  } catch (const OsError& error) {
    EXPECT_EQ(error.kind(), OsErrorKind::kNotFound);
  }
  EXPECT_THROW(CreateDirectory(Path("none/deeper")), OsError);
}

// A forked process running `body`, its exit code the body's result. Parent
// and child exchange single-character messages over two pipes, so that each
// step of a test happens in a known order.
class Child {
 public:
  explicit Child(const std::function<int(Child&)>& body) {
    int down[2], up[2];
    if (pipe(down) != 0 || pipe(up) != 0) std::abort();
    pid_ = fork();
    if (pid_ < 0) std::abort();
    if (pid_ == 0) {
      close(down[1]);
      close(up[0]);
      in_ = down[0];
      out_ = up[1];
      int result;
      try {
        result = body(*this);
      } catch (...) {
        result = 99;
      }
      _exit(result);
    }
    close(down[0]);
    close(up[1]);
    in_ = up[0];
    out_ = down[1];
  }
  ~Child() {
    if (pid_ > 0) Wait();
    close(in_);
    close(out_);
  }

  void Send(char message) {
    if (write(out_, &message, 1) != 1) std::abort();
  }
  // The next message; '\0' when the other side has gone or stays silent far
  // longer than any step takes (so that a broken test fails, not hangs).
  char Receive() {
    pollfd fd{in_, POLLIN, 0};
    if (poll(&fd, 1, 30000) != 1) return '\0';
    char message = '\0';
    return read(in_, &message, 1) == 1 ? message : '\0';
  }
  // The child's exit code; -1 when it did not exit normally.
  int Wait() {
    int status = 0;
    const pid_t pid = pid_;
    pid_ = -1;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
};

// Exit codes of a child's open attempt.
constexpr int kOpened = 0;
int OpenResult(const std::function<void()>& open) {
  try {
    open();
    return kOpened;
  } catch (const OsError& error) {
    return 10 + static_cast<int>(error.kind());
  }
}
constexpr int kDenied = 10 + static_cast<int>(OsErrorKind::kAccessDenied);

constexpr uint64_t kMutex = 0xFFFFFFFF;
constexpr uint64_t kWriteRegion = 0xFFFEFFFF;
constexpr uint64_t kWriteRegionLength = 0x10000;

TEST_F(FileTest, LockHeldByAnotherProcessUntilReleased) {
  const std::string path = Path("lock.DAT");
  { File::Create(path, Share::kShared); }
  auto file = File::Open(path, Access::kReadWrite, Share::kShared);

  Child child([&](Child& self) {
    auto mine = File::Open(path, Access::kReadWrite, Share::kShared);
    if (!mine->TryLock(kMutex, 1) || !mine->TryLock(kMutex - 7, 1)) return 1;
    self.Send('L');
    if (self.Receive() != 'U') return 2;
    if (!mine->Unlock(kMutex, 1)) return 3;
    self.Send('R');
    if (self.Receive() != 'C') return 4;
    // Now the parent holds the byte.
    if (mine->TryLock(kMutex, 1)) return 5;
    return 0;
  });
  ASSERT_EQ(child.Receive(), 'L');
  EXPECT_FALSE(file->TryLock(kMutex, 1));
  EXPECT_FALSE(file->TryLock(kMutex - 7, 1));
  EXPECT_FALSE(file->TryLock(kMutex - 10, 5)) << "a range over a held byte";
  // Neighbouring bytes and a write region that ends just before are free.
  EXPECT_TRUE(file->TryLock(kMutex - 6, 1));
  EXPECT_TRUE(file->TryLock(kMutex - 8, 1));
  EXPECT_FALSE(file->TryLock(kWriteRegion, kWriteRegionLength)) << "covers byte -7";
  child.Send('U');
  ASSERT_EQ(child.Receive(), 'R');
  EXPECT_TRUE(file->TryLock(kMutex, 1));
  EXPECT_FALSE(file->TryLock(kMutex - 7, 1)) << "still held there";
  child.Send('C');
  EXPECT_EQ(child.Wait(), 0);
  // The child has gone, and its locks with it.
  EXPECT_TRUE(file->TryLock(kMutex - 7, 1));
}

TEST_F(FileTest, ReadSlotsCoexistAndTheWriteRegionExcludesThem) {
  const std::string path = Path("slots.IDX");
  { File::Create(path, Share::kShared); }
  auto file = File::Open(path, Access::kReadOnly, Share::kShared);
  ASSERT_TRUE(file->TryLock(0xFFFFFFFF - 1, 1));  // read slot 1

  Child child([&](Child&) {
    auto mine = File::Open(path, Access::kReadOnly, Share::kShared);
    if (!mine->TryLock(0xFFFFFFFF - 65535, 1)) return 1;  // slot 65535
    if (mine->TryLock(0xFFFFFFFF - 1, 1)) return 2;       // the parent's slot
    if (mine->TryLock(kWriteRegion, kWriteRegionLength)) return 3;
    if (!mine->Unlock(0xFFFFFFFF - 65535, 1)) return 4;
    return 0;
  });
  EXPECT_EQ(child.Wait(), 0);
  ASSERT_TRUE(file->Unlock(0xFFFFFFFF - 1, 1));
  Child writer([&](Child&) {
    auto mine = File::Open(path, Access::kReadWrite, Share::kShared);
    return mine->TryLock(kWriteRegion, kWriteRegionLength) ? 0 : 1;
  });
  EXPECT_EQ(writer.Wait(), 0);
}

TEST_F(FileTest, LocksOfTwoFilesInOneProcessConflict) {
  const std::string path = Path("two.DAT");
  { File::Create(path, Share::kShared); }
  auto first = File::Open(path, Access::kReadWrite, Share::kShared);
  auto second = File::Open(path, Access::kReadWrite, Share::kShared);
  ASSERT_TRUE(first->TryLock(kMutex, 1));
  EXPECT_FALSE(second->TryLock(kMutex, 1));
  EXPECT_FALSE(second->Unlock(kMutex, 1)) << "not held through this File";
  EXPECT_FALSE(second->TryLock(kMutex, 1));
  ASSERT_TRUE(first->Unlock(kMutex, 1));
  EXPECT_TRUE(second->TryLock(kMutex, 1));
  EXPECT_FALSE(first->TryLock(kMutex, 1));
}

TEST_F(FileTest, ClosingAnotherDescriptorKeepsTheLock) {
  const std::string path = Path("keep.DAT");
  { File::Create(path, Share::kShared); }
  auto holder = File::Open(path, Access::kReadWrite, Share::kShared);
  ASSERT_TRUE(holder->TryLock(kMutex, 1));
  {
    // Another descriptor of the same file in the same process, opened and
    // closed: with classic process-wide record locks this would drop the lock.
    auto other = File::Open(path, Access::kReadOnly, Share::kShared);
    std::string bytes(4, '\0');
    other->ReadAt(0, bytes.data(), bytes.size());
  }
  Child child([&](Child&) {
    auto mine = File::Open(path, Access::kReadWrite, Share::kShared);
    return mine->TryLock(kMutex, 1) ? 1 : 0;
  });
  EXPECT_EQ(child.Wait(), 0) << "the lock was lost";
  // The sharing lock survived as well: an exclusive open still fails.
  Child exclusive([&](Child&) {
    return OpenResult([&] { File::Open(path, Access::kReadWrite, Share::kExclusive); });
  });
  EXPECT_EQ(exclusive.Wait(), kDenied);
}

TEST_F(FileTest, ExclusiveOpenKeepsOtherProcessesOut) {
  const std::string path = Path("excl.DAT");
  { File::Create(path, Share::kShared)->WriteAt(0, "payload", 7); }
  auto exclusive = File::Open(path, Access::kReadWrite, Share::kExclusive);

  Child shared_open([&](Child&) {
    return OpenResult([&] { File::Open(path, Access::kReadOnly, Share::kShared); });
  });
  EXPECT_EQ(shared_open.Wait(), kDenied);
  Child exclusive_open([&](Child&) {
    return OpenResult([&] { File::Open(path, Access::kReadWrite, Share::kExclusive); });
  });
  EXPECT_EQ(exclusive_open.Wait(), kDenied);
  Child create([&](Child&) { return OpenResult([&] { File::Create(path, Share::kShared); }); });
  EXPECT_EQ(create.Wait(), kDenied);
  EXPECT_EQ(ReadText(*exclusive, 0, 100), "payload") << "a failed create cut the file";

  exclusive.reset();
  Child after([&](Child&) {
    return OpenResult([&] { File::Open(path, Access::kReadWrite, Share::kExclusive); });
  });
  EXPECT_EQ(after.Wait(), kOpened);
}

TEST_F(FileTest, SharedOpensCoexistAcrossProcesses) {
  const std::string path = Path("shared.DAT");
  { File::Create(path, Share::kShared); }
  auto file = File::Open(path, Access::kReadWrite, Share::kShared);

  Child child([&](Child& self) {
    auto mine = File::Open(path, Access::kReadWrite, Share::kShared);
    mine->WriteAt(0, "from child", 10);
    self.Send('W');
    if (self.Receive() != 'D') return 1;
    return 0;
  });
  ASSERT_EQ(child.Receive(), 'W');
  // Written by the other process, read here at once.
  EXPECT_EQ(ReadText(*file, 0, 100), "from child");
  // While both have it open, nobody gets exclusive use.
  EXPECT_EQ(KindOfOpenFailure(path, Access::kReadWrite, Share::kExclusive),
            OsErrorKind::kAccessDenied);
  file.reset();
  EXPECT_EQ(KindOfOpenFailure(path, Access::kReadWrite, Share::kExclusive),
            OsErrorKind::kAccessDenied)
      << "the child still has it open";
  child.Send('D');
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_NO_THROW(File::Open(path, Access::kReadWrite, Share::kExclusive));
}

TEST_F(FileTest, TemporaryFilesGoWhenTheirProcessExits) {
  const std::string parents = Path("parent.tmp");
  auto parent_file = File::Create(parents, Share::kExclusive, /*temporary=*/true);
  const std::string childs = Path("child.tmp");
  Child child([&](Child&) {
    // Still open at a normal exit: removed then. The parent's temporary file,
    // inherited in the fork, is not this process's to remove.
    auto file = File::Create(childs, Share::kExclusive, /*temporary=*/true).release();
    (void)file;
    std::exit(FileExists(childs) ? 0 : 1);
    return 2;
  });
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_FALSE(FileExists(childs));
  EXPECT_TRUE(FileExists(parents));
  parent_file.reset();
  EXPECT_FALSE(FileExists(parents));
}

TEST_F(FileTest, AppendCreatesOnceAndNeverOverwrites) {
  const std::string path = Path("log.txt");
  AppendToFile(path, "first\r\n");
  AppendToFile(path, "");
  AppendToFile(path, "second\r\n");
  auto file = File::Open(path, Access::kReadOnly, Share::kShared);
  EXPECT_EQ(ReadText(*file, 0, 100), "first\r\nsecond\r\n");
  file.reset();

  // Four processes appending 200 lines each lose none of them.
  std::vector<pid_t> children;
  for (int c = 0; c < 4; ++c) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (int i = 0; i < 200; ++i)
        AppendToFile(path, std::string(40, static_cast<char>('a' + c)) + "\n");
      _exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(status, 0);
  }
  EXPECT_EQ(GetFileAttributes(path)->size, 15u + 4u * 200u * 41u);

  EXPECT_THROW(AppendToFile(Path("missing/log.txt"), "x"), OsError);
}

TEST_F(FileTest, ReplacedContentIsNeverAMix) {
  const std::string path = Path("last.req");
  ReplaceFileContent(path, "Site=first and a longer line\r\n");
  ReplaceFileContent(path, "Site=first\r\n");  // in place: the old tail is cut
  auto file = File::Open(path, Access::kReadOnly, Share::kShared);
  EXPECT_EQ(ReadText(*file, 0, 100), "Site=first\r\n");
  file.reset();
  EXPECT_EQ(ReadFileContent(path), "Site=first\r\n");

  // Writers of a long and a short content race a reader: every read is one
  // of the two contents whole.
  const std::string long_text(5000, 'L'), short_text = "S";
  std::vector<pid_t> writers;
  for (const std::string* text : {&long_text, &short_text}) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (int i = 0; i < 300; ++i) ReplaceFileContent(path, *text);
      _exit(0);
    }
    writers.push_back(pid);
  }
  int mixed = 0;
  for (int i = 0; i < 300; ++i) {
    const std::string seen = ReadFileContent(path);
    if (seen != long_text && seen != short_text && seen != "Site=first\r\n") ++mixed;
  }
  for (pid_t pid : writers) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(status, 0);
  }
  EXPECT_EQ(mixed, 0);
  EXPECT_THROW(ReplaceFileContent(Path("missing/last.req"), "x"), OsError);
}

TEST_F(FileTest, ARecordingThisProcessMayNotWriteIsReplacedThroughItsFolder) {
  if (geteuid() == 0) GTEST_SKIP() << "permission bits do not bind the superuser";
  const std::string path = Path("made-by-another.req");
  ReplaceFileContent(path, "Site=an older and longer line\r\n");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  ReplaceFileContent(path, "Site=new\r\n");
  EXPECT_EQ(ReadFileContent(path), "Site=new\r\n");
}

TEST(DirectoryTest, CurrentAndTemporaryEndWithSlash) {
  const std::string current = CurrentDirectory();
  ASSERT_FALSE(current.empty());
  EXPECT_EQ(current.back(), '/');
  EXPECT_TRUE(DirectoryExists(current));

  const char* saved = std::getenv("TMPDIR");
  const std::string saved_value = saved ? saved : "";
  setenv("TMPDIR", "/var/tmp", 1);
  EXPECT_EQ(TempDirectory(), "/var/tmp/");
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(TempDirectory(), "/tmp/");
  unsetenv("TMPDIR");
  EXPECT_EQ(TempDirectory(), "/tmp/");
  if (saved) setenv("TMPDIR", saved_value.c_str(), 1);
}

}  // namespace
}  // namespace platform

namespace platform {
namespace {

TEST_F(FileTest, AnArmedCrashEndsTheProcessAtItsNthOperationWithAHalfWrite) {
  const std::string path = Path("crash");
  const pid_t child = fork();
  if (child == 0) {
    auto file = File::Create(path, Share::kShared);
    ArmFileCrash(3);
    file->WriteAt(0, "abcd", 4);  // 1
    file->Sync();                 // 2
    file->WriteAt(4, "efgh", 4);  // 3: only "ef" arrives
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kFileCrashExitCode);
  auto file = File::Open(path, Access::kReadOnly, Share::kShared);
  std::string text(16, '\0');
  text.resize(file->ReadAt(0, text.data(), text.size()));
  EXPECT_EQ(text, "abcdef");
  // Disarmed, operations are only counted.
  DisarmFileCrash();
  const uint64_t before = FileOperationsCounted();
  auto other = File::Create(Path("other"), Share::kShared);
  other->WriteAt(0, "x", 1);
  other->Truncate(0);
  EXPECT_EQ(FileOperationsCounted(), before + 2);
}

}  // namespace
}  // namespace platform
