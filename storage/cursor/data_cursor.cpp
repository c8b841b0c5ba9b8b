// TDataCursor: opening and closing, structural operations, indexes.
#include "storage/cursor/data_cursor.h"
#include "storage/best_effort.h"

#include <algorithm>
#include <string>

#include "storage/blob/blob_buffer.h"
#include "storage/data/data_file.h"
#include "storage/engine_error.h"
#include "storage/engine_names.h"
#include "storage/index/index_file.h"
#include "storage/record/field_validation.h"
#include "storage/record/record_header.h"
#include "storage/table/data_table.h"
#include "storage/table/table_lock_guards.h"

namespace strata {

TDataCursor::TDataCursor(std::shared_ptr<TDataDirectory> directory)
    : directory_(std::move(directory)) {}

TDataCursor::~TDataCursor() {
  try {
    Close();
  } catch (...) {
    // A destructor cannot report; the table reference has been given back.
  }
}

// Opening and closing ---------------------------------------------------------

void TDataCursor::Open(std::string_view table_name, const TTableOpenOptions& options) {
  Close();
  TTableRef table = directory_->OpenTable(table_name, options);
  table_ = std::move(table);
  options_ = options;
  table_name_ = table_->Name();
  try {
    context_ = Data().Context();
    ResetState();
    if (table_->NeedsIndexRebuild()) FillNewIndexFile();
    NoteTableState();
  } catch (...) {
    TTableRef failed = std::move(table_);
    BestEffort([&] { failed.Release(); });
    throw;
  }
}

void TDataCursor::Close() {
  if (!table_) return;
  ReleaseEditLock();
  DropBlobs();
  TTableRef table = std::move(table_);
  ResetState();
  range_ = TRange{};
  table.Release();
}

void TDataCursor::ResetState() {
  index_ = kRowOrderIndex;
  range_ = TRange{};
  ResetPosition();
  const size_t size = table_ ? RecordSize() : 0;
  image_.assign(size, 0);
  buffer_.assign(size, 0);
  modified_ = false;
  row_number_given_ = false;
  changed_mark_ = false;
  edit_lock_ = 0;
}

void TDataCursor::ResetPosition() {
  pos_.Reset(index_);
  state_ = kBof;
  bof_ = true;
  eof_ = false;
  ends_pending_ = false;
  record_number_ = 0;
  gone_key_.clear();
  gone_code_ = 0;
}

const std::string& TDataCursor::TableName() const { return table_name_; }

TDataTable& TDataCursor::Table() const {
  RequireOpen();
  return table_.Table();
}

void TDataCursor::RequireOpen() const {
  // A cursor that is not open has no table to name: the error names the
  // table it last had, if any.
  if (!table_) RaiseTableError(STRATA_OSEBADF, table_name_);
}

void TDataCursor::RequireWritable() const {
  RequireOpen();
  if (options_.ReadOnly || table_->ReadOnly()) RaiseTableError(STRATA_OSEACCES, table_name_);
}

void TDataCursor::RequireExclusive() const {
  RequireOpen();
  if (!table_->Exclusive()) RaiseTableError(STRATA_NEEDEXCLACCESS, table_name_);
}

// Structural operations -------------------------------------------------------

void TDataCursor::CreateTable(const TTableDefinition& definition, const TTableOpenOptions& options,
                              bool overwrite) {
  const std::string name = TableNameWithoutExtension(definition.Name);
  if (table_ && TableNameKey(table_->Name()) == TableNameKey(name)) {
    RaiseTableError(STRATA_TABLEOPEN, name);
  }
  if (!options.Exclusive) RaiseTableError(STRATA_NEEDEXCLACCESS, name);
  TTableDefinition validated = definition;
  ValidateFieldDescriptors(validated.Fields, name, validated.Indexes.size(),
                           validated.BlobBlockSize);
  directory_->CreateTable(validated, options, overwrite);
}

void TDataCursor::DeleteTable() {
  RequireExclusive();
  ReleaseEditLock();
  DropBlobs();
  directory_->DeleteTable(table_);
  ResetState();
}

void TDataCursor::DeleteTable(std::string_view table_name, const TTableOpenOptions& options) {
  const std::string name = TableNameWithoutExtension(table_name);
  if (table_) RaiseTableError(STRATA_TABLEOPEN, name);
  if (!options.Exclusive) RaiseTableError(STRATA_NEEDEXCLACCESS, name);
  TTableRef table = directory_->OpenTable(name, options);
  directory_->DeleteTable(table);
}

void TDataCursor::RenameTable(std::string_view new_name) {
  RequireExclusive();
  ReleaseEditLock();
  DropBlobs();
  directory_->RenameTable(table_, new_name);
  ResetState();
}

void TDataCursor::SetLastAutoIncrement(int32_t value) {
  RequireWritable();
  RequireExclusive();
  WriteLock lock(table_.Table());
  SyncWithTable();
  try {
    Data().SetLastAutoIncrement(value);
    table_->FlushAfterChange(false);
  } catch (...) {
    AbandonChanges();
    throw;
  }
  lock.Release();
  NoteTableState();
}

void TDataCursor::EmptyTable() {
  RequireWritable();
  RequireExclusive();
  ReleaseEditLock();
  DropBlobs();
  directory_->EmptyTable(table_);
  ResetPosition();
  eof_ = true;
  image_.assign(RecordSize(), 0);
  buffer_.assign(RecordSize(), 0);
  modified_ = false;
  if (filter_) filter_->TableChanged();
  NoteTableState();
}

int TDataCursor::AddIndex(const TIndexDef& definition) {
  RequireWritable();
  RequireExclusive();
  // The key fields' bytes before the row number: each field's key width
  // and its null-flag byte.
  if (!definition.Primary || !definition.FieldNumbers.empty()) {
    int key_bytes = 0;
    for (uint16_t number : definition.FieldNumbers) {
      const TFieldDescriptor* field = FindField(Fields(), number);
      if (field == nullptr) {
        RaiseEngineError(
            STRATA_INVALIDIDXDESC,
            {.table = table_name_, .field = std::to_string(number), .index = definition.Name});
      }
      key_bytes += KeyValueWidth(*field) + 1;
    }
    if (key_bytes < 1 || key_bytes > kMaxKeyFieldBytes) {
      RaiseIndexError(STRATA_INVALIDKEY, definition.Name, table_name_);
    }
  }
  WriteLock lock(table_.Table());
  SyncWithTable();
  int slot = kPrimaryIndex;
  try {
    if (definition.Primary) {
      IndexFile().DefinePrimary(definition);
    } else {
      slot = IndexFile().AddSecondary(definition);
    }
    if (IndexFile().IsMaintained(slot)) FillIndexes({slot});
    table_->FlushAfterChange(false);
  } catch (...) {
    AbandonChanges();
    throw;
  }
  lock.Release();
  NoteTableState();
  return slot;
}

void TDataCursor::FillNewIndexFile() {
  WriteLock lock(table_.Table());
  try {
    FillIndexes(Indexes());
    table_->FlushAfterChange(false);
  } catch (...) {
    AbandonChanges();
    throw;
  }
  lock.Release();
  table_->SetIndexesRebuilt();
}

void TDataCursor::RebuildIndexes() {
  RequireWritable();
  RequireExclusive();
  WriteLock lock(table_.Table());
  SyncWithTable();
  const std::vector<int> indexes = Indexes();
  // Emptying the index file truncates it at once: every refusal comes first.
  CheckUniqueAcrossRecords(indexes);
  IndexFile().Empty();
  FillIndexes(indexes);
  table_->FlushAfterChange(false);
  // Every position is new: the current record is found again.
  if (state_ == kOnRecord) {
    PlaceOn(record_number_, IndexFile().BuildKey(index_, image_.data()), STRATA_NOCURRREC);
  } else {
    SetAtEnd(state_ == kEof);
  }
  lock.Release();
  NoteTableState();
}

void TDataCursor::CheckUniqueAcrossRecords(const std::vector<int>& indexes) {
  TDataFile& data = Data();
  TIndexFile& index_file = IndexFile();
  for (int index : indexes) {
    if (!index_file.KeyFormat(index).Unique()) continue;
    std::vector<std::vector<uint8_t>> keys;
    for (uint32_t number = 1; number <= data.SlotCount(); ++number) {
      const TRecord* record = data.ReadRecord(number, TReadAhead::kForward);
      if (GetRecordStatus(record->Data()) != kRecordLive) continue;
      keys.push_back(index_file.BuildKey(index, record->Data()));
    }
    auto less = [&](const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
      return index_file.CompareKeys(index, a.data(), b.data()) < 0;
    };
    std::sort(keys.begin(), keys.end(), less);
    for (size_t i = 1; i < keys.size(); ++i) {
      if (!less(keys[i - 1], keys[i])) {
        RaiseIndexError(STRATA_KEYVIOL, index_file.IndexName(index), table_name_);
      }
    }
  }
}

void TDataCursor::FillIndexes(const std::vector<int>& indexes) {
  TDataFile& data = Data();
  TIndexFile& index_file = IndexFile();
  std::vector<uint8_t> key;
  const uint32_t slots = data.SlotCount();
  for (uint32_t number = 1; number <= slots; ++number) {
    const TRecord* record = data.ReadRecord(number, TReadAhead::kForward);
    if (GetRecordStatus(record->Data()) != kRecordLive) continue;
    for (int index : indexes) {
      key.resize(index_file.KeySize(index));
      index_file.BuildKey(index, record->Data(), key.data());
      index_file.Insert(index, key.data(), number);
    }
  }
}

// Indexes ----------------------------------------------------------------------

int TDataCursor::ResolveIndex(int index) const {
  RequireOpen();
  if (index == kPrimaryIndex && !IndexFile().IsMaintained(kPrimaryIndex) &&
      IndexFile().Header().NoPrimaryFields) {
    // A primary index without key fields orders the records by row number.
    return kRowOrderIndex;
  }
  if (index < 0 || index >= kSysTextIndex || !IndexFile().IsMaintained(index)) {
    std::string name = index >= 0 && index < kIndexSlotCount ? IndexFile().IndexName(index) : "";
    if (name.empty()) name = std::to_string(index);
    RaiseIndexError(STRATA_INVALIDINDEXNAME, name, table_name_);
  }
  return index;
}

void TDataCursor::SetIndex(std::string_view name) {
  RequireOpen();
  const int index = IndexFile().FindIndex(name);
  if (index < 0) RaiseIndexError(STRATA_INVALIDINDEXNAME, name, table_name_);
  SetIndex(index);
}

void TDataCursor::SetIndex(int index) {
  const int slot = ResolveIndex(index);
  ReadLock lock(table_.Table());
  SyncWithTable();
  if (slot != index_) {
    if (state_ == kOnRecord) {
      // The record stays current: its entry in the new index (a range
      // belongs to the old index's keys and goes).
      index_ = slot;
      range_ = TRange{};
      PlaceOn(record_number_, IndexFile().BuildKey(slot, image_.data()), STRATA_KEYORRECDELETED);
    } else {
      const bool at_end = state_ == kEof;
      index_ = slot;
      range_ = TRange{};
      pos_.Reset(slot);
      SetAtEnd(at_end);
    }
  }
  lock.Release();
  NoteTableState();
}

const TIndexDescriptor& TDataCursor::IndexDescriptor(int index) const {
  RequireOpen();
  if (index < 0 || index >= kIndexSlotCount) {
    RaiseIndexError(STRATA_INVALIDINDEXNAME, std::to_string(index), table_name_);
  }
  return IndexFile().Descriptor(index);
}

std::vector<int> TDataCursor::Indexes() const {
  RequireOpen();
  const TIndexFile& file = IndexFile();
  std::vector<int> indexes;
  indexes.reserve(kSysTextIndex);  // one allocation, however many there are
  // Beyond the primary only the secondaries up to their count and the slots
  // after the last secondary ("Sys Deleted") can be kept.
  const int last = std::min<int>(file.Header().SecondaryCount, kMaxSecondaryIndexes);
  for (int index = 0; index <= last; ++index) {
    if (file.IsMaintained(index)) indexes.push_back(index);
  }
  for (int index = kMaxSecondaryIndexes + 1; index < kSysTextIndex; ++index) {
    if (file.IsMaintained(index)) indexes.push_back(index);
  }
  return indexes;
}

}  // namespace strata
