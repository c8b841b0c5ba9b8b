// TDataDirectory: a directory of table files as one engine session sees it
// (or the in-memory database, whose path is empty). It owns the table
// objects open in it, one per table name and kind, in the order they were
// opened, and the directory-wide transaction that spans all of them.
// Shared by every database and cursor naming the same path; the last
// shared_ptr closes it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "storage/session/table_ref.h"
#include "storage/table/table_definition.h"

namespace strata {

class TDataSession;
class TDataTable;

// How a cursor opens a table.
struct TTableOpenOptions {
  bool Exclusive = false;
  bool ReadOnly = false;
  bool InMemory = false;  // a memory table (always so in the "Memory" database)
  // A scratch table (a result table): when its last cursor closes, its files
  // (data, index, blob, journal) are deleted. Asked by the first opener.
  // Given to CreateTable, the name is one TemporaryTableName found free, and
  // the table's files start in memory, going to disk only when it outgrows
  // the caches (TDataTable::KeepFilesInMemory).
  bool Temporary = false;
};

class TDataDirectory : public std::enable_shared_from_this<TDataDirectory> {
 public:
  TDataDirectory(std::shared_ptr<TDataSession> session, std::string path, bool in_memory);
  ~TDataDirectory();  // rolls back an open transaction, closes every table
  TDataDirectory(const TDataDirectory&) = delete;
  TDataDirectory& operator=(const TDataDirectory&) = delete;

  TDataSession& Session() const { return *session_; }
  // With a trailing '/'; empty for the in-memory database without a path.
  const std::string& Path() const { return path_; }
  bool InMemory() const { return in_memory_; }
  std::string TablePath(std::string_view table_name, std::string_view extension) const;
  // Deletes the table's rollback journal file, if any (the table is closed).
  void RemoveJournal(std::string_view table_name);

  // Tables -----------------------------------------------------------------
  // True when a table object of that name and kind is in use here, else
  // whether its data file exists (a table kept open idle does not vouch for
  // its files: another process may have deleted them meanwhile).
  bool TableExists(std::string_view table_name, bool in_memory = false);
  // Shares the open table object of the same name and kind or opens a new one
  // (data, index, blob), verifying it under the read lock and checking its
  // password. STRATA_OSEACCES (11013) when the table is open exclusively here,
  // or exclusive use is asked while it is open here; STRATA_NOTSUFFTABLERIGHTS
  // (10498) for an encrypted table without an accepted password. A table opened
  // while a transaction is active joins it.
  //
  // A disk table whose last cursor goes is kept open here, idle (see
  // TDataTable::Suspend), for the next opener of the same name and kind: it
  // holds no lock meanwhile, so other processes may use the table in any
  // way, exclusively too. The next OpenTable resumes it when the files are
  // still the ones it describes, and otherwise closes it and opens the table
  // afresh; an exclusive (or differently read-only) open always closes it
  // first. At most kIdleTableLimit tables are kept idle (the longest unused
  // closes first); CloseUnusedTables, the structural operations on the name
  // and the directory's end close them. Under the session's HoldIdleTables
  // setting an idle table keeps its files in use instead (no other process
  // opens it exclusively meanwhile) and is taken up again unchecked.
  TTableRef OpenTable(std::string_view table_name, const TTableOpenOptions& options);
  // Creates the three files of a new table. STRATA_NEEDEXCLACCESS (10253)
  // unless `options` ask for exclusive use; STRATA_TABLEOPEN (10031) when the
  // table is open here; STRATA_TABLEEXISTS (13060) when it exists and
  // `overwrite` is off.
  void CreateTable(const TTableDefinition& definition, const TTableOpenOptions& options,
                   bool overwrite);
  // Structural operations through a cursor that holds the table exclusively
  // (STRATA_NEEDEXCLACCESS otherwise). Delete and rename give the table back
  // (the ref is released) and act on all three files; STRATA_TABLEEXISTS
  // (13060) when the new name exists.
  void EmptyTable(const TTableRef& table);
  void DeleteTable(TTableRef& table);
  void RenameTable(TTableRef& table, std::string_view new_name);
  // The table objects in use here, in open order (idle ones left out).
  std::vector<TDataTable*> Tables() const;
  // The table objects kept open idle, the longest unused first.
  const std::vector<TDataTable*>& IdleTables() const { return idle_; }
  static constexpr size_t kIdleTableLimit = 16;
  // How OpenTable came by its table objects (for diagnostics and tests).
  struct TOpenCounts {
    uint64_t Opened = 0;   // opened from the files
    uint64_t Resumed = 0;  // an idle object taken up again
  };
  const TOpenCounts& OpenCounts() const { return open_counts_; }
  // Closes every table object that no cursor uses and no transaction holds
  // (the idle ones among them).
  void CloseUnusedTables();

