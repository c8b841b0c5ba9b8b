// TDataCursor: the view (range and filter over the current index), moving
// through it, and keeping the cursor in step with changes made elsewhere.
//
// The helpers here take no locks; the public operations take the table's
// read lock around them.
#include <algorithm>

#include "storage/blob_file.h"
#include "storage/data_cursor.h"
#include "storage/data_file.h"
#include "storage/data_table.h"
#include "storage/engine_error.h"
#include "storage/index_file.h"
#include "storage/record_header.h"
#include "storage/table_lock_guards.h"
#include "storage/value_text.h"

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
  if (!filter_) return true;
  if (!filter_->NeedsRecord()) return filter_->Accepts(pos.RecordNumber, {});
  std::vector<uint8_t> record;
  if (!ReadStored(pos.RecordNumber, record)) return false;
  return filter_->Accepts(pos.RecordNumber, record);
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
    IndexFile().Seek(index_, range_.End.data(), LimitOf(range_.EndFields), TSeekMode::kAbove,
                     pos);
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
  if (filter_) {
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
  if (filter_) {
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
  std::vector<uint8_t> record;
  if (!ReadStored(pos.RecordNumber, record, forward)) {
    // An index entry always names a live record.
    RaiseTableError(STRATA_INDEXCORRUPT, table_name_);
  }
  LeaveRecord();
  pos_ = pos;
  record_number_ = pos.RecordNumber;
  image_ = record;
  buffer_ = std::move(record);
  state_ = kOnRecord;
  bof_ = false;
  eof_ = false;
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
  const bool empty = ViewEmpty();
  state_ = at_end ? kEof : kBof;
  bof_ = !at_end || empty;
  eof_ = at_end || empty;
  record_number_ = 0;
  gone_key_.clear();
  gone_code_ = 0;
  pos_.Reset(index_);
  std::fill(image_.begin(), image_.end(), 0);
  std::fill(buffer_.begin(), buffer_.end(), 0);
}

void TDataCursor::SetGone(std::vector<uint8_t> key, uint16_t code) {
  state_ = kGone;
  bof_ = false;
  eof_ = false;
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
      on_entry = IndexFile().Seek(index_, gone_key_.data(), TKeyLimit::Whole(),
                                  TSeekMode::kNotBelow, pos);
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
    // Changes not posted are dropped; an edit in progress keeps the record
    // as it was read, so that posting it finds the difference (8708).
    if (reread_buffer) LeaveRecord();
    if (stored != image_) DropBlobs();
    image_ = stored;
    buffer_ = stored;
    modified_ = false;
  }
  PlaceOn(record_number_, IndexFile().BuildKey(index_, stored.data()), STRATA_KEYORRECDELETED);
  if (state_ == kGone) LeaveRecord();
}

// Positioning -------------------------------------------------------------------

void TDataCursor::First() {
  RequireOpen();
  ReadLock lock(*table_);
  SyncWithTable();
  SetAtEnd(false);
  lock.Release();
  NoteTableState();
}

void TDataCursor::Last() {
  RequireOpen();
  ReadLock lock(*table_);
  SyncWithTable();
  SetAtEnd(true);
  lock.Release();
  NoteTableState();
}

bool TDataCursor::MoveNext() {
  RequireOpen();
  ReadLock lock(*table_);
  SyncWithTable();
  const bool moved = StepForward();
  lock.Release();
  NoteTableState();
  return moved;
}

bool TDataCursor::MovePrior() {
  RequireOpen();
  ReadLock lock(*table_);
  SyncWithTable();
  const bool moved = StepBackward();
  lock.Release();
  NoteTableState();
  return moved;
}

void TDataCursor::Next() {
  if (!MoveNext()) RaiseTableError(STRATA_EOF, table_name_);
}

void TDataCursor::Prior() {
  if (!MovePrior()) RaiseTableError(STRATA_BOF, table_name_);
}

uint32_t TDataCursor::ScanNext(uint32_t max, const std::function<bool(TDataCursor&)>& visit) {
  RequireOpen();
  ReadLock lock(*table_);
  SyncWithTable();
  uint32_t visited = 0;
  while (visited < max && StepForward()) {
    ++visited;
    if (!visit(*this)) break;
  }
  lock.Release();
  NoteTableState();
  return visited;
}

