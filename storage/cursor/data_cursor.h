// TDataCursor: the handle through which one user (the SQL engine, the
// administrator's tool, a benchmark) works with one table.
//
// A cursor opens its table through a directory object, which shares one
// table object (files, caches, locks) among all cursors of the table in this
// process. It holds a current index, a position in it, a current record, an
// optional key range and an optional filter set, and carries out every read
// and change under the table's lock protocol: reading operations inside the
// table's read lock, modifying ones inside its write lock with the record
// lock of the record they change.
//
// The view: the entries of the current index between the range's start and
// end keys (inclusive) that the filter set accepts. The position is one of
//   before the first record (Bof), after the last (Eof) -- both at once when
//   the view is empty --, on a record, or on the place of a record that has
//   gone (deleted by this cursor, or by another user while this cursor stood
//   on it): Next then goes to the record that followed it, Prior to the one
//   before it.
//
// The record buffer holds the current record as last read (or a new record
// after InitRecord) and takes the changes of PutField until they are posted
// (InsertRecord, ModifyRecord) or dropped (Cancel, or moving elsewhere). A copy
// of the record as read is kept to detect changes by other users
// (STRATA_KEYORRECDELETED). Blob values are edited in blob buffers, one per
// blob field, and reach the blob file when the record is posted.
//
// Invariants: every lock an operation takes is released before it returns,
// errors included (only the record lock of a pessimistic edit outlives the
// fetch that took it, until the record is posted, cancelled or left); an
// operation that fails leaves the cursor on its previous record.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storage/cursor/cursor_filter.h"
#include "storage/data/record_sort.h"
#include "storage/index/index_definition.h"
#include "storage/index/index_descriptor.h"
#include "storage/index/index_key.h"
#include "storage/index/index_position.h"
#include "storage/index/sort_key.h"
#include "storage/record/field_descriptor.h"
#include "storage/record/record_context.h"
#include "storage/session/data_directory.h"
#include "storage/session/table_ref.h"
#include "storage/table/table_definition.h"

namespace strata {

class TBlobBuffer;
class TDataTable;
class TDataFile;
class TIndexFile;
class TBlobFile;

// Identifies a record: its slot and its row number (a slot reused by a later
// record carries another row number, so the bookmark of a deleted record
// stays invalid).
struct TBookmark {
  uint32_t RecordNumber = 0;
  int32_t RowNumber = 0;
  friend bool operator==(const TBookmark&, const TBookmark&) = default;
};

class TDataCursor {
 public:
  // The index used when none is chosen: every record in row-number order.
  static constexpr int kRowOrderIndex = kSysDeletedIndex;

  explicit TDataCursor(std::shared_ptr<TDataDirectory> directory);
  ~TDataCursor();  // Close(), errors swallowed
  TDataCursor(const TDataCursor&) = delete;
  TDataCursor& operator=(const TDataCursor&) = delete;

  // ---- Opening and closing -------------------------------------------------
  // Opens the table (shared table object, first-open verification). When the
  // table's index file was missing, this first cursor fills the new index
  // file's indexes from the live records (the row-order index: the other
  // definitions were kept in the lost file). The cursor starts on the
  // row-order index, before the first record.
  void Open(std::string_view table_name, const TTableOpenOptions& options = {});
  // Releases the cursor's record locks and blob buffers; the last cursor of
  // a table closes it.
  void Close();
  bool IsOpen() const { return static_cast<bool>(table_); }
  const std::string& TableName() const;
  bool Exclusive() const { return options_.Exclusive; }
  bool ReadOnly() const { return options_.ReadOnly; }
  TDataDirectory& Directory() const { return *directory_; }
  TDataTable& Table() const;