  // A table name for a temporary result table: the first five characters of
  // the decimal thread id, then 0, 1, 2, ... until prefix + number + ".DAT"
  // names no existing table. The name carries the ".DAT". The engine names
  // its files with upper-case extensions, so the exact path is looked for
  // (a plain stat, no folder listing); with `any_case` a file under any
  // letter case takes the name too (for a table that is made on disk right
  // away under its name).
  std::string TemporaryTableName(bool any_case = false);
  // A name for a scratch table this directory creates with its files in
  // memory (TTableOpenOptions::Temporary): as TemporaryTableName, but a data
  // file on disk does not take the name. Such a table is always found here
  // first by its name, and a disk path of its own is claimed afresh
  // (ClaimScratchPath) only when its files move out of memory, so a file of
  // another process (or one left behind) under that name stays untouched.
  // In the in-memory database it is TemporaryTableName itself.
  std::string ScratchTableName();
  // As above for a scratch file with another extension (".TMP").
  std::string TemporaryFileName(std::string_view extension);

  // Transactions over every table object open here --------------------------
  bool InTransaction() const { return in_transaction_; }
  // Joins every open table in list order (in-memory tables take no part);
  // on failure the tables already joined are rolled back and the error is
  // raised again. Nothing happens when a transaction is active.
  // `one_statement`: the transaction is one statement's own (committed or
  // rolled back when the statement ends), so its tables may keep their
  // write regions from the statement's first write to its commit.
  void StartTransaction(bool one_statement = false);
  // Last to first: BeginWrite; then the flushes with forced headers (of the
  // tables the transaction changed); then,
  // also after a failure, EndWrite and UnlockTable for each.
  void Commit();
  // Last to first: drop the caches (changes included), re-read the headers,
  // UnlockTable.
  void Rollback();

 private:
  friend class TTableRef;
  void ReleaseTable(TDataTable* table, int cursor_id);
  TDataTable* FindTable(std::string_view key, bool in_memory) const;
  // After a transaction: the tables it kept open that no cursor uses any
  // more are kept idle or closed.
  void ReleaseUnusedTables();
  // Keeps the table (no user, no transaction part) open idle when it can be,
  // else closes it.
  void ParkOrClose(TDataTable* table);
  // An idle table asked for again: the resumed table, or nullptr when it was
  // closed (stale, or not fit for `options`) and the table is to be opened
  // afresh. Errors close it.
  TDataTable* ResumeIdle(TDataTable* table, const TTableOpenOptions& options);
  bool IsTemporary(const TDataTable* table) const;
  // Closes the table object and forgets it; a temporary table's files go too.
  void CloseAndRemove(TDataTable* table);
  void RemoveTable(TDataTable* table);
  // Deletes the files (an empty path is none); with `known_files` every path
  // given exists and there is no journal, so nothing is looked for first.
  // `files_in_memory`: a scratch table whose files never left memory (each
  // one given is deleted there, unlooked for).
  void DeleteTableFiles(const std::string& name, const std::string (&paths)[3], bool in_memory,
                        bool known_files = false, bool files_in_memory = false);
  std::unique_ptr<TDataTable> NewTable(std::string_view table_name, bool in_memory) const;
  void CheckPassword(TDataTable& table);
  std::string TemporaryPrefix() const;
  // A free disk path (without extension) for a scratch table moving its files
  // out of memory: its own name when no file of it exists on disk, else the
  // next temporary name free on disk and here.
  std::string ClaimScratchPath(std::string_view own_name);
  bool KeptInMemory(std::string_view key) const;

  std::shared_ptr<TDataSession> session_;
  std::string path_;
  bool in_memory_;
  bool in_transaction_ = false;
  bool one_statement_ = false;                       // of the transaction running
  std::vector<std::unique_ptr<TDataTable>> tables_;  // open order
  std::vector<const TDataTable*> temporary_;         // of tables_: deleted on close
  std::vector<TDataTable*> idle_;                    // of tables_: suspended, oldest first
  TOpenCounts open_counts_;
  // Keys of scratch tables created with their files in memory (see
  // TDataTable::KeepFilesInMemory); removed when the table is deleted.
  std::vector<std::string> in_memory_scratch_;
};

}  // namespace strata
