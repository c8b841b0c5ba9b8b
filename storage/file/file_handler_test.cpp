#include "storage/file/file_handler.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "storage/engine_error.h"
#include "storage/file/file_list.h"
#include "storage/file/memory_file.h"
#include "storage/file/os_error_map.h"
#include "storage/test_process.h"
#include "storage/test_temp_dir.h"

namespace strata {
namespace {

// The engine error a call raises: its code, 0 when it raised nothing.
uint16_t CodeOf(const std::function<void()>& call, std::string* message = nullptr) {
  try {
    call();
  } catch (const EStrataEngineError& error) {
    if (message) *message = error.what();
    return error.Code;
  }
  return 0;
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadAll(TFileHandler& file) {
  std::string bytes(static_cast<size_t>(file.Size()), '\0');
  file.ReadAt(0, bytes.data(), bytes.size());
  return bytes;
}

class FileLayer : public ::testing::Test {
 protected:
  testing::TTempDir temp_;
};

// --- one shared file object per file per process --------------------------

TEST_F(FileLayer, SizeFitsTriesTheSizeTheOpenFoundThenTheSizeNow) {
  const std::string path = temp_.File("Grow.DAT");
  WriteText(path, "abcd");
  TFileHandler first, second;
  first.OpenFile(path, false, false, false);
  second.OpenFile(path, false, false, false);  // shares the open file
  // Another writer grows the file behind both openers' backs.
  std::ofstream(path, std::ios::binary | std::ios::app) << "efgh";
  auto is = [](uint64_t expected) { return [=](uint64_t size) { return size == expected; }; };
  EXPECT_TRUE(first.SizeFits(is(4))) << "the size the open found";
  EXPECT_TRUE(first.SizeFits(is(8))) << "the size now, when the other does not fit";
  EXPECT_FALSE(first.SizeFits(is(5)));
  EXPECT_FALSE(second.SizeFits(is(4))) << "a shared opener knows only the size now";
  EXPECT_TRUE(second.SizeFits(is(8)));
  second.TakeSizeAtOpen(first);
  EXPECT_TRUE(second.SizeFits(is(4)));
  // A write through the handler ends what its open found.
  first.WriteAt(8, "i", 1);
  EXPECT_FALSE(first.SizeFits(is(4)));
  EXPECT_TRUE(first.SizeFits(is(9)));
  first.CloseFile();
  second.CloseFile();
  TFileHandler again;
  again.OpenFile(path, false, false, false);
  EXPECT_TRUE(again.SizeFits(is(9)));
  EXPECT_FALSE(again.SizeFits(is(4)));
}

TEST_F(FileLayer, IdleOpenersGiveTheFileUpToExclusiveUseDeletionAndNewOpeners) {
  const std::string path = temp_.File("Idle.DAT");
  WriteText(path, "abc");
  TFileHandler idle, second;
  idle.OpenFile(path, false, false, false);
  second.OpenFile(path, false, false, false);
  idle.Suspend();
  EXPECT_EQ(CodeOf([&] { TFileHandler().OpenFile(path, false, true, false); }), STRATA_OSEACCES)
      << "another opener is still active";
  second.CloseFile();
  EXPECT_FALSE(TFileList::Instance().IsOpen(path, false));
  {
    // Only idle openers: an exclusive opener gets the file (a handle of its own).
    TFileHandler exclusive;
    exclusive.OpenFile(path, false, true, false);
    EXPECT_EQ(CodeOf([&] { idle.Resume(); }), STRATA_OSEACCES) << "taken back as an open would";
  }
  idle.Resume();
  EXPECT_TRUE(idle.StillAtPath());
  EXPECT_EQ(ReadAll(idle), "abc");
  // Idle again: the file may be deleted and made anew; new openers get the new one.
  idle.Suspend();
  TFileHandler::DeleteFile(path, false);
  EXPECT_FALSE(TFileHandler::FileExists(path, false)) << "the idle opener does not vouch";
  WriteText(path, "new");
  TFileHandler fresh;
  fresh.OpenFile(path, false, false, false);
  EXPECT_EQ(ReadAll(fresh), "new");
  idle.Resume();
  EXPECT_FALSE(idle.StillAtPath());
  EXPECT_FALSE(idle.PathStamp()->SameFile(idle.Stamp()));
  EXPECT_TRUE(fresh.StillAtPath());
}

TEST_F(FileLayer, OpenersShareOneFileButKeepTheirOwnPositions) {
  const std::string path = temp_.File("T.DAT");
  WriteText(path, "abcdefghij");
  TFileHandler a, b;
  a.OpenFile(path, false, false, false);
  b.OpenFile(path, false, false, false);
  EXPECT_EQ(TFileList::Instance().Count(false), 1u);
  EXPECT_NE(a.HandleNumber(), b.HandleNumber());

  char buffer[4] = {};
  a.Seek(0, 6);
  b.Seek(0, 2);
  a.Read(buffer, 3);
  EXPECT_EQ(std::string(buffer, 3), "ghi");
  b.Read(buffer, 2);
  EXPECT_EQ(std::string(buffer, 2), "cd");
  EXPECT_EQ(a.Seek(1, 0), 9u);  // each position advanced by its own reads
  EXPECT_EQ(b.Seek(1, 0), 4u);
  EXPECT_EQ(a.Seek(2, -1), 9u);  // from the end

  // A write through one opener is seen by the other at once.
  b.Seek(0, 0);
  b.Write("XY", 2);
  a.Seek(0, 0);
  a.Read(buffer, 2);
  EXPECT_EQ(std::string(buffer, 2), "XY");

  a.CloseFile();
  EXPECT_EQ(TFileList::Instance().Count(false), 1u);  // b still has it
  b.CloseFile();
  EXPECT_EQ(TFileList::Instance().Count(false), 0u);
}

TEST_F(FileLayer, PathsMatchTrimmedAndIgnoringCase) {
  const std::string path = temp_.File("Case.DAT");
  WriteText(path, "x");
  TFileHandler a, b;
  a.OpenFile(path, false, false, false);
  std::string other = "  " + path + " ";
  other.replace(other.size() - 9, 4, "case");  // ".../case.DAT "
  b.OpenFile(other, false, false, false);
  EXPECT_EQ(TFileList::Instance().Count(false), 1u);
  EXPECT_TRUE(SameFilePath("  /A/b.dat", "/a/B.DAT "));
  EXPECT_FALSE(SameFilePath("/a/b.dat", "/a/b.da"));
  EXPECT_TRUE(SameFilePath(" \t\r\n", ""));
  EXPECT_FALSE(SameFilePath(" /a/b.dat\t", "/a/c.dat"));
}

TEST_F(FileLayer, SeekReadWriteAndTruncateAtThePosition) {
  const std::string path = temp_.File("Pos.DAT");
  TFileHandler file;
  file.CreateFile(path, false);
  file.Write("0123456789", 10);
  EXPECT_EQ(file.Size(), 10u);
  file.Seek(0, 4);
  file.Write(nullptr, 0);  // a write of 0 bytes truncates here
  EXPECT_EQ(file.Size(), 4u);
  EXPECT_EQ(CodeOf([&] { file.Seek(1, -5); }), STRATA_OSUNKNOWN);  // before the start

  char buffer[8];
  file.Seek(0, 2);
  EXPECT_EQ(CodeOf([&] { file.Read(buffer, 8); }), STRATA_READERR);  // short read
  file.Seek(0, 2);
  EXPECT_EQ(file.Read(buffer, 8, true), 2u);
  EXPECT_EQ(CodeOf([&] { file.ReadAt(3, buffer, 2); }), STRATA_READERR);
  EXPECT_EQ(file.ReadAt(3, buffer, 2, true), 1u);
}

// --- exclusive use and creation --------------------------------------------

TEST_F(FileLayer, ExclusiveRulesInsideTheProcess) {
  const std::string path = temp_.File("Ex.DAT");
  WriteText(path, "data");
  {
    TFileHandler a, b;
    a.OpenFile(path, false, true, false);
    EXPECT_TRUE(a.Exclusive());
    EXPECT_EQ(CodeOf([&] { b.OpenFile(path, false, false, false); }), STRATA_OSEACCES);
    EXPECT_EQ(CodeOf([&] { b.OpenFile(path, false, true, false); }), STRATA_OSEACCES);
    EXPECT_FALSE(b.IsOpen());
  }
  {
    TFileHandler a, b;
    a.OpenFile(path, false, false, false);
    EXPECT_EQ(CodeOf([&] { b.OpenFile(path, false, true, false); }), STRATA_OSEACCES);
    // Creating a file this process has open is refused, the contents stay.
    EXPECT_EQ(CodeOf([&] { b.CreateFile(path, false); }), STRATA_OSEACCES);
    EXPECT_EQ(ReadAll(a), "data");
  }
  // With every opener gone exclusive use is granted again.
  TFileHandler c;
  c.OpenFile(path, false, true, false);
  EXPECT_TRUE(c.IsOpen());
}

TEST_F(FileLayer, ExclusiveOpenKeepsAnotherProcessOut) {
  const std::string path = temp_.File("Proc.DAT");
  WriteText(path, "data");
  TFileHandler holder;
  EXPECT_TRUE(testing::RunInChildAfter([&] { holder.OpenFile(path, false, true, false); },
                                       [&] {
                                         TFileHandler other;
                                         return CodeOf([&] {
                                                  other.OpenFile(path, false, false, false);
                                                }) == STRATA_OSEACCES;
                                       }));
  holder.CloseFile();

  // And a shared opener elsewhere keeps an exclusive opener here out.
  TFileHandler shared;
  EXPECT_TRUE(testing::RunInChildAfter(
      [&] { shared.OpenFile(path, false, false, false); },
      [&] {
        TFileHandler other;
        if (CodeOf([&] { other.OpenFile(path, false, true, false); }) != STRATA_OSEACCES) {
          return false;
        }
        other.OpenFile(path, false, false, false);  // shared is fine
        return other.IsOpen();
      }));
}

TEST_F(FileLayer, CreateReplacesTheContents) {
  const std::string path = temp_.File("New.DAT");
  WriteText(path, "old contents");
  TFileHandler file;
  file.CreateFile(path, false);
  EXPECT_EQ(file.Size(), 0u);
  EXPECT_FALSE(file.ReadOnly());
}

// --- opening: attributes, read-only, errors ---------------------------------

TEST_F(FileLayer, MissingFileGives11010NamingTheTable) {
  TFileHandler file;
  file.SetTableName("Banner");
  std::string message;
  EXPECT_EQ(CodeOf([&] { file.OpenFile(temp_.File("Banner.DAT"), false, false, false); }, &message),
            STRATA_OSENOENT);
  EXPECT_EQ(message, "Strata Engine Error # 11010 Table 'Banner' does not exist");
  EXPECT_EQ(LastErrorContext().table, "Banner");

  // Without a table name the file's name is given.
  TFileHandler unnamed;
  const std::string path = temp_.File("None.DAT");
  EXPECT_EQ(CodeOf([&] { unnamed.OpenFile(path, false, false, false); }, &message),
            STRATA_OSENOENT);
  EXPECT_NE(message.find(path), std::string::npos);
}

TEST_F(FileLayer, ReadOnlyAttributeOpensReadOnly) {
  const std::string path = temp_.File("Ro.DAT");
  WriteText(path, "fixed");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  TFileHandler file;
  file.OpenFile(path, false, false, false);  // read-write asked
  EXPECT_TRUE(file.ReadOnly());
  EXPECT_TRUE(file.ReadOnlyByAttribute());
  EXPECT_EQ(CodeOf([&] { file.WriteAt(0, "x", 1); }), STRATA_OSEACCES);
  EXPECT_EQ(ReadAll(file), "fixed");
}

TEST_F(FileLayer, ReadOnlyOpenerCannotWrite) {
  const std::string path = temp_.File("RoOpen.DAT");
  WriteText(path, "abc");
  TFileHandler writer, reader;
  reader.OpenFile(path, false, false, true);   // the first opener only reads ...
  writer.OpenFile(path, false, false, false);  // ... yet a later one can write
  EXPECT_FALSE(writer.ReadOnly());
  EXPECT_TRUE(reader.ReadOnly());
  EXPECT_FALSE(reader.ReadOnlyByAttribute());
  EXPECT_EQ(CodeOf([&] { reader.Truncate(0); }), STRATA_OSEACCES);
  writer.WriteAt(3, "d", 1);
  EXPECT_EQ(ReadAll(reader), "abcd");
}

TEST_F(FileLayer, ClosedHandlerGives11014) {
  TFileHandler file;
  char c;
  EXPECT_EQ(CodeOf([&] { file.ReadAt(0, &c, 1); }), STRATA_OSEBADF);
}

TEST_F(FileLayer, TemporaryFileIsRemovedWithItsLastOpener) {
  const std::string path = temp_.File("Tmp.DAT");
  {
    TFileHandler file;
    file.CreateFile(path, false, false, true);
    file.WriteAt(0, "t", 1);
    EXPECT_TRUE(TFileHandler::FileExists(path, false));
  }
  EXPECT_FALSE(TFileHandler::FileExists(path, false));
}

TEST_F(FileLayer, DeleteAndRenameRefuseOpenFiles) {
  const std::string path = temp_.File("Del.DAT");
  const std::string renamed = temp_.File("Moved.DAT");
  WriteText(path, "d");
  {
    TFileHandler file;
    file.OpenFile(path, false, false, false);
    EXPECT_EQ(CodeOf([&] { TFileHandler::DeleteFile(path, false); }), STRATA_OSEACCES);
    EXPECT_EQ(CodeOf([&] { TFileHandler::RenameFile(path, renamed, false); }), STRATA_OSEACCES);
  }
  TFileHandler::RenameFile(path, renamed, false);
  EXPECT_FALSE(TFileHandler::FileExists(path, false));
  TFileHandler::DeleteFile(renamed, false);
  EXPECT_FALSE(TFileHandler::FileExists(renamed, false));
  EXPECT_EQ(CodeOf([&] { TFileHandler::DeleteFile(renamed, false); }), STRATA_OSENOENT);
}

TEST_F(FileLayer, LocksFarBeyondTheDataAreSharedByTheHandle) {
  const std::string path = temp_.File("Lock.DAT");
  WriteText(path, "x");
  TFileHandler a, b;
  a.OpenFile(path, false, false, false);
  b.OpenFile(path, false, false, false);
  EXPECT_TRUE(a.Lock(0xFFFFFFFFull, 1));
  EXPECT_FALSE(b.Lock(0xFFFFFFFFull, 1));  // one handle: the byte cannot be taken twice
  EXPECT_TRUE(b.Lock(0xFFFEFFFFull, 0x10000 - 1));
  EXPECT_TRUE(a.Unlock(0xFFFFFFFFull, 1));
  EXPECT_FALSE(a.Unlock(0xFFFFFFFFull, 1));
  EXPECT_TRUE(b.Unlock(0xFFFEFFFFull, 0x10000 - 1));

  a.CloseFile();
  b.CloseFile();

  // Another process sees a lock taken through the shared handle (the child
  // starts before the file is opened here, so it has a handle of its own).
  TFileHandler c;
  EXPECT_TRUE(testing::RunInChildAfter(
      [&] {
        c.OpenFile(path, false, false, false);
        ASSERT_TRUE(c.Lock(0xFFFFFFF0ull, 1));
      },
      [&] {
        TFileHandler other;
        other.OpenFile(path, false, false, false);
        return !other.Lock(0xFFFFFFF0ull, 1) && other.Lock(0xFFFFFFF1ull, 1);
      }));
  EXPECT_TRUE(c.Unlock(0xFFFFFFF0ull, 1));
}

// --- memory files ------------------------------------------------------------

TEST_F(FileLayer, MemoryFileLocksRefuseOverlapsAndReleaseOnlyExactRanges) {
  TFileHandler file;
  file.CreateFile("mem/Locks.DAT", true);
  EXPECT_TRUE(file.Lock(0xFFFEFFFFull, 0x10000));
  EXPECT_FALSE(file.Lock(0xFFFFFFFEull, 1));     // inside the held range
  EXPECT_FALSE(file.Lock(0xFFFEFFF0ull, 0x10));  // touches its first byte
  EXPECT_TRUE(file.Lock(0xFFFEFFF0ull, 0xF));    // ends just before it
  EXPECT_TRUE(file.Lock(0xFFFFFFFFull, 1));      // just after it
  EXPECT_FALSE(file.Unlock(0xFFFEFFFFull, 1));   // not an exact match
  EXPECT_FALSE(file.Unlock(0xFFFF0000ull, 0xFFFF));
  EXPECT_TRUE(file.Unlock(0xFFFEFFFFull, 0x10000));
  EXPECT_TRUE(file.Lock(0xFFFFFFFEull, 1));
  EXPECT_FALSE(file.Lock(0, 0));
  file.CloseFile();
  TFileHandler::DeleteFile("mem/Locks.DAT", true);
}

TEST_F(FileLayer, MemoryFileGrowsInSteps) {
  TFileHandler file;
  file.CreateFile("mem/Grow.DAT", true);
  file.WriteAt(5000, "z", 1);
  EXPECT_EQ(file.Size(), 5001u);
  TFileList::TOpened probe = TFileList::Instance().Open("mem/Grow.DAT", true, false, false);
  auto& memory = static_cast<TMemoryFile&>(*probe.File);
  EXPECT_EQ(memory.Capacity(), 8192u);
  std::string bytes = ReadAll(file);
  EXPECT_EQ(bytes, std::string(5000, '\0') + "z");  // the gap reads as zeros
  file.Truncate(10);
  file.WriteAt(20, "y", 1);
  bytes = ReadAll(file);
  EXPECT_EQ(bytes, std::string(20, '\0') + "y");  // truncated bytes do not come back
  TFileList::Instance().Close(probe.File, probe.Handle);
  file.CloseFile();
  TFileHandler::DeleteFile("mem/Grow.DAT", true);
}

TEST_F(FileLayer, MemoryFilesOutliveTheirOpenersUntilDeleted) {
  {
    TFileHandler file;
    EXPECT_EQ(CodeOf([&] { file.OpenFile("mem/Keep.DAT", true, false, false); }), STRATA_OSENOENT);
    file.CreateFile("mem/Keep.DAT", true);
    file.WriteAt(0, "kept", 4);
  }
  EXPECT_TRUE(TFileHandler::FileExists(" MEM/keep.dat", true));
  EXPECT_FALSE(TFileHandler::FileExists("mem/Keep.DAT", false));  // only the same kind matches
  {
    TFileHandler a, b;
    a.OpenFile("mem/keep.DAT", true, true, false);
    EXPECT_EQ(ReadAll(a), "kept");
    EXPECT_EQ(CodeOf([&] { b.OpenFile("mem/Keep.DAT", true, false, false); }), STRATA_OSEACCES);
    EXPECT_EQ(CodeOf([&] { TFileHandler::DeleteFile("mem/Keep.DAT", true); }), STRATA_OSEACCES);
  }
  TFileHandler::RenameFile("mem/Keep.DAT", "mem/Kept.DAT", true);
  {
    TFileHandler file;
    file.OpenFile("mem/Kept.DAT", true, false, false);
    EXPECT_EQ(ReadAll(file), "kept");
  }
  TFileHandler::DeleteFile("mem/Kept.DAT", true);
  EXPECT_FALSE(TFileHandler::FileExists("mem/Kept.DAT", true));
}

TEST_F(FileLayer, TemporaryMemoryFileGoesWithItsLastOpener) {
  {
    TFileHandler file;
    file.CreateFile("mem/T.DAT", true, false, true);
  }
  EXPECT_FALSE(TFileHandler::FileExists("mem/T.DAT", true));
}

// --- error mapping -------------------------------------------------------------

TEST(OsErrorMapping, EveryKindHasItsCode) {
  using K = platform::OsErrorKind;
  EXPECT_EQ(OsErrorCode(K::kNotFound), 11010);
  EXPECT_EQ(OsErrorCode(K::kTooManyFiles), 11012);
  EXPECT_EQ(OsErrorCode(K::kAccessDenied), 11013);
  EXPECT_EQ(OsErrorCode(K::kBadHandle), 11014);
  EXPECT_EQ(OsErrorCode(K::kNoMemory), 11016);
  EXPECT_EQ(OsErrorCode(K::kInvalidDrive), 11023);
  EXPECT_EQ(OsErrorCode(K::kNotSameDevice), 11025);
  EXPECT_EQ(OsErrorCode(K::kOther), 11047);
}

TEST(OsErrorMapping, RaisedErrorCarriesTheSystemErrorNumber) {
  try {
    RaiseOsError(platform::OsError(platform::OsErrorKind::kOther, ENOSPC, "full"), "Links");
    FAIL();
  } catch (const EStrataEngineError& error) {
    EXPECT_EQ(error.Code, STRATA_OSUNKNOWN);
    EXPECT_EQ(error.OsError, ENOSPC);
    EXPECT_EQ(error.ContextTable, "Links");
  }
}

}  // namespace
}  // namespace strata