uint32_t TDataCursor::RecordCount() {
  RequireOpen();
  ReadLock lock(*table_);
  SyncWithTable();
  const uint32_t count = ViewCount();
  lock.Release();
  NoteTableState();
  return count;
}

uint32_t TDataCursor::RecordNumber() {
  RequireOpen();
  if (state_ != kOnRecord) return 0;
  ReadLock lock(*table_);
  SyncWithTable();
  uint32_t ordinal = 0;
  if (state_ == kOnRecord) {
    TIndexPosition pos = pos_;
    ordinal = ViewOrdinal(pos);
  }
  lock.Release();
  NoteTableState();
  return ordinal;
}

void TDataCursor::SetRecordNumber(uint32_t ordinal) {
  RequireOpen();
  if (ordinal == 0) RaiseTableError(STRATA_BOF, table_name_);
  ReadLock lock(*table_);
  SyncWithTable();
  TIndexPosition pos;
  bool found = false;
  if (filter_) {
    uint32_t count = 0;
    for (bool on = ViewFirst(pos); on; on = ViewNext(pos)) {
      if (++count == ordinal) {
        found = true;
        break;
      }
    }
  } else {
    uint32_t base = 1;
    if (range_.Active) {
      TIndexPosition first;
      if (ViewFirst(first)) base = IndexFile().Ordinal(first);
      else base = 0;
    }
    pos.Reset(index_);
    found = base != 0 && IndexFile().SeekOrdinal(index_, base + ordinal - 1, pos) && InRange(pos);
  }
  if (!found) {
    lock.Release();
    NoteTableState();
    RaiseTableError(STRATA_EOF, table_name_);
  }
  TakeRecord(pos);
  lock.Release();
  NoteTableState();
}

// The current record --------------------------------------------------------------

namespace {

[[noreturn]] void RaiseNoRecord(bool bof, bool eof, uint16_t gone_code, const std::string& table) {
  if (bof && eof) RaiseTableError(STRATA_NOCURRREC, table);
  if (bof) RaiseTableError(STRATA_BOF, table);
  if (eof) RaiseTableError(STRATA_EOF, table);
  RaiseTableError(gone_code != 0 ? gone_code : STRATA_NOCURRREC, table);
}

}  // namespace

const std::vector<uint8_t>& TDataCursor::GetCurrentRecord(bool lock) {
  RequireOpen();
  if (state_ != kOnRecord) RaiseNoRecord(bof_, eof_, gone_code_, table_name_);
  const bool pessimistic = lock && table_->Settings().LockProtocol == lpPessimistic;
  if (pessimistic && edit_lock_ != record_number_) {
    // Record lock first, outside the read lock: its waits must not keep
    // the writer that holds the record from finishing.
    const uint32_t number = record_number_;
    RecordLock record_lock(*table_, number, table_.CursorId());
    ReadLock read(*table_);
    SyncWithTable();
    if (state_ != kOnRecord || record_number_ != number) {
      RaiseNoRecord(bof_, eof_, gone_code_, table_name_);
    }
    std::vector<uint8_t> stored;
    CheckRecordAgainstStored(number, stored);
    DropEdits();
    buffer_ = image_;
    record_lock.Keep();
    edit_lock_ = number;
    read.Release();
    NoteTableState();
    return buffer_;
  }
  ReadLock read(*table_);
  SyncWithTable();
  if (state_ != kOnRecord) RaiseNoRecord(bof_, eof_, gone_code_, table_name_);
  if (lock) {
    std::vector<uint8_t> stored;
    CheckRecordAgainstStored(record_number_, stored);
  }
  if (modified_) {
    // Fetching the record drops changes not posted; the record as kept for
    // the edit may be older than the stored one.
    DropEdits();
    std::vector<uint8_t> stored;
    if (ReadStored(record_number_, stored)) image_ = stored;
  }
  buffer_ = image_;
  read.Release();
  NoteTableState();
  return buffer_;
}