  // ---- Structural operations ---------------------------------------------
  // Validates the definition's fields and creates the table's files. The cursor
  // must ask for exclusive use (STRATA_NEEDEXCLACCESS) and must not have the
  // table open (STRATA_TABLEOPEN); STRATA_TABLEEXISTS (13060) when the table
  // exists and `overwrite` is off.
  void CreateTable(const TTableDefinition& definition,
                   const TTableOpenOptions& options = {.Exclusive = true}, bool overwrite = false);
  // Deletes the open table (all three files); the cursor closes.
  // STRATA_NEEDEXCLACCESS (10253) unless opened exclusively.
  void DeleteTable();
  // Opens `table_name` exclusively and deletes it (STRATA_TABLEOPEN when this
  // cursor has a table open).
  void DeleteTable(std::string_view table_name, const TTableOpenOptions& options = {});
  // Renames the open table (all three files) to `new_name`; the cursor
  // closes. STRATA_NEEDEXCLACCESS (10253) unless opened exclusively;
  // STRATA_TABLEEXISTS (13060) when a table of that name exists (the table
  // then stays open under its old name).
  void RenameTable(std::string_view new_name);
  // Removes every record (STRATA_NEEDEXCLACCESS unless opened exclusively).
  void EmptyTable();
  // The highest row number given so far (the next record gets the one
  // above it), and setting it (STRATA_NEEDEXCLACCESS unless opened
  // exclusively), e.g. when a table's records are copied into a new one.
  int32_t LastAutoIncrement();
  void SetLastAutoIncrement(int32_t value);
  // Adds an index and fills it from the live records; returns its slot (0 for
  // the primary). STRATA_NEEDEXCLACCESS (10253) unless opened exclusively;
  // STRATA_INVALIDKEY (10026) when the key fields' key bytes (each field's key
  // width + 1) sum to less than 1 or more than 522; the other definition rules
  // as the index file applies them.
  int AddIndex(const TIndexDef& definition);
  // Empties every index tree (the definitions stay) and fills them again from
  // the live records; the current record stays current. STRATA_NEEDEXCLACCESS
  // (10253) unless opened exclusively; STRATA_KEYVIOL (9729) when the records
  // break a unique index (the indexes are then as before).
  void RebuildIndexes();
  // Sorts the records in place on `columns` (record_sort.h, sort_key.h):
  // afterwards slot, row-number and natural order are the sorted order, and
  // the indexes are rebuilt. `rules` give the collapsing, the per-record
  // decision and the limit; the key order and the scratch files (".TMP" in
  // the session's private directory) are the cursor's. The cursor goes
  // before the first record. STRATA_NEEDEXCLACCESS (10253) unless opened
  // exclusively. (cursor_sort.cpp)
  TRecordSortOutcome SortRecords(std::span<const TSortColumn> columns, bool case_insensitive,
                                 TRecordSortRules rules);

  // ---- Fields --------------------------------------------------------------
  const std::vector<TFieldDescriptor>& Fields() const;
  // Field by number (from 1) or name (letter case ignored); STRATA_OUTOFRANGE
  // (9985) otherwise.
  const TFieldDescriptor& Field(uint16_t field_number) const;
  uint16_t FieldNumber(std::string_view name) const;
  uint16_t RecordSize() const;

  // ---- Indexes -------------------------------------------------------------
  int CurrentIndex() const { return index_; }
  // Switches the current index: 0 primary, 1..30 secondary, 31 row order. The
  // current record stays current; a range (made of the old index's keys) is
  // cancelled. STRATA_INVALIDINDEXNAME (10022) naming the index for a slot or
  // name not in use.
  void SetIndex(int index);
  void SetIndex(std::string_view name);  // "" is the primary index
  const TIndexDescriptor& IndexDescriptor(int index) const;
  // The slots of the indexes kept for the table (primary, secondaries, row order).
  std::vector<int> Indexes() const;

  // ---- Positioning ---------------------------------------------------------
  // Before the first / after the last record of the view.
  void First();
  void Last();
  // The next / previous record becomes current; at the end STRATA_EOF (8706)
  // (STRATA_BOF at the beginning) and the cursor stays after the last (before
  // the first) record.
  void Next();
  void Prior();
  // As Next / Prior, but false at the end instead of an error.
  bool MoveNext();
  bool MovePrior();
  // At an end of the view both hold when the view is empty; whether it is
  // is looked up when asked (moving to an end does not look for records).
  bool Bof();
  bool Eof();
  bool OnRecord() const { return state_ == kOnRecord; }

