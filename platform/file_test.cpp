#include "platform/file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

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