void TDataCursor::GetCurrentRecord(std::span<uint8_t> record, bool lock) {
  const std::vector<uint8_t>& current = GetCurrentRecord(lock);
  if (record.size() < current.size()) {
    RaiseFieldError(STRATA_OUTOFRANGE, "", table_name_);
  }
  std::copy(current.begin(), current.end(), record.begin());
}

// Keys, ranges, other cursors -------------------------------------------------------

std::vector<uint8_t> TDataCursor::BuildKey(std::span<const uint8_t> record) const {
  RequireOpen();
  if (record.size() < RecordSize()) RaiseFieldError(STRATA_OUTOFRANGE, "", table_name_);
  return IndexFile().BuildKey(index_, record.data());
}

std::vector<uint8_t> TDataCursor::BuildKey(std::span<const TKeyFieldValue> values) const {
  RequireOpen();
  return IndexFile().BuildKeyFromValues(index_, values);
}

bool TDataCursor::FindKey(std::span<const TKeyFieldValue> values, bool nearest) {
  const std::vector<uint8_t> key = BuildKey(values);
  return FindKey(key, static_cast<int>(values.size()), nearest);
}

bool TDataCursor::FindKeyText(std::span<const std::string> values, bool nearest) {
  RequireOpen();
  const TIndexDescriptor& descriptor = IndexFile().Descriptor(index_);
  if (values.size() > descriptor.FieldCount) {
    RaiseIndexError(STRATA_INVALIDKEY, descriptor.Name, table_name_);
  }
  std::vector<std::vector<uint8_t>> encoded(values.size());
  std::vector<TKeyFieldValue> keys(values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    const TFieldDescriptor& field = Field(descriptor.FieldNumbers[i]);
    if (values[i].empty()) continue;  // blank
    encoded[i] = EncodeValueText(field, values[i]);
    keys[i] = TKeyFieldValue{encoded[i].data(), encoded[i].size()};
  }
  return FindKey(keys, nearest);
}

bool TDataCursor::FindKey(std::span<const uint8_t> key, int field_count, bool nearest) {
  RequireOpen();
  std::vector<uint8_t> search(key.begin(), key.end());
  search.resize(IndexFile().KeySize(index_), 0);
  const TKeyLimit limit = LimitOf(field_count);
  ReadLock lock(*table_);
  SyncWithTable();
  TIndexPosition pos;
  pos.Reset(index_);
  bool on_entry = IndexFile().Seek(index_, search.data(), limit, TSeekMode::kNotBelow, pos);
  on_entry = on_entry && BeforeStart(pos) ? ViewFirst(pos) : SettleForward(pos, on_entry);
  const bool found = on_entry && IndexFile().Matches(pos, search.data(), limit);
  if (found || nearest) {
    if (on_entry) {
      TakeRecord(pos);
    } else {
      SetAtEnd(true);
    }
  }
  lock.Release();
  NoteTableState();
  return found;
}

void TDataCursor::GotoCursor(TDataCursor& other) {
  RequireOpen();
  if (!other.IsOpen() || &other.Table() != &Table()) {
    RaiseTableError(STRATA_RECNOTFOUND, table_name_);
  }
  if (other.state_ != kOnRecord) RaiseTableError(STRATA_NOCURRREC, other.table_name_);
  const uint32_t number = other.record_number_;
  const int32_t row = GetRowNumber(other.image_.data());
  ReadLock lock(*table_);
  SyncWithTable();
  std::vector<uint8_t> stored;
  TIndexPosition pos;
  pos.Reset(index_);
  bool found = ReadStored(number, stored) && GetRowNumber(stored.data()) == row;
  if (found) {
    const std::vector<uint8_t> key = IndexFile().BuildKey(index_, stored.data());
    found = IndexFile().Locate(index_, key.data(), number, pos) && InView(pos);
  }
  if (!found) {
    lock.Release();
    NoteTableState();
    RaiseTableError(STRATA_RECNOTFOUND, table_name_);
  }
  TakeRecord(pos);
  lock.Release();
  NoteTableState();
}

void TDataCursor::SetRange(std::span<const TKeyFieldValue> start,
                           std::span<const TKeyFieldValue> end) {
  RequireOpen();
  const std::vector<uint8_t> start_key = IndexFile().BuildKeyFromValues(index_, start);
  const std::vector<uint8_t> end_key = IndexFile().BuildKeyFromValues(index_, end);
  SetRange(start_key, static_cast<int>(start.size()), end_key, static_cast<int>(end.size()));
}