  // The current record buffer. STRATA_NOCURRREC (8709) when the view is empty,
  // STRATA_BOF (8705) / STRATA_EOF (8706) at an end, STRATA_NOCURRREC (8709) on
  // the place of a record this cursor deleted, STRATA_KEYORRECDELETED (8708) on
  // one another user deleted. With `lock`, the record is fetched for a change:
  // under lpPessimistic it is locked (STRATA_RECLOCKFAILED when another user
  // holds it) until the change is posted or cancelled; under either protocol
  // STRATA_KEYORRECDELETED (8708) is raised (and the lock given back) when the
  // stored record differs from the cursor's copy, which then takes the stored
  // record.
  const std::vector<uint8_t>& GetCurrentRecord(bool lock = false);
  // As above, copied into `record` (RecordSize() bytes).
  void GetCurrentRecord(std::span<uint8_t> record, bool lock = false);
  // Reads up to `max` records forwards (as repeated Next) under one read
  // lock, calling `visit` with the cursor on each; stops early when `visit`
  // returns false. Returns how many records were visited; at the end the
  // cursor is after the last record.
  uint32_t ScanNext(uint32_t max, const std::function<bool(TDataCursor&)>& visit);

  // Records in the view.
  uint32_t RecordCount();
  // Records in the view counted along the index up to `limit` (the cursor
  // stays where it is; records are read only for a filter that needs them).
  uint32_t CountUpTo(uint32_t limit);
  // The current record's ordinal in the view (from 1); 0 when not on a record.
  uint32_t RecordNumber();
  // Makes the record with this ordinal current: STRATA_BOF (8705) below 1,
  // STRATA_EOF (8706) beyond the last (the cursor stays where it was).
  void SetRecordNumber(uint32_t ordinal);

  // Searches the current index for the given values of its first key fields
  // (values.size() of them, or a ready key with its number of fields; -1:
  // the whole key). Only the given fields take part. Returns whether a
  // matching record was found (it becomes current). Without `nearest` a
  // failed search leaves the cursor where it was; with it the cursor goes to
  // the first record whose key is not below the given one (Eof when none).
  bool FindKey(std::span<const TKeyFieldValue> values, bool nearest = false);
  bool FindKey(std::span<const uint8_t> key, int field_count, bool nearest = false);
  // Text values of the first key fields, converted as PutFieldText does.
  bool FindKeyText(std::span<const std::string> values, bool nearest = false);
  // The key of the current index for a record buffer, or for values of its
  // first key fields (STRATA_INVALIDKEY for more values than the index has key
  // fields).
  std::vector<uint8_t> BuildKey(std::span<const uint8_t> record) const;
  std::vector<uint8_t> BuildKey(std::span<const TKeyFieldValue> values) const;

  // Makes the current record of `other` (a cursor on the same table) current
  // here. STRATA_NOCURRREC (8709) when `other` has none, STRATA_RECNOTFOUND
  // (8710) when the record is not in this cursor's view.
  void GotoCursor(TDataCursor& other);

  // Restricts the view to the keys between start and end inclusive; the
  // first `*_fields` key fields of each bound take part (0: no bound on that
  // side). The current record stays when it is inside, else the cursor goes
  // before the first record. A start above the end gives an empty view.
  void SetRange(std::span<const TKeyFieldValue> start, std::span<const TKeyFieldValue> end);
  void SetRange(std::span<const uint8_t> start_key, int start_fields,
                std::span<const uint8_t> end_key, int end_fields);
  void CancelRange();
  bool HasRange() const { return range_.Active; }

  // Runs change detection and reads the current record again (dropping
  // changes not posted).
  void Refresh();

