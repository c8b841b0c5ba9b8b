// TDataCursor: inserting, modifying and deleting records.
//
// Each change runs inside the table's write lock (table mutex, index write
// region, blob write region) and holds the record lock of the record it
// changes; locks are released in reverse order on every path. Nothing is
// changed before every check that can refuse the operation has passed (record
// check, STRATA_KEYORRECDELETED, record lock, uniqueness). Should a later step
// fail (a damaged file, a full table, a failed write), the caches are dropped
// back to the files' state outside a transaction; inside one, the transaction
// has to be rolled back.
#include <algorithm>
#include <array>
#include <cstring>

#include "storage/best_effort.h"
#include "storage/blob/blob_buffer.h"
#include "storage/blob/blob_file.h"
#include "storage/cursor/data_cursor.h"
#include "storage/data/data_file.h"
#include "storage/engine_error.h"
#include "storage/index/index_file.h"
#include "storage/record/record_check.h"
#include "storage/record/record_header.h"
#include "storage/table/data_table.h"
#include "storage/table/table_lock_guards.h"

namespace strata {

namespace {

// The maintained indexes whose keys a record change touches, in slot order,
// without allocating (asked for twice by every change).
class TIndexList {
 public:
  void Add(int index) { items_[count_++] = index; }
  const int* begin() const { return items_.data(); }
  const int* end() const { return items_.data() + count_; }

 private:
  std::array<int, kIndexSlotCount> items_{};
  size_t count_ = 0;
};

TIndexList MaintainedIndexes(TIndexFile& index_file) {
  // Only the primary, the secondaries up to the count and "Sys Deleted" can
  // be maintained.
  TIndexList indexes;
  const int last = std::min<int>(index_file.Header().SecondaryCount, kMaxSecondaryIndexes);
  for (int index = 0; index <= last; ++index) {
    if (index_file.IsMaintained(index)) indexes.Add(index);
  }
  if (index_file.IsMaintained(kSysDeletedIndex)) indexes.Add(kSysDeletedIndex);
  return indexes;
}

// Runs its action when the scope is left by an error, unless dismissed.
template <typename Action>
class TOnFailure {
 public:
  explicit TOnFailure(Action action) : action_(std::move(action)) {}
  ~TOnFailure() {
    if (armed_) action_();
  }
  TOnFailure(const TOnFailure&) = delete;
  TOnFailure& operator=(const TOnFailure&) = delete;
  void Dismiss() { armed_ = false; }

