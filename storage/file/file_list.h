// TFileList: the process-wide registry of open files. It keeps one file
// object per file (TPhysicalFile for disk files, TMemoryFile for in-memory
// tables), so that every user of a file in this process shares one handle.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "storage/file/abstract_file.h"

namespace strata {

// Owns the registry entries, guarded by one mutex. Entries are matched by
// path with surrounding blanks trimmed and letter case ignored, and only
// against entries of the same kind (disk or memory). Invariants: at most one
// entry per (kind, path); a disk entry lives while it has openers; a memory
// entry keeps its contents after its last opener closes (it is the in-memory
// table itself) until it is deleted, unless it is temporary.
// Failures throw EFileFault carrying the engine code. A disk entry held only
// by idle openers (a table kept open between uses) does not keep the file
// from being deleted, renamed, replaced or opened exclusively: the entry is
// forgotten and its openers find their file stale when they resume.
class TFileList {
 public:
  static TFileList& Instance();

  struct TOpened {
    std::shared_ptr<TAbstractFile> File;
    int Handle = 0;
    bool Fresh = false;  // Open: the file was opened by this call, not shared
  };

  // Adds an opener to the file, opening it on first use. STRATA_OSEACCES
  // (11013) when the file is open exclusively here, or when exclusive use is
  // asked while others have it open; STRATA_OSENOENT (11010) for a memory file
  // that does not exist. A disk file is opened read-write unless it cannot be
  // written (an opener that only reads is kept from writing by its handler).
  TOpened Open(const std::string& path, bool in_memory, bool exclusive, bool temporary);
  // Creates (replaces) a file, read-write, with its first opener.
  // STRATA_OSEACCES (11013) when this process has the file open.
  TOpened Create(const std::string& path, bool in_memory, bool exclusive, bool temporary);
  // Removes an opener; the last one closes a disk file (and drops a
  // temporary memory file).
  void Close(const std::shared_ptr<TAbstractFile>& file, int handle);

  // With `exact_name` a disk file is looked for under exactly that name.
  bool Exists(const std::string& path, bool in_memory, bool exact_name = false);
  // STRATA_OSEACCES (11013) when the file is open in this process;
  // STRATA_OSENOENT (11010) when it is missing.
  void Delete(const std::string& path, bool in_memory);
  void Rename(const std::string& from, const std::string& to, bool in_memory);

  // The number of registry entries of one kind (for diagnostics and tests).
  size_t Count(bool in_memory) const;
  // Whether this process has the file open (any opener not idle).
  bool IsOpen(const std::string& path, bool in_memory) const;

 private:
  TFileList() = default;
  // The entry of that kind and path, or end().
  std::vector<std::shared_ptr<TAbstractFile>>::iterator Find(const std::string& path,
                                                             bool in_memory);
  std::vector<std::shared_ptr<TAbstractFile>>::const_iterator Find(const std::string& path,
                                                                   bool in_memory) const;

  // Forgets a disk entry that only idle openers hold (see
  // TAbstractFile::SetOpenerIdle) - with `stale_only` only when its path no
  // longer names the open file - so that the caller opens, creates, deletes
  // or renames the file afresh; returns whether it did.
  bool DetachIdle(std::vector<std::shared_ptr<TAbstractFile>>::iterator it, bool stale_only);

  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<TAbstractFile>> files_;
};

// The path as the registry compares it: surrounding blanks removed.
std::string TrimPath(const std::string& path);
// Whether two paths name the same registry entry (trimmed, case ignored).
bool SameFilePath(const std::string& a, const std::string& b);

}  // namespace strata