  // Bookmarks. GetBookmark: STRATA_NOCURRREC (8709) when not on a record.
  // GotoBookmark: STRATA_RECNOTFOUND (8710) when the record is gone or not in
  // the view. Compare: by order in the current index (invalid bookmarks by
  // record number); <0, 0, >0.
  TBookmark GetBookmark() const;
  void GotoBookmark(const TBookmark& bookmark);
  bool BookmarkValid(const TBookmark& bookmark);
  int CompareBookmarks(const TBookmark& a, const TBookmark& b);

  // ---- Filters -----------------------------------------------------------
  // Installs a filter set (nullptr removes it); the cursor goes before the
  // first record of the new view.
  void SetFilter(std::shared_ptr<TCursorFilter> filter);
  const std::shared_ptr<TCursorFilter>& Filter() const { return filter_; }

  // ---- The record buffer and its fields -----------------------------------
  const std::vector<uint8_t>& RecordBuffer() const { return buffer_; }
  // Whether the buffer holds changes not yet posted.
  bool Modified() const { return modified_; }
  // A new record: zero-filled, fields set from their default texts, no row
  // number yet (InsertRecord gives one); drops the blob buffers.
  void InitRecord();
  // Replaces the buffer (RecordSize() bytes), e.g. to insert a copy.
  void SetRecordBuffer(std::span<const uint8_t> record);

  // Field access on the cursor's buffer (Get: returns whether blank; `dest`
  // holds the field's data size, see record_buffer.h) ...
  bool GetField(uint16_t field, std::span<uint8_t> dest) const;
  bool IsFieldBlank(uint16_t field) const;
  // A blob field takes `value` as its whole blob value.
  void PutField(uint16_t field, std::span<const uint8_t> value);
  // A blob field made blank loses its value when the record is posted.
  void PutFieldBlank(uint16_t field);
  // ... and on a caller's buffer of RecordSize() bytes.
  bool GetField(uint16_t field, std::span<const uint8_t> record, std::span<uint8_t> dest) const;
  void PutField(uint16_t field, std::span<uint8_t> record, std::span<const uint8_t> value) const;

  // Text forms: the value texts of the field type (dates "2024-05-31", times
  // "13:05:00.250", timestamps "2024-05-31 13:05:00", booleans TRUE/FALSE,
  // numbers in decimal); fixed and variable bytes as hexadecimal digits; a
  // blob field's value as its bytes. nullopt for a blank field. Putting an
  // empty text makes the field blank. Texts that do not parse raise
  // EConvertError.
  std::optional<std::string> GetFieldText(uint16_t field);
  std::optional<std::string> GetFieldText(std::string_view name) {
    return GetFieldText(FieldNumber(name));
  }
  void PutFieldText(uint16_t field, std::string_view text);
  void PutFieldText(std::string_view name, std::string_view text) {
    PutFieldText(FieldNumber(name), text);
  }
  // Typed shortcuts (see field_value.h for the type codes each serves).
  std::optional<int64_t> GetFieldInt64(uint16_t field) const;
  std::optional<double> GetFieldDouble(uint16_t field) const;
  std::optional<std::string> GetFieldString(uint16_t field) const;
  void PutFieldInt64(uint16_t field, int64_t value);
  void PutFieldDouble(uint16_t field, double value);
  void PutFieldString(uint16_t field, std::string_view value);

  // ---- Changing records ----------------------------------------------------
  // Inserts the buffer as a new record, which becomes current: checks required
  // fields and limits (STRATA_REQDERR, STRATA_MINVALERR, STRATA_MAXVALERR),
  // uniqueness (STRATA_KEYVIOL) before any change, then takes a slot, its
  // record lock and a row number (unless one was put into the auto-increment
  // field), writes the blob values, the keys and the record, and flushes so
  // that the change counters advance. STRATA_OSEACCES (11013) through a
  // read-only cursor.
  void InsertRecord();
  void InsertRecord(std::span<const uint8_t> record);
  // Writes the buffer over the current record: STRATA_KEYORRECDELETED (8708)
  // when the stored record differs from the cursor's copy, then record lock,
  // uniqueness of changed keys (STRATA_KEYVIOL), blob values, keys moved,
  // record written, flush. The record stays current (the row number is kept).
  void ModifyRecord();
  // Deletes the current record (STRATA_KEYORRECDELETED as for ModifyRecord):
  // its blob values and keys are removed and its slot freed. The cursor stays
  // on its place.
  void DeleteRecord();
  // Drops the buffer's changes and blob edits and releases the record lock
  // taken for editing.
  void Cancel();

