#include "storage/session/data_directory.h"

#include <algorithm>
#include <cstdlib>

#include "platform/clock.h"
#include "storage/best_effort.h"
#include "storage/blob/blob_file.h"
#include "storage/data/data_file.h"
#include "storage/engine_error.h"
#include "storage/engine_names.h"
#include "storage/file/file_handler.h"
#include "storage/index/index_file.h"
#include "storage/session/data_session.h"
#include "storage/table/data_table.h"
#include "storage/table/table_lock_guards.h"

namespace strata {

namespace {
constexpr std::string_view kTableFileExtensions[] = {kDataFileExtension, kIndexFileExtension,
                                                     kBlobFileExtension};
}  // namespace

TDataDirectory::TDataDirectory(std::shared_ptr<TDataSession> session, std::string path,
                               bool in_memory)
    : session_(std::move(session)), path_(std::move(path)), in_memory_(in_memory) {}

TDataDirectory::~TDataDirectory() {
  try {
    if (in_transaction_) Rollback();
  } catch (...) {
    // Nothing can be reported from here; the tables close regardless.
  }
  while (!tables_.empty()) {
    TDataTable* table = tables_.back().get();
    BestEffort([&] { CloseAndRemove(table); });
    if (!tables_.empty() && tables_.back().get() == table) tables_.pop_back();
  }
  for (const std::string& key : in_memory_scratch_) {
    for (std::string_view extension : kTableFileExtensions) {
      const std::string path = TablePath(key, extension);
      BestEffort([&] {
        if (TFileHandler::FileExists(path, true)) TFileHandler::DeleteFile(path, true);
      });
    }
  }
  session_->ForgetDirectory(this);
}

std::string TDataDirectory::TablePath(std::string_view table_name,
                                      std::string_view extension) const {
  return path_ + TableNameWithoutExtension(table_name) + std::string(extension);
}

TDataTable* TDataDirectory::FindTable(std::string_view key, bool in_memory) const {
  for (const auto& table : tables_) {
    if (table->InMemory() == in_memory && TableNameKey(table->Name()) == key) return table.get();
  }
  return nullptr;
}

std::vector<TDataTable*> TDataDirectory::Tables() const {
  std::vector<TDataTable*> tables;
  for (const auto& table : tables_) {
    if (!table->Suspended()) tables.push_back(table.get());
  }
  return tables;
}

bool TDataDirectory::IsTemporary(const TDataTable* table) const {
  return std::find(temporary_.begin(), temporary_.end(), table) != temporary_.end();
}

std::unique_ptr<TDataTable> TDataDirectory::NewTable(std::string_view table_name,
                                                     bool in_memory) const {
  return std::make_unique<TDataTable>(
      TableNameWithoutExtension(table_name), TablePath(table_name, kDataFileExtension),
      TablePath(table_name, kIndexFileExtension), TablePath(table_name, kBlobFileExtension),
      in_memory, session_->SharedSettings());
}

bool TDataDirectory::TableExists(std::string_view table_name, bool in_memory) {
  in_memory = in_memory || in_memory_;
  const TDataTable* open = FindTable(TableNameKey(table_name), in_memory);
  if (open != nullptr && !open->Suspended()) return true;
  if (!in_memory && KeptInMemory(TableNameKey(table_name))) return true;
  return TFileHandler::FileExists(TablePath(table_name, kDataFileExtension), in_memory);
}

TTableRef TDataDirectory::OpenTable(std::string_view table_name, const TTableOpenOptions& options) {
  const bool in_memory = options.InMemory || in_memory_;
  TDataTable* table = FindTable(TableNameKey(table_name), in_memory);
  if (table != nullptr && table->Suspended()) {
    table = ResumeIdle(table, options);
    if (table != nullptr) {
      table->AddUser();
      return TTableRef(shared_from_this(), table, table->NewCursorId());
    }
  }
  if (table != nullptr) {
    // One table object per process: exclusive use excludes every other user
    // here, as the file layer would for a second opener.
    if (table->Exclusive() || options.Exclusive) {
      RaiseTableError(STRATA_OSEACCES, TableNameWithoutExtension(table_name));
    }
  } else {
    std::unique_ptr<TDataTable> created = NewTable(table_name, in_memory);
    created->SetScratch(options.Temporary && options.Exclusive);
    if (!in_memory && KeptInMemory(TableNameKey(table_name))) {
      created->KeepFilesInMemory(
          [this, name = std::string(table_name)] { return ClaimScratchPath(name); });
    }
    created->Open(options.Exclusive, options.ReadOnly);
    try {
      ReadLock lock(*created);
      created->Verify();
      lock.Release();
      CheckPassword(*created);
      if (in_transaction_ && !in_memory) created->JoinTransaction(one_statement_);
    } catch (...) {
      BestEffort([&] { created->Close(); });
      throw;
    }
    tables_.push_back(std::move(created));
    table = tables_.back().get();
    if (options.Temporary) temporary_.push_back(table);
    ++open_counts_.Opened;
  }
  table->AddUser();
  return TTableRef(shared_from_this(), table, table->NewCursorId());
}

TDataTable* TDataDirectory::ResumeIdle(TDataTable* table, const TTableOpenOptions& options) {
  std::erase(idle_, table);
  // Exclusive use, or other read-only terms, need the table opened so.
  const bool fits =
      !options.Exclusive && !options.Temporary && options.ReadOnly == table->ReadOnly();
  try {
    if (fits && table->Resume()) {
      CheckPassword(*table);
      if (in_transaction_) table->JoinTransaction(one_statement_);
      ++open_counts_.Resumed;
      return table;
    }
  } catch (...) {
    BestEffort([&] { CloseAndRemove(table); });
    throw;
  }
  // Stale or unfit: the table is opened afresh by the caller, whatever the
  // old object's closing says.
  BestEffort([&] { CloseAndRemove(table); });
  return nullptr;
}

void TDataDirectory::ParkOrClose(TDataTable* table) {
  if (IsTemporary(table) || !table->CanIdle()) {
    CloseAndRemove(table);
    return;
  }
  try {
    table->Suspend();
  } catch (...) {
    BestEffort([&] { CloseAndRemove(table); });
    throw;
  }
  idle_.push_back(table);
  std::exception_ptr failure;
  while (idle_.size() > kIdleTableLimit) {
    try {
      CloseAndRemove(idle_.front());
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

void TDataDirectory::CheckPassword(TDataTable& table) {
  const TDataFile& data = table.DataFile();
  if (!data.Encrypted()) return;
  for (;;) {
    for (const std::string& password : session_->Passwords()) {
      if (data.PasswordMatches(password)) return;
    }
    if (!session_->PasswordRequest || !session_->PasswordRequest(table.Name())) {
      RaiseTableError(STRATA_NOTSUFFTABLERIGHTS, table.Name());
    }
  }
}

void TDataDirectory::ReleaseTable(TDataTable* table, int cursor_id) {
  std::exception_ptr failure;
  try {
    table->UnlockCursorRecords(cursor_id);
  } catch (...) {
    failure = std::current_exception();
  }
  table->RemoveUser();
  if (table->Users() <= 0 && !table->InTransaction()) {
    try {
      ParkOrClose(table);
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

void TDataDirectory::CloseAndRemove(TDataTable* table) {
  std::erase(idle_, table);
  const bool temporary = std::erase(temporary_, table) > 0;
  const bool scratch = temporary && table->Scratch();
  const std::string name = table->Name();
  const bool in_memory = table->InMemory();
  const bool files_in_memory = scratch && table->AllFilesInMemory();
  // A scratch table has no journal, and a blob file only with blob fields.
  const std::string paths[] = {table->DataPath(), table->IndexPath(),
                               scratch && table->BlobFile() == nullptr ? "" : table->BlobPath()};
  std::exception_ptr failure;
  try {
    // A scratch table's changes would only be written to be deleted.
    if (scratch && table->Exclusive()) {
      table->CloseDiscarding();
    } else {
      table->Close();
    }
  } catch (...) {
    failure = std::current_exception();
  }
  RemoveTable(table);
  // A scratch table goes with its last user, also when closing it failed.
  if (temporary) {
    try {
      DeleteTableFiles(name, paths, in_memory, scratch, files_in_memory);
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

void TDataDirectory::RemoveTable(TDataTable* table) {
  std::erase_if(tables_, [&](const auto& owned) { return owned.get() == table; });
}

void TDataDirectory::DeleteTableFiles(const std::string& name, const std::string (&paths)[3],
                                      bool in_memory, bool known_files, bool files_in_memory) {
  // A scratch table kept in memory may have moved its files to disk: each
  // one still in the memory registry is deleted there, the others on disk.
  const std::string key = TableNameKey(name);
  const bool kept_in_memory = !in_memory && KeptInMemory(key);
  if (kept_in_memory) std::erase(in_memory_scratch_, key);
  if (!in_memory && !known_files) RemoveJournal(name);
  std::exception_ptr failure;
  for (const std::string& path : paths) {
    if (path.empty()) continue;
    const bool memory =
        in_memory || (kept_in_memory && (files_in_memory || TFileHandler::FileExists(path, true)));
    if (!known_files && !TFileHandler::FileExists(path, memory)) continue;
    try {
      TFileHandler::DeleteFile(path, memory);
    } catch (const EStrataEngineError&) {
      // The other files still go.
      try {
        RaiseTableError(STRATA_FILEDELETEFAIL, name);
      } catch (...) {
        if (!failure) failure = std::current_exception();
      }
    }
  }
  if (failure) std::rethrow_exception(failure);
}

bool TDataDirectory::KeptInMemory(std::string_view key) const {
  return std::find(in_memory_scratch_.begin(), in_memory_scratch_.end(), key) !=
         in_memory_scratch_.end();
}

std::string TDataDirectory::ClaimScratchPath(std::string_view own_name) {
  auto free_on_disk = [&](const std::string& name) {
    return std::none_of(std::begin(kTableFileExtensions), std::end(kTableFileExtensions),
                        [&](std::string_view extension) {
                          return TFileHandler::FileExists(TablePath(name, extension), false);
                        });
  };
  // Its own name first; another process may have taken it on disk meanwhile.
  const std::string own = TableNameWithoutExtension(own_name);
  if (free_on_disk(own)) return path_ + own;
  const std::string prefix = TemporaryPrefix();
  for (uint64_t number = 0;; ++number) {
    const std::string name = prefix + std::to_string(number);
    const std::string key = TableNameKey(name);
    if (FindTable(key, false) != nullptr || KeptInMemory(key)) continue;
    if (free_on_disk(name)) return path_ + name;
  }
}

void TDataDirectory::CloseUnusedTables() {
  std::exception_ptr failure;
  std::vector<TDataTable*> unused;
  for (const auto& table : tables_) {
    if (table->Users() <= 0 && !table->InTransaction()) unused.push_back(table.get());
  }
  for (TDataTable* table : unused) {
    try {
      CloseAndRemove(table);
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

void TDataDirectory::ReleaseUnusedTables() {
  std::exception_ptr failure;
  std::vector<TDataTable*> unused;
  for (const auto& table : tables_) {
    if (table->Users() <= 0 && !table->InTransaction() && !table->Suspended()) {
      unused.push_back(table.get());
    }
  }
  for (TDataTable* table : unused) {
    try {
      ParkOrClose(table);
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

// Structural operations ------------------------------------------------------

void TDataDirectory::CreateTable(const TTableDefinition& definition,
                                 const TTableOpenOptions& options, bool overwrite) {
  const std::string name = TableNameWithoutExtension(definition.Name);
  bool in_memory = options.InMemory || in_memory_;
  if (!options.Exclusive) RaiseTableError(STRATA_NEEDEXCLACCESS, name);
  if (TDataTable* open = FindTable(TableNameKey(name), in_memory)) {
    // An idle table gives way; one in use does not.
    if (!open->Suspended()) RaiseTableError(STRATA_TABLEOPEN, name);
    CloseAndRemove(open);
  }
  // A scratch table is made under a name TemporaryTableName has just found
  // free: what the checks below look for cannot be there.
  const bool scratch = options.Temporary;
  if (!overwrite && !scratch && TableExists(name, in_memory)) {
    RaiseTableError(STRATA_TABLEEXISTS, name);
  }

  const std::vector<TFieldDescriptor>& fields = definition.Fields;

  const std::string data_path = TablePath(name, kDataFileExtension);
  const std::string index_path = TablePath(name, kIndexFileExtension);
  const std::string blob_path = TablePath(name, kBlobFileExtension);
  const bool has_blobs = std::any_of(fields.begin(), fields.end(),
                                     [](const TFieldDescriptor& field) { return field.IsBlob(); });
  const TEngineSettings& settings = session_->Settings();
  std::vector<std::string> created;
  // A journal left by an earlier table of this name is no journal of the
  // new one.
  if (!in_memory && !scratch) RemoveJournal(name);
  // A scratch table on disk starts with its files in memory, under the
  // disk paths.
  const bool kept_in_memory = scratch && !in_memory;
  in_memory = in_memory || kept_in_memory;
  try {
    TDataFile data(settings);
    data.SetTableName(name);
    data.Create(data_path, definition.LanguageId, definition.SortId, fields,
                definition.BlobBlockSize, definition.Description, definition.Password,
                definition.Encrypted, definition.UserValueA, definition.UserValueB, in_memory);
    created.push_back(data_path);
    data.Flush(true);

    TIndexFile index(settings);
    index.SetTableName(name);
    index.SetTableContext(fields,
                          static_cast<uint32_t>(definition.LanguageId) |
                              (static_cast<uint32_t>(definition.SortId) << 16),
                          definition.Encrypted);
    index.Create(index_path, definition.Indexes, in_memory, true);
    created.push_back(index_path);
    index.Flush(true);

    if (has_blobs) {
      TBlobFile blob(settings);
      blob.SetTableName(name);
      blob.Create(blob_path, definition.BlobBlockSize, definition.Encrypted, in_memory);
      created.push_back(blob_path);
      blob.Flush(true);
      blob.Close();
    } else if (!scratch && TFileHandler::FileExists(blob_path, in_memory)) {
      // A table replaced by one without blob fields leaves no stale blob file.
      TFileHandler::DeleteFile(blob_path, in_memory);
    }
    index.Close();
    data.Close();
    if (kept_in_memory) in_memory_scratch_.push_back(TableNameKey(name));
  } catch (...) {
    // A table half created is no table: remove what was made.
    for (const std::string& path : created) {
      BestEffort([&] { TFileHandler::DeleteFile(path, in_memory); });
    }
    throw;
  }
}

namespace {

void RequireExclusive(const TTableRef& table) {
  if (!table || !table->Exclusive()) {
    RaiseTableError(STRATA_NEEDEXCLACCESS, table ? table->Name() : std::string());
  }
}

}  // namespace

void TDataDirectory::EmptyTable(const TTableRef& table) {
  RequireExclusive(table);
  table->DataFile().Empty();
  table->IndexFile().Empty();
  if (TBlobFile* blob = table->BlobFile()) blob->Empty();
  table->Flush(true);
}

void TDataDirectory::DeleteTable(TTableRef& table) {
  RequireExclusive(table);
  if (table->Users() > 1) RaiseTableError(STRATA_TABLEOPEN, table->Name());
  const std::string name = table->Name();
  const bool in_memory = table->InMemory();
  const std::string paths[] = {table->DataPath(), table->IndexPath(), table->BlobPath()};
  if (table->InTransaction()) table->RollbackTransaction();
  table.Release();
  DeleteTableFiles(name, paths, in_memory);
}

void TDataDirectory::RenameTable(TTableRef& table, std::string_view new_name) {
  RequireExclusive(table);
  if (table->Users() > 1) RaiseTableError(STRATA_TABLEOPEN, table->Name());
  const bool in_memory = table->InMemory();
  const std::string name = table->Name();
  if (TableExists(new_name, in_memory)) {
    RaiseTableError(STRATA_TABLEEXISTS, TableNameWithoutExtension(new_name));
  }
  const std::pair<std::string, std::string> moves[] = {
      {table->DataPath(), TablePath(new_name, kDataFileExtension)},
      {table->IndexPath(), TablePath(new_name, kIndexFileExtension)},
      {table->BlobPath(), TablePath(new_name, kBlobFileExtension)}};
  if (table->InTransaction()) table->RollbackTransaction();
  table.Release();
  // Closed, the table has no change on record: its journal can go.
  if (!in_memory) RemoveJournal(name);
  for (const auto& [from, to] : moves) {
    if (TFileHandler::FileExists(from, in_memory)) TFileHandler::RenameFile(from, to, in_memory);
  }
}

void TDataDirectory::RemoveJournal(std::string_view table_name) {
  const std::string path = TablePath(table_name, kJournalFileExtension);
  if (TFileHandler::FileExists(path, false)) TFileHandler::DeleteFile(path, false);
}

// Temporary names ------------------------------------------------------------

std::string TDataDirectory::TemporaryPrefix() const {
  const auto id = static_cast<int64_t>(platform::CurrentThreadId());
  const uint64_t magnitude =
      id < 0 ? static_cast<uint64_t>(-(id + 1)) + 1 : static_cast<uint64_t>(id);
  return std::to_string(magnitude).substr(0, 5);
}

std::string TDataDirectory::TemporaryTableName(bool any_case) {
  const std::string prefix = TemporaryPrefix();
  for (uint64_t number = 0;; ++number) {
    std::string name = prefix + std::to_string(number) + std::string(kDataFileExtension);
    if (any_case || in_memory_) {
      if (!TableExists(name, in_memory_)) return name;
      continue;
    }
    // Taken by a table object here (idle ones too: their names stay ours),
    // a scratch table in memory, or a data file under exactly that name.
    const std::string key = TableNameKey(name);
    if (FindTable(key, false) != nullptr || KeptInMemory(key)) continue;
    if (!TFileHandler::ExactFileExists(TablePath(name, kDataFileExtension))) return name;
  }
}

std::string TDataDirectory::ScratchTableName() {
  if (in_memory_) return TemporaryTableName();
  const std::string prefix = TemporaryPrefix();
  for (uint64_t number = 0;; ++number) {
    std::string name = prefix + std::to_string(number) + std::string(kDataFileExtension);
    const std::string key = TableNameKey(name);
    if (FindTable(key, false) == nullptr && !KeptInMemory(key)) return name;
  }
}

std::string TDataDirectory::TemporaryFileName(std::string_view extension) {
  const std::string prefix = TemporaryPrefix();
  for (uint64_t number = 0;; ++number) {
    std::string path = path_ + prefix + std::to_string(number) + std::string(extension);
    if (!TFileHandler::FileExists(path, in_memory_)) return path;
  }
}

// Transactions ---------------------------------------------------------------

void TDataDirectory::StartTransaction(bool one_statement) {
  if (in_transaction_) return;
  std::vector<TDataTable*> started;
  try {
    for (const auto& table : tables_) {
      // Idle tables hold no lock and take no part until they are used again.
      if (table->InMemory() || table->Suspended()) continue;
      table->JoinTransaction(one_statement);
      started.push_back(table.get());
    }
  } catch (...) {
    for (auto it = started.rbegin(); it != started.rend(); ++it) {
      BestEffort([&] { (*it)->RollbackTransaction(); });
    }
    throw;
  }
  in_transaction_ = true;
  one_statement_ = one_statement;
}

void TDataDirectory::Commit() {
  if (!in_transaction_) return;
  std::vector<TDataTable*> parts;
  for (const auto& table : tables_) {
    if (table->InTransaction()) parts.push_back(table.get());
  }
  std::exception_ptr failure;
  std::vector<bool> flushed(parts.size(), false);
  try {
    for (size_t i = parts.size(); i-- > 0;) parts[i]->BeginCommit();
    for (size_t i = parts.size(); i-- > 0;) {
      parts[i]->CommitFlush();
      flushed[i] = true;
    }
  } catch (...) {
    failure = std::current_exception();
  }
  for (size_t i = parts.size(); i-- > 0;) {
    try {
      // A table whose changes did not reach its files drops them, so that its
      // caches agree with the files again and no later flush writes them.
      if (!flushed[i]) parts[i]->DiscardTransactionChanges();
      parts[i]->EndTransaction();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  in_transaction_ = false;
  try {
    ReleaseUnusedTables();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  if (failure) std::rethrow_exception(failure);
}

void TDataDirectory::Rollback() {
  if (!in_transaction_) return;
  std::exception_ptr failure;
  for (auto it = tables_.rbegin(); it != tables_.rend(); ++it) {
    if (!(*it)->InTransaction()) continue;
    try {
      (*it)->RollbackTransaction();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  in_transaction_ = false;
  try {
    ReleaseUnusedTables();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace strata