 private:
  Action action_;
  bool armed_ = true;
};

}  // namespace

void TDataCursor::AbandonChanges() noexcept {
  if (!table_ || table_->InTransaction()) return;
  // Everything before this operation has reached the files: dropping the
  // caches brings back that state.
  BestEffort([&] { Data().DiscardChanges(); });
  BestEffort([&] { IndexFile().DiscardChanges(); });
  if (TBlobFile* blob = BlobFile()) {
    BestEffort([&] { blob->DiscardChanges(); });
  }
}

void TDataCursor::RaiseRecordChanged(uint32_t number) {
  // The cursor takes the stored record (or the place of a deleted one) so
  // that a new attempt starts from what is there now.
  std::vector<uint8_t> stored;
  const std::vector<uint8_t> old_key = IndexFile().BuildKey(index_, image_.data());
  LeaveRecord();
  if (ReadStored(number, stored) && GetRowNumber(stored.data()) == GetRowNumber(image_.data())) {
    image_ = stored;
    buffer_ = stored;
    PlaceOn(number, IndexFile().BuildKey(index_, stored.data()), STRATA_KEYORRECDELETED);
  } else {
    SetGone(old_key, STRATA_KEYORRECDELETED);
  }
  changed_mark_ = true;
  RaiseTableError(STRATA_KEYORRECDELETED, table_name_);
}

void TDataCursor::CheckRecordAgainstStored(uint32_t number, std::vector<uint8_t>& stored) {
  if (!ReadStored(number, stored) || stored != image_) RaiseRecordChanged(number);
}

void TDataCursor::CheckUniqueKeys(std::span<const uint8_t> record, uint32_t own_record,
                                  std::span<const uint8_t> old_record) {
  TIndexFile& index_file = IndexFile();
  uint8_t key[kMaxKeySize];
  uint8_t old_key[kMaxKeySize];
  for (int index : MaintainedIndexes(index_file)) {
    const TIndexKeyFormat& format = index_file.KeyFormat(index);
    if (!format.Unique()) continue;
    index_file.BuildKey(index, record.data(), key);
    if (!old_record.empty()) {
      index_file.BuildKey(index, old_record.data(), old_key);
      if (std::memcmp(key, old_key, format.KeySize()) == 0) continue;
    }
    index_file.CheckUnique(index, key, own_record);
  }
}

// Blob values of the record being posted -----------------------------------------

bool TDataCursor::WriteInsertBlobs(std::vector<uint8_t>& record, int32_t row_number) {
  TBlobFile* file = BlobFile();
  if (file == nullptr) return false;
  bool wrote = false;
  for (const TFieldDescriptor& field : Fields()) {
    if (!field.IsBlob()) continue;
    std::vector<uint8_t> value;
    auto found = blobs_.find(field.FieldNumber);
    if (found != blobs_.end()) {
      value = found->second->Bytes();
    } else if (const uint32_t reference = BlobReference(record, field);
               reference != 0 && state_ == kOnRecord && reference == BlobReference(image_, field)) {
      // A copy of the current record: its value is copied too. Other
      // references are not this record's to share.
      value = file->ReadValue(reference, static_cast<uint32_t>(GetRowNumber(image_.data())));
    }
    uint32_t first_block = 0;
    if (!value.empty()) {
      first_block = file->WriteValue(0, static_cast<uint32_t>(row_number), value);
      wrote = true;
    }
    SetBlobReference(record, field, first_block);
  }
  return wrote;
}

bool TDataCursor::WriteModifyBlobs(std::vector<uint8_t>& record, std::span<const uint8_t> stored,
                                   int32_t row_number) {
  TBlobFile* file = BlobFile();
  if (file == nullptr) return false;
  bool wrote = false;
  for (const TFieldDescriptor& field : Fields()) {
    if (!field.IsBlob()) continue;
    // The stored record owns its chains; the buffer's references are not
    // trusted.
    uint32_t first_block = BlobReference(stored, field);
    auto found = blobs_.find(field.FieldNumber);
    if (found != blobs_.end() && found->second->Changed()) {
      first_block =
          file->WriteValue(first_block, static_cast<uint32_t>(row_number), found->second->Bytes());
      wrote = true;
    }
    SetBlobReference(record, field, first_block);
  }
  return wrote;
}

// Insert ---------------------------------------------------------------------------

void TDataCursor::InsertRecord(std::span<const uint8_t> record) {
  SetRecordBuffer(record);
  InsertRecord();
}

void TDataCursor::InsertRecord() {
  RequireWritable();
  std::vector<uint8_t> record = buffer_;
  CheckRecord(Fields(), record, context_);

  WriteLock write_lock(table_.Table());
  SyncWithTable();
  TDataFile& data = Data();
  TIndexFile& index_file = IndexFile();
  // The slot the new record will take, locked before anything changes, and
  // the row number it will get: the keys are checked with both in place.
  const uint32_t number = data.FreeChainHead() != 0 ? data.FreeChainHead() : data.NextSlot();
  RecordLock record_lock(table_.Table(), number, table_.CursorId());
  const int32_t row_number =
      row_number_given_ ? GetRowNumber(record.data()) : NextRowNumber(data.LastAutoIncrement());
  SetRecordStatus(record.data(), kRecordLive);
  strata::SetRecordNumber(record.data(), number);
  SetRowNumber(record.data(), row_number);
  CheckUniqueKeys(record, 0, {});

  bool changed = false;
  try {
    changed = true;
    TRecord* slot = data.AllocateSlot();
    if (slot->RecordNumber != number) RaiseTableError(STRATA_FILECORRUPT, table_name_);
    if (!row_number_given_) {
      data.AllocateRowNumber();
    } else if (row_number > data.LastAutoIncrement()) {
      // A row number given explicitly is never handed out again.
      data.SetLastAutoIncrement(row_number);
    }
    const bool blobs_written = WriteInsertBlobs(record, row_number);

    std::vector<uint8_t> key;
    for (int index : MaintainedIndexes(index_file)) {
      key.resize(index_file.KeySize(index));
      index_file.BuildKey(index, record.data(), key.data());
      index_file.Insert(index, key.data(), number);
    }
    // The slot's record stays cached while modified; fetch it again in case
    // the blob or index work read other records meanwhile.
    slot = data.ReadRecord(number);
    std::copy(record.begin(), record.end(), slot->Buffer.begin());
    data.MarkModified(slot);
    table_->FlushAfterChange(blobs_written);
    changed = false;

    // The new record becomes current.
    LeaveRecord();
    image_ = record;
    buffer_ = record;
    record_number_ = number;
    if (filter_) filter_->RecordWritten(number, record);
    PlaceOn(number, index_file.BuildKey(index_, record.data()), STRATA_NOCURRREC);
  } catch (...) {
    if (changed) AbandonChanges();
    throw;
  }
  record_lock.Release();
  write_lock.Release();
  NoteTableState();
}

// Modify ---------------------------------------------------------------------------

void TDataCursor::ModifyRecord() {
  RequireWritable();
  if (state_ != kOnRecord) GetCurrentRecord();  // raises the reason there is none
  CheckRecord(Fields(), buffer_, context_);
  WriteLock write_lock(table_.Table());
  // A failed change gives the record lock of an edit back too, before the
  // write lock goes.
  TOnFailure release_edit([this] { ReleaseEditLock(); });
  {
    SyncWithTable();
    if (state_ != kOnRecord) RaiseTableError(gone_code_, table_name_);
    const uint32_t number = record_number_;
    std::vector<uint8_t> stored;
    CheckRecordAgainstStored(number, stored);
    RecordLock record_lock(table_.Table(), number, table_.CursorId());

    TIndexFile& index_file = IndexFile();
    std::vector<uint8_t> record = buffer_;
    SetRecordStatus(record.data(), kRecordLive);
    strata::SetRecordNumber(record.data(), number);
    const int32_t row_number = GetRowNumber(stored.data());
    SetRowNumber(record.data(), row_number);
    CheckUniqueKeys(record, number, stored);

    bool changed = false;
    try {
      changed = true;
      const bool blobs_written = WriteModifyBlobs(record, stored, row_number);
      // Keys built into buffers on the stack (a key format's size never
      // exceeds kMaxKeySize): a change allocates no key.
      uint8_t stored_key[kMaxKeySize];
      uint8_t changed_key[kMaxKeySize];
      for (int index : MaintainedIndexes(index_file)) {
        index_file.BuildKey(index, stored.data(), stored_key);
        index_file.BuildKey(index, record.data(), changed_key);
        if (std::memcmp(stored_key, changed_key, index_file.KeyFormat(index).KeySize()) == 0) {
          continue;
        }
        index_file.Delete(index, stored_key, number);
        index_file.Insert(index, changed_key, number);
      }
      TRecord* slot = Data().ReadRecord(number);
      std::copy(record.begin(), record.end(), slot->Buffer.begin());
      Data().MarkModified(slot);
      table_->FlushAfterChange(blobs_written);
      changed = false;

      // The record stays current, found again by its new key; should it
      // have left the view, the cursor keeps the place it had.
      const std::vector<uint8_t> old_key = index_file.BuildKey(index_, stored.data());
      LeaveRecord();
      image_ = record;
      buffer_ = record;
      if (filter_) filter_->RecordWritten(number, record);
      PlaceOn(number, index_file.BuildKey(index_, record.data()), STRATA_NOCURRREC);
      if (state_ == kGone) gone_key_ = old_key;
    } catch (...) {
      if (changed) AbandonChanges();
      throw;
    }
    release_edit.Dismiss();
    record_lock.Release();
  }
  write_lock.Release();
  NoteTableState();
}

// Delete ---------------------------------------------------------------------------

void TDataCursor::DeleteRecord() {
  RequireWritable();
  if (state_ != kOnRecord) GetCurrentRecord();  // raises the reason there is none
  WriteLock write_lock(table_.Table());
  TOnFailure release_edit([this] { ReleaseEditLock(); });
  {
    SyncWithTable();
    if (state_ != kOnRecord) RaiseTableError(gone_code_, table_name_);
    const uint32_t number = record_number_;
    std::vector<uint8_t> stored;
    CheckRecordAgainstStored(number, stored);
    RecordLock record_lock(table_.Table(), number, table_.CursorId());

    TIndexFile& index_file = IndexFile();
    const int32_t row_number = GetRowNumber(stored.data());
    bool changed = false;
    try {
      changed = true;
      bool blobs_freed = false;
      if (TBlobFile* file = BlobFile()) {
        for (const TFieldDescriptor& field : Fields()) {
          if (!field.IsBlob()) continue;
          if (const uint32_t first_block = BlobReference(stored, field); first_block != 0) {
            file->FreeValue(first_block, static_cast<uint32_t>(row_number));
            blobs_freed = true;
          }
        }
      }
      for (int index : MaintainedIndexes(index_file)) {
        const std::vector<uint8_t> key = index_file.BuildKey(index, stored.data());
        index_file.Delete(index, key.data(), number);
      }
      Data().FreeSlot(number);
      table_->FlushAfterChange(blobs_freed);
      changed = false;

      // The cursor stays on the place of the deleted record.
      std::vector<uint8_t> key = index_file.BuildKey(index_, stored.data());
      LeaveRecord();
      if (filter_) filter_->RecordRemoved(number);
      SetGone(std::move(key), STRATA_NOCURRREC);
    } catch (...) {
      if (changed) AbandonChanges();
      throw;
    }
    release_edit.Dismiss();
    record_lock.Release();
  }
  write_lock.Release();
  NoteTableState();
}

void TDataCursor::Cancel() {
  RequireOpen();
  ReleaseEditLock();
  DropEdits();
  if (state_ == kOnRecord) {
    buffer_ = image_;
  } else {
    std::fill(buffer_.begin(), buffer_.end(), 0);
  }
}

}  // namespace strata