  // ---- Blobs (field by number; STRATA_NOTABLOB for a field that is not a blob)
  // Loads the field's value of the buffer's record into its blob buffer
  // (done by the other calls when needed).
  void OpenBlob(uint16_t field);
  // Up to `count` bytes from `offset` (STRATA_INVALIDBLOBOFFSET beyond the
  // end).
  std::vector<uint8_t> ReadBlob(uint16_t field, uint64_t offset, size_t count);
  size_t ReadBlob(uint16_t field, uint64_t offset, size_t count, uint8_t* out);
  // The whole value.
  std::vector<uint8_t> ReadBlob(uint16_t field);
  // Changes the buffer only; the blob file is written when the record is posted.
  void WriteBlob(uint16_t field, uint64_t offset, std::span<const uint8_t> bytes);
  // Replaces the whole value.
  void SetBlob(uint16_t field, std::span<const uint8_t> bytes);
  void TruncateBlob(uint16_t field, uint64_t size);
  uint64_t BlobSize(uint16_t field);
  // Drops the field's blob buffer (and its unposted changes).
  void FreeBlob(uint16_t field);

  // ---- State for tests and tools ---------------------------------------------
  // Set when STRATA_KEYORRECDELETED (8708) was raised for the current record;
  // cleared when another record becomes current.
  bool RecordChangedMark() const { return changed_mark_; }
  // The record number (slot) of the current record, 0 when none.
  uint32_t CurrentRecordNumber() const { return state_ == kOnRecord ? record_number_ : 0; }
  int CursorId() const { return table_.CursorId(); }

 private:
  enum TCursorState { kBof, kEof, kOnRecord, kGone };
  struct TRange {
    bool Active = false;
    std::vector<uint8_t> Start;
    int StartFields = 0;
    std::vector<uint8_t> End;
    int EndFields = 0;
  };
  struct TTableState {
    uint32_t Data = 0;
    uint32_t Index = 0;
    uint32_t Blob = 0;
    friend bool operator==(const TTableState&, const TTableState&) = default;
  };

  // cursor_navigation.cpp: one reading operation (read lock, catch-up, note).
  template <class Work>
  auto Reading(Work&& work) -> decltype(work());

  // data_cursor.cpp
  void RequireOpen() const;
  void RequireWritable() const;
  void RequireExclusive() const;
  void ResetPosition();
  void ResetState();
  // Fills the indexes of an index file made anew (the file was missing).
  void FillNewIndexFile();
  // STRATA_KEYVIOL (9729) when two live records have equal keys in one of the
  // given unique indexes.
  void CheckUniqueAcrossRecords(const std::vector<int>& indexes);
  // Inserts the keys of every live record into the given indexes.
  void FillIndexes(const std::vector<int>& indexes);
  int ResolveIndex(int index) const;

