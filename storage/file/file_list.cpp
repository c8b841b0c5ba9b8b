#include "storage/file/file_list.h"

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "platform/letter_case.h"
#include "storage/engine_error.h"
#include "storage/file/memory_file.h"
#include "storage/file/os_error_map.h"
#include "storage/file/physical_file.h"

namespace strata {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

[[noreturn]] void Refuse(const std::string& path) {
  throw EFileFault(STRATA_OSEACCES, EACCES, "file in use: " + path);
}

[[noreturn]] void Missing(const std::string& path) {
  throw EFileFault(STRATA_OSENOENT, ENOENT, "no such file: " + path);
}

}  // namespace

std::string TrimPath(const std::string& path) {
  size_t begin = 0, end = path.size();
  while (begin < end && IsBlank(path[begin])) ++begin;
  while (end > begin && IsBlank(path[end - 1])) --end;
  return path.substr(begin, end - begin);
}

namespace {

// The path without leading and trailing blanks, as TrimPath, without a copy.
std::string_view TrimmedView(std::string_view path) {
  size_t begin = 0, end = path.size();
  while (begin < end && IsBlank(path[begin])) ++begin;
  while (end > begin && IsBlank(path[end - 1])) --end;
  return path.substr(begin, end - begin);
}

}  // namespace

bool SameFilePath(const std::string& a, const std::string& b) {
  // Called for every open file on each open, create and lookup: no copies.
  const std::string_view x = TrimmedView(a), y = TrimmedView(b);
  // From the end: paths of one folder differ in their last letters.
  return x.size() == y.size() && std::equal(x.rbegin(), x.rend(), y.rbegin(), [](char p, char q) {
           return platform::AsciiLower(p) == platform::AsciiLower(q);
         });
}

TFileList& TFileList::Instance() {
  // Never destroyed: tables still open when the program ends (idle tables
  // of a database that a static object owns) close their files during exit,
  // after function-local statics constructed later are gone.
  static TFileList& list = *new TFileList;
  return list;
}

std::vector<std::shared_ptr<TAbstractFile>>::iterator TFileList::Find(const std::string& path,
                                                                      bool in_memory) {
  return std::find_if(files_.begin(), files_.end(), [&](const auto& file) {
    return file->InMemory() == in_memory && SameFilePath(file->Path(), path) && !file->Inherited();
  });
}

std::vector<std::shared_ptr<TAbstractFile>>::const_iterator TFileList::Find(const std::string& path,
                                                                            bool in_memory) const {
  return const_cast<TFileList*>(this)->Find(path, in_memory);
}

bool TFileList::DetachIdle(std::vector<std::shared_ptr<TAbstractFile>>::iterator it,
                           bool stale_only) {
  TAbstractFile& file = **it;
  if (file.InMemory() || file.OpenerCount() == 0 || file.ActiveOpenerCount() > 0) return false;
  if (stale_only) {
    try {
      const std::optional<platform::FileIdentity> now = file.PathIdentity();
      if (now && now->SameFile(file.Identity())) return false;
    } catch (const platform::OsError& error) {
      throw EFileFault(OsErrorCode(error.kind()), error.errno_value(), error.what());
    }
  }
  // Its idle openers keep the object; they find it stale when they resume.
  files_.erase(it);
  return true;
}

TFileList::TOpened TFileList::Open(const std::string& path, bool in_memory, bool exclusive,
                                   bool temporary) {
  const std::string trimmed = TrimPath(path);
  std::lock_guard lock(mutex_);
  auto it = Find(trimmed, in_memory);
  // A disk file held only by idle openers is shared only while its path still
  // names it, and never with an exclusive opener: a new one is opened then.
  if (it != files_.end() && DetachIdle(it, !exclusive)) it = files_.end();
  if (it != files_.end()) {
    TAbstractFile& file = **it;
    const size_t openers = file.OpenerCount();
    if (openers > 0 && (file.Exclusive() || exclusive)) Refuse(trimmed);
    if (openers == 0) {
      // A memory file that nobody has open takes the new opener's terms.
      file.SetFlags(exclusive, false, false, file.Temporary());
    }
    try {
      return {*it, file.AddOpener()};
    } catch (const platform::OsError& error) {
      throw EFileFault(OsErrorCode(error.kind()), error.errno_value(), error.what());
    }
  }
  if (in_memory) Missing(trimmed);
  std::shared_ptr<TAbstractFile> file = TPhysicalFile::Open(trimmed, exclusive, temporary);
  files_.push_back(file);
  return {file, file->AddOpener(), true};
}

