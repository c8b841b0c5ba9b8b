// TDataCursor: the view (range and filter over the current index), moving
// through it, and keeping the cursor in step with changes made elsewhere.
//
// The helpers here take no locks; the callers hold the table's read or
// write lock.
#include <algorithm>

#include "storage/blob/blob_file.h"
#include "storage/cursor/data_cursor.h"
#include "storage/data/data_file.h"
#include "storage/engine_error.h"
#include "storage/index/index_file.h"
#include "storage/record/record_header.h"
#include "storage/table/data_table.h"

namespace strata {

namespace {

TKeyLimit LimitOf(int fields) {
  return fields < 0 ? TKeyLimit::Whole() : TKeyLimit::FirstFields(fields);
}

}  // namespace

TDataFile& TDataCursor::Data() const { return table_->DataFile(); }
TIndexFile& TDataCursor::IndexFile() const { return table_->IndexFile(); }
TBlobFile* TDataCursor::BlobFile() const { return table_->BlobFile(); }

// The view --------------------------------------------------------------------

bool TDataCursor::BeforeStart(const TIndexPosition& pos) const {
  return range_.Active && range_.StartFields != 0 &&
         IndexFile().CompareKeys(index_, pos.KeyData(), range_.Start.data(),
                                 LimitOf(range_.StartFields)) < 0;
}

bool TDataCursor::BeyondEnd(const TIndexPosition& pos) const {
  return range_.Active && range_.EndFields != 0 &&
         IndexFile().CompareKeys(index_, pos.KeyData(), range_.End.data(),
                                 LimitOf(range_.EndFields)) > 0;
}

bool TDataCursor::InRange(const TIndexPosition& pos) const {
  return pos.OnEntry() && !BeforeStart(pos) && !BeyondEnd(pos);
}

bool TDataCursor::Accepted(const TIndexPosition& pos) {
  if (!Filtering()) return true;
  if (!filter_->NeedsRecord()) return filter_->Accepts(pos.RecordNumber, {});
  // Read into a buffer kept for the checks: checking records allocates nothing.
  if (!ReadStored(pos.RecordNumber, checked_)) return false;
  return filter_->Accepts(pos.RecordNumber, checked_);
}

bool TDataCursor::SettleForward(TIndexPosition& pos, bool on_entry) {
  while (on_entry) {
    if (BeyondEnd(pos)) return false;
    if (Accepted(pos)) return true;
    on_entry = IndexFile().Next(pos);
  }
  return false;
}

bool TDataCursor::SettleBackward(TIndexPosition& pos, bool on_entry) {
  while (on_entry) {
    if (BeforeStart(pos)) return false;
    if (Accepted(pos)) return true;
    on_entry = IndexFile().Prior(pos);
  }
  return false;
}

bool TDataCursor::ViewFirst(TIndexPosition& pos) {
  pos.Reset(index_);
  bool on_entry;
  if (range_.Active && range_.StartFields != 0) {
    on_entry = IndexFile().Seek(index_, range_.Start.data(), LimitOf(range_.StartFields),
                                TSeekMode::kNotBelow, pos);
  } else {
    on_entry = IndexFile().First(index_, pos);
  }
  return SettleForward(pos, on_entry);
}

bool TDataCursor::ViewLast(TIndexPosition& pos) {
  pos.Reset(index_);
  bool on_entry;
  if (range_.Active && range_.EndFields != 0) {
    // The entry before the first one above the end key (from after the
    // last entry when none is above it).
    IndexFile().Seek(index_, range_.End.data(), LimitOf(range_.EndFields), TSeekMode::kAbove, pos);
    on_entry = IndexFile().Prior(pos);
  } else {
    on_entry = IndexFile().Last(index_, pos);
  }
  return SettleBackward(pos, on_entry);
}

bool TDataCursor::ViewNext(TIndexPosition& pos) {
  return SettleForward(pos, IndexFile().Next(pos));
}

bool TDataCursor::ViewPrior(TIndexPosition& pos) {
  return SettleBackward(pos, IndexFile().Prior(pos));
}

bool TDataCursor::ViewEmpty() {
  TIndexPosition pos;
  return !ViewFirst(pos);
}

uint32_t TDataCursor::ViewCount() {
  if (Filtering()) {
    if (!range_.Active) {
      if (auto known = filter_->KnownCount()) return *known;
    }
    uint32_t count = 0;
    TIndexPosition pos;
    for (bool on = ViewFirst(pos); on; on = ViewNext(pos)) ++count;
    return count;
  }
  if (!range_.Active) return IndexFile().EntryCount(index_);
  TIndexPosition first;
  TIndexPosition last;
  if (!ViewFirst(first) || !ViewLast(last)) return 0;
  const uint32_t from = IndexFile().Ordinal(first);
  const uint32_t to = IndexFile().Ordinal(last);
  return to >= from ? to - from + 1 : 0;
}

uint32_t TDataCursor::ViewOrdinal(TIndexPosition& pos) {
  if (Filtering()) {
    uint32_t ordinal = 0;
    TIndexPosition walk;
    for (bool on = ViewFirst(walk); on; on = ViewNext(walk)) {
      ++ordinal;
      if (walk.RecordNumber == pos.RecordNumber) return ordinal;
    }
    return 0;
  }
  const uint32_t ordinal = IndexFile().Ordinal(pos);
  if (!range_.Active) return ordinal;
  TIndexPosition first;
  if (!ViewFirst(first)) return 0;
  return ordinal - IndexFile().Ordinal(first) + 1;
}

// Records ---------------------------------------------------------------------

bool TDataCursor::ReadStored(uint32_t number, std::vector<uint8_t>& out, bool forward) {
  TDataFile& data = Data();
  if (number == 0 || number > data.SlotCount()) return false;
  const TRecord* record =
      data.ReadRecord(number, forward ? TReadAhead::kForward : TReadAhead::kSingle);
  if (GetRecordStatus(record->Data()) != kRecordLive) return false;
  out.assign(record->Buffer.begin(), record->Buffer.end());
  return true;
}

void TDataCursor::TakeRecord(const TIndexPosition& pos, bool forward) {
  // Read into the scratch buffer and swapped in: stepping through records
  // allocates nothing.
  if (!ReadStored(pos.RecordNumber, scratch_, forward)) {
    // An index entry always names a live record.
    RaiseTableError(STRATA_INDEXCORRUPT, table_name_);
  }
  LeaveRecord();
  pos_ = pos;
  record_number_ = pos.RecordNumber;
  image_.swap(scratch_);
  buffer_.assign(image_.begin(), image_.end());
  state_ = kOnRecord;
  bof_ = false;
  eof_ = false;
  ends_pending_ = false;
  gone_key_.clear();
}

void TDataCursor::LeaveRecord() {
  ReleaseEditLock();
  DropEdits();
  changed_mark_ = false;
}

void TDataCursor::DropEdits() {
  DropBlobs();
  modified_ = false;
  row_number_given_ = false;
}

void TDataCursor::ReleaseEditLock() noexcept {
  if (edit_lock_ == 0 || !table_) return;
  const uint32_t record = edit_lock_;
  edit_lock_ = 0;
  try {
    table_->UnlockRecord(record, table_.CursorId());
  } catch (...) {
    // The lock is gone from the table's books either way.
  }
}

void TDataCursor::SetAtEnd(bool at_end) {
  LeaveRecord();
  // Whether the view is empty costs a walk to its first record: it is
  // looked up only when asked (SettleEnds).
  state_ = at_end ? kEof : kBof;
  bof_ = !at_end;
  eof_ = at_end;
  ends_pending_ = true;
  record_number_ = 0;
  gone_key_.clear();
  gone_code_ = 0;
  pos_.Reset(index_);
  std::fill(image_.begin(), image_.end(), 0);
  std::fill(buffer_.begin(), buffer_.end(), 0);
}

void TDataCursor::SettleEnds() {
  if (!ends_pending_) return;
  if (state_ == kBof || state_ == kEof) {
    if (ViewEmpty()) {
      bof_ = true;
      eof_ = true;
    }
  }
  ends_pending_ = false;
}

void TDataCursor::SetGone(std::vector<uint8_t> key, uint16_t code) {
  state_ = kGone;
  bof_ = false;
  eof_ = false;
  ends_pending_ = false;
  gone_key_ = std::move(key);
  gone_code_ = code;
}

void TDataCursor::PlaceOn(uint32_t number, const std::vector<uint8_t>& key, uint16_t gone_code) {
  TIndexPosition pos;
  pos.Reset(index_);
  if (IndexFile().Locate(index_, key.data(), number, pos) && InView(pos)) {
    pos_ = pos;
    record_number_ = number;
    state_ = kOnRecord;
    bof_ = false;
    eof_ = false;
    ends_pending_ = false;
    gone_key_.clear();
  } else {
    SetGone(key, gone_code);
  }
}

bool TDataCursor::StepForward() {
  TIndexPosition pos = pos_;
  bool on_entry = false;
  switch (state_) {
    case kEof:
      return false;
    case kBof:
      on_entry = ViewFirst(pos);
      break;
    case kOnRecord:
      on_entry = ViewNext(pos);
      break;
    case kGone:
      pos.Reset(index_);
      on_entry =
          IndexFile().Seek(index_, gone_key_.data(), TKeyLimit::Whole(), TSeekMode::kNotBelow, pos);
      on_entry = on_entry && BeforeStart(pos) ? ViewFirst(pos) : SettleForward(pos, on_entry);
      break;
  }
  if (!on_entry) {
    SetAtEnd(true);
    return false;
  }
  TakeRecord(pos, index_ == kRowOrderIndex);
  return true;
}

bool TDataCursor::StepBackward() {
  TIndexPosition pos = pos_;
  bool on_entry = false;
  switch (state_) {
    case kBof:
      return false;
    case kEof:
      on_entry = ViewLast(pos);
      break;
    case kOnRecord:
      on_entry = ViewPrior(pos);
      break;
    case kGone:
      // The entry before the place: from the first entry not below the
      // removed key (or from after the last entry).
      pos.Reset(index_);
      IndexFile().Seek(index_, gone_key_.data(), TKeyLimit::Whole(), TSeekMode::kNotBelow, pos);
      on_entry = IndexFile().Prior(pos);
      on_entry = on_entry && BeyondEnd(pos) ? ViewLast(pos) : SettleBackward(pos, on_entry);
      break;
  }
  if (!on_entry) {
    SetAtEnd(false);
    return false;
  }
  TakeRecord(pos);
  return true;
}

// Change detection --------------------------------------------------------------

TDataCursor::TTableState TDataCursor::CurrentTableState() const {
  TTableState state;
  state.Data = Data().ChangeCounter();
  state.Index = IndexFile().ChangeCounter();
  if (TBlobFile* blob = BlobFile()) state.Blob = blob->ChangeCounter();
  return state;
}

void TDataCursor::NoteTableState() { seen_ = CurrentTableState(); }

void TDataCursor::SyncWithTable(bool force) {
  if (!force && CurrentTableState() == seen_) return;
  if (filter_) filter_->TableChanged();
  Resync(force);
}

void TDataCursor::Resync(bool reread_buffer) {
  if (state_ != kOnRecord) return;  // the other places are found again when moving
  std::vector<uint8_t> stored;
  const bool live = ReadStored(record_number_, stored) &&
                    GetRowNumber(stored.data()) == GetRowNumber(image_.data());
  if (!live) {
    // Deleted (and perhaps its slot reused) by another user.
    std::vector<uint8_t> key = IndexFile().BuildKey(index_, image_.data());
    LeaveRecord();
    SetGone(std::move(key), STRATA_KEYORRECDELETED);
    return;
  }
  if (reread_buffer || !modified_) {
    // Changes not posted are dropped; an edit in progress keeps the record as
    // it was read, so that posting it finds the difference
    // (STRATA_KEYORRECDELETED).
    if (reread_buffer) LeaveRecord();
    if (stored != image_) DropBlobs();
    image_ = stored;
    buffer_ = stored;
    modified_ = false;
  }
  PlaceOn(record_number_, IndexFile().BuildKey(index_, stored.data()), STRATA_KEYORRECDELETED);
  if (state_ == kGone) LeaveRecord();
}

}  // namespace strata