  // cursor_view.cpp: the view, positions and change detection (no locks taken)
  TDataFile& Data() const;
  TIndexFile& IndexFile() const;
  TBlobFile* BlobFile() const;
  bool BeforeStart(const TIndexPosition& pos) const;
  bool BeyondEnd(const TIndexPosition& pos) const;
  bool InRange(const TIndexPosition& pos) const;
  bool Filtering() const { return filter_ && filter_->Narrows(); }
  bool Accepted(const TIndexPosition& pos);
  bool InView(const TIndexPosition& pos) { return InRange(pos) && Accepted(pos); }
  bool ViewFirst(TIndexPosition& pos);
  bool ViewLast(TIndexPosition& pos);
  bool ViewNext(TIndexPosition& pos);
  bool ViewPrior(TIndexPosition& pos);
  bool ViewEmpty();
  bool SettleForward(TIndexPosition& pos, bool on_entry);
  bool SettleBackward(TIndexPosition& pos, bool on_entry);
  uint32_t ViewCount();
  uint32_t ViewOrdinal(TIndexPosition& pos);
  bool RangeEmpty();
  // Reads live record `number` into `out`; false when the slot is not a live
  // record (or lies beyond the slots).
  bool ReadStored(uint32_t number, std::vector<uint8_t>& out, bool forward = false);
  // Makes the entry at `pos` the current record (reads it).
  void TakeRecord(const TIndexPosition& pos, bool forward = false);
  void SetAtEnd(bool at_end);
  // Settles bof_ and eof_ after SetAtEnd: both when the view is empty. The
  // caller holds the read lock.
  void SettleEnds();
  void SetGone(std::vector<uint8_t> key, uint16_t code);
  // Places the cursor on record `number` whose key in the current index is
  // `key`; when it is not in the view the cursor stands on its place.
  void PlaceOn(uint32_t number, const std::vector<uint8_t>& key, uint16_t gone_code);
  bool StepForward();
  bool StepBackward();
  // Change detection, per cursor: the table's three change counters as this
  // cursor last saw them. When they moved, the cursor re-synchronises: reads
  // its record again and re-finds its place in the current index.
  void SyncWithTable(bool force = false);
  void NoteTableState();
  TTableState CurrentTableState() const;
  void Resync(bool reread_buffer);
  // Leaving the current record: edits dropped, edit lock released.
  void LeaveRecord();
  // Changes not posted and blob edits dropped (the edit lock stays).
  void DropEdits();
  void ReleaseEditLock() noexcept;

  // cursor_change.cpp
  void CheckUniqueKeys(std::span<const uint8_t> record, uint32_t own_record,
                       std::span<const uint8_t> old_record);
  bool WriteInsertBlobs(std::vector<uint8_t>& record, int32_t row_number);
  bool WriteModifyBlobs(std::vector<uint8_t>& record, std::span<const uint8_t> stored,
                        int32_t row_number);
  void AbandonChanges() noexcept;
  void RaiseRecordChanged(uint32_t number);
  void CheckRecordAgainstStored(uint32_t number, std::vector<uint8_t>& stored);

  // cursor_blob.cpp
  const TFieldDescriptor& BlobField(uint16_t field) const;
  TBlobBuffer& Blob(uint16_t field);
  void DropBlobs();
  uint32_t BlobReference(std::span<const uint8_t> record, const TFieldDescriptor& field) const;
  void SetBlobReference(std::span<uint8_t> record, const TFieldDescriptor& field,
                        uint32_t reference) const;

  std::shared_ptr<TDataDirectory> directory_;
  TTableRef table_;
  TTableOpenOptions options_;
  std::string table_name_;
  TRecordContext context_;

  int index_ = kRowOrderIndex;
  TIndexPosition pos_;
  TCursorState state_ = kBof;
  bool bof_ = true;
  bool eof_ = false;
  // bof_ and eof_ tell only the end the cursor stands at until SettleEnds
  // has looked whether the view is empty.
  bool ends_pending_ = false;
  // Where a record that has gone stood: its key in the current index, and
  // the code GetCurrentRecord raises there.
  std::vector<uint8_t> gone_key_;
  uint16_t gone_code_ = 0;
  TRange range_;
  std::shared_ptr<TCursorFilter> filter_;

  uint32_t record_number_ = 0;  // slot of the current record
  std::vector<uint8_t> image_;  // the current record as last read
  std::vector<uint8_t> buffer_;
  std::vector<uint8_t> scratch_;  // a record being read (keeps its capacity)
  std::vector<uint8_t> checked_;  // a record a filter checks (keeps its capacity)
  bool modified_ = false;
  bool row_number_given_ = false;  // the auto-increment field was put
  uint32_t edit_lock_ = 0;         // record locked for a pessimistic edit
  bool changed_mark_ = false;
  std::map<uint16_t, std::unique_ptr<TBlobBuffer>> blobs_;
  TTableState seen_;
};

}  // namespace strata