TFileList::TOpened TFileList::Create(const std::string& path, bool in_memory, bool exclusive,
                                     bool temporary) {
  const std::string trimmed = TrimPath(path);
  std::lock_guard lock(mutex_);
  auto it = Find(trimmed, in_memory);
  if (it != files_.end() && DetachIdle(it, false)) it = files_.end();
  if (it != files_.end()) {
    if ((*it)->OpenerCount() > 0) Refuse(trimmed);
    // Only a memory file outlives its openers; creating it anew empties it.
    auto& memory = static_cast<TMemoryFile&>(**it);
    memory.Reset();
    memory.SetFlags(exclusive, false, false, temporary);
    return {*it, memory.AddOpener()};
  }
  std::shared_ptr<TAbstractFile> file;
  if (in_memory) {
    file = std::make_shared<TMemoryFile>(trimmed, exclusive, temporary);
  } else {
    file = TPhysicalFile::Create(trimmed, exclusive, temporary);
  }
  files_.push_back(file);
  return {file, file->AddOpener()};
}

void TFileList::Close(const std::shared_ptr<TAbstractFile>& file, int handle) {
  std::shared_ptr<TAbstractFile> closing;  // destroyed after the lock is released
  {
    std::lock_guard lock(mutex_);
    file->RemoveOpener(handle);
    if (file->OpenerCount() > 0) return;
    if (file->InMemory() && !file->Temporary()) return;
    auto it = std::find(files_.begin(), files_.end(), file);
    if (it == files_.end()) return;
    closing = std::move(*it);
    files_.erase(it);
  }
}

bool TFileList::Exists(const std::string& path, bool in_memory, bool exact_name) {
  const std::string trimmed = TrimPath(path);
  std::lock_guard lock(mutex_);
  auto it = Find(trimmed, in_memory);
  // Idle openers do not vouch for the file: it may be gone by now.
  if (it != files_.end() && (in_memory || (*it)->ActiveOpenerCount() > 0)) return true;
  if (in_memory) return false;
  return exact_name ? platform::ExactFileExists(trimmed) : platform::FileExists(trimmed);
}

void TFileList::Delete(const std::string& path, bool in_memory) {
  const std::string trimmed = TrimPath(path);
  std::lock_guard lock(mutex_);
  auto it = Find(trimmed, in_memory);
  if (it != files_.end() && DetachIdle(it, false)) it = files_.end();
  if (it != files_.end() && (*it)->OpenerCount() > 0) Refuse(trimmed);
  if (in_memory) {
    if (it == files_.end()) Missing(trimmed);
    files_.erase(it);
    return;
  }
  try {
    platform::DeleteFile(trimmed);
  } catch (const platform::OsError& error) {
    throw EFileFault(OsErrorCode(error.kind()), error.errno_value(), error.what());
  }
}

void TFileList::Rename(const std::string& from, const std::string& to, bool in_memory) {
  const std::string source = TrimPath(from), target = TrimPath(to);
  std::lock_guard lock(mutex_);
  if (auto idle = Find(source, in_memory); idle != files_.end()) DetachIdle(idle, false);
  if (auto idle = Find(target, in_memory); idle != files_.end()) DetachIdle(idle, false);
  auto it = Find(source, in_memory);
  if (it != files_.end() && (*it)->OpenerCount() > 0) Refuse(source);
  auto target_it = Find(target, in_memory);
  if (target_it != files_.end() && target_it != it && (*target_it)->OpenerCount() > 0) {
    Refuse(target);
  }
  if (in_memory) {
    if (it == files_.end()) Missing(source);
    if (target_it != files_.end() && target_it != it) {
      throw EFileFault(STRATA_OSUNKNOWN, EEXIST, "file exists: " + target);
    }
    // The entry keeps its contents under the new name.
    (*it)->SetPath(target);
    return;
  }
  try {
    platform::RenameFile(source, target);
  } catch (const platform::OsError& error) {
    throw EFileFault(OsErrorCode(error.kind()), error.errno_value(), error.what());
  }
}

size_t TFileList::Count(bool in_memory) const {
  std::lock_guard lock(mutex_);
  return static_cast<size_t>(std::count_if(files_.begin(), files_.end(), [&](const auto& file) {
    return file->InMemory() == in_memory;
  }));
}

bool TFileList::IsOpen(const std::string& path, bool in_memory) const {
  std::lock_guard lock(mutex_);
  auto it = Find(TrimPath(path), in_memory);
  return it != files_.end() && (*it)->ActiveOpenerCount() > 0;
}

}  // namespace strata