void TDataCursor::SetRange(std::span<const uint8_t> start_key, int start_fields,
                           std::span<const uint8_t> end_key, int end_fields) {
  RequireOpen();
  TRange range;
  range.Active = true;
  range.Start.assign(start_key.begin(), start_key.end());
  range.Start.resize(IndexFile().KeySize(index_), 0);
  range.StartFields = start_fields;
  range.End.assign(end_key.begin(), end_key.end());
  range.End.resize(IndexFile().KeySize(index_), 0);
  range.EndFields = end_fields;
  ReadLock lock(*table_);
  SyncWithTable();
  range_ = std::move(range);
  if (state_ != kOnRecord || !InRange(pos_)) SetAtEnd(false);
  lock.Release();
  NoteTableState();
}

void TDataCursor::CancelRange() {
  RequireOpen();
  if (!range_.Active) return;
  ReadLock lock(*table_);
  SyncWithTable();
  range_ = TRange{};
  if (state_ != kOnRecord) SetAtEnd(false);
  lock.Release();
  NoteTableState();
}

void TDataCursor::SetFilter(std::shared_ptr<TCursorFilter> filter) {
  RequireOpen();
  ReadLock lock(*table_);
  SyncWithTable();
  filter_ = std::move(filter);
  SetAtEnd(false);
  lock.Release();
  NoteTableState();
}

void TDataCursor::Refresh() {
  RequireOpen();
  ReadLock lock(*table_);
  SyncWithTable(true);
  lock.Release();
  NoteTableState();
}

// Bookmarks ---------------------------------------------------------------------

TBookmark TDataCursor::GetBookmark() const {
  RequireOpen();
  if (state_ != kOnRecord) RaiseTableError(STRATA_NOCURRREC, table_name_);
  return TBookmark{record_number_, GetRowNumber(image_.data())};
}

bool TDataCursor::BookmarkValid(const TBookmark& bookmark) {
  RequireOpen();
  ReadLock lock(*table_);
  SyncWithTable();
  std::vector<uint8_t> stored;
  const bool valid = ReadStored(bookmark.RecordNumber, stored) &&
                     GetRowNumber(stored.data()) == bookmark.RowNumber;
  lock.Release();
  NoteTableState();
  return valid;
}

void TDataCursor::GotoBookmark(const TBookmark& bookmark) {
  RequireOpen();
  ReadLock lock(*table_);
  SyncWithTable();
  std::vector<uint8_t> stored;
  TIndexPosition pos;
  pos.Reset(index_);
  bool found = ReadStored(bookmark.RecordNumber, stored) &&
               GetRowNumber(stored.data()) == bookmark.RowNumber;
  if (found) {
    const std::vector<uint8_t> key = IndexFile().BuildKey(index_, stored.data());
    found = IndexFile().Locate(index_, key.data(), bookmark.RecordNumber, pos) && InView(pos);
  }
  if (!found) {
    lock.Release();
    NoteTableState();
    RaiseTableError(STRATA_RECNOTFOUND, table_name_);
  }
  TakeRecord(pos);
  lock.Release();
  NoteTableState();
}

int TDataCursor::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
  RequireOpen();
  ReadLock lock(*table_);
  SyncWithTable();
  std::vector<uint8_t> first;
  std::vector<uint8_t> second;
  int result = 0;
  if (ReadStored(a.RecordNumber, first) && GetRowNumber(first.data()) == a.RowNumber &&
      ReadStored(b.RecordNumber, second) && GetRowNumber(second.data()) == b.RowNumber) {
    const std::vector<uint8_t> key_a = IndexFile().BuildKey(index_, first.data());
    const std::vector<uint8_t> key_b = IndexFile().BuildKey(index_, second.data());
    result = IndexFile().CompareKeys(index_, key_a.data(), key_b.data());
  }
  if (result == 0) {
    result = a.RecordNumber < b.RecordNumber ? -1 : a.RecordNumber > b.RecordNumber ? 1 : 0;
  }
  lock.Release();
  NoteTableState();
  return result;
}

}  // namespace strata
