// TDataCursor: the public reading operations (moving, the current record,
// counting, keys, ranges, other cursors, bookmarks). Each runs inside the
// table's read lock and first catches up with changes made elsewhere.
#include <algorithm>
#include <type_traits>

#include "storage/cursor/data_cursor.h"
#include "storage/data/data_file.h"
#include "storage/engine_error.h"
#include "storage/index/index_file.h"
#include "storage/record/record_header.h"
#include "storage/record/value_text.h"
#include "storage/table/data_table.h"
#include "storage/table/table_lock_guards.h"

namespace strata {

namespace {

TKeyLimit LimitOf(int fields) {
  return fields < 0 ? TKeyLimit::Whole() : TKeyLimit::FirstFields(fields);
}

}  // namespace

// Runs `work` as one reading operation: inside the table's read lock, after
// catching up with changes made elsewhere. The lock is given back on every
// path; the table's state is noted only when the work succeeded.
template <class Work>
auto TDataCursor::Reading(Work&& work) -> decltype(work()) {
  RequireOpen();
  ReadLock lock(table_.Table());
  SyncWithTable();
  if constexpr (std::is_void_v<decltype(work())>) {
    work();
    lock.Release();
    NoteTableState();
  } else {
    auto result = work();
    lock.Release();
    NoteTableState();
    return result;
  }
}

// Positioning -------------------------------------------------------------------

bool TDataCursor::Bof() {
  if (ends_pending_) Reading([&] { SettleEnds(); });
  return bof_;
}

bool TDataCursor::Eof() {
  if (ends_pending_) Reading([&] { SettleEnds(); });
  return eof_;
}

void TDataCursor::First() {
  Reading([&] { SetAtEnd(false); });
}

void TDataCursor::Last() {
  Reading([&] { SetAtEnd(true); });
}

bool TDataCursor::MoveNext() {
  return Reading([&] { return StepForward(); });
}

bool TDataCursor::MovePrior() {
  return Reading([&] { return StepBackward(); });
}

void TDataCursor::Next() {
  if (!MoveNext()) RaiseTableError(STRATA_EOF, table_name_);
}

void TDataCursor::Prior() {
  if (!MovePrior()) RaiseTableError(STRATA_BOF, table_name_);
}

uint32_t TDataCursor::ScanNext(uint32_t max, const std::function<bool(TDataCursor&)>& visit) {
  return Reading([&] {
    uint32_t visited = 0;
    while (visited < max && StepForward()) {
      ++visited;
      if (!visit(*this)) break;
    }
    return visited;
  });
}

uint32_t TDataCursor::RecordCount() {
  return Reading([&] { return ViewCount(); });
}

uint32_t TDataCursor::CountUpTo(uint32_t limit) {
  return Reading([&] {
    uint32_t count = 0;
    TIndexPosition pos;
    for (bool on = limit > 0 && ViewFirst(pos); on; on = ViewNext(pos)) {
      if (++count >= limit) break;
    }
    return count;
  });
}

uint32_t TDataCursor::RecordNumber() {
  RequireOpen();
  if (state_ != kOnRecord) return 0;
  ReadLock lock(table_.Table());
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
  ReadLock lock(table_.Table());
  SyncWithTable();
  TIndexPosition pos;
  bool found = false;
  if (Filtering()) {
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
      if (ViewFirst(first))
        base = IndexFile().Ordinal(first);
      else
        base = 0;
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
  if (state_ != kOnRecord) {
    Reading([&] { SettleEnds(); });
    RaiseNoRecord(bof_, eof_, gone_code_, table_name_);
  }
  const bool pessimistic = lock && table_->Settings().LockProtocol == lpPessimistic;
  if (pessimistic && edit_lock_ != record_number_) {
    // Record lock first, outside the read lock: its waits must not keep
    // the writer that holds the record from finishing.
    const uint32_t number = record_number_;
    RecordLock record_lock(table_.Table(), number, table_.CursorId());
    ReadLock read(table_.Table());
    SyncWithTable();
    if (state_ != kOnRecord || record_number_ != number) {
      SettleEnds();
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
  ReadLock read(table_.Table());
  SyncWithTable();
  if (state_ != kOnRecord) {
    SettleEnds();
    RaiseNoRecord(bof_, eof_, gone_code_, table_name_);
  }
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
  if (values.size() > static_cast<size_t>(IndexFile().KeyFormat(index_).FieldCount())) {
    RaiseIndexError(STRATA_INVALIDKEY, IndexFile().IndexName(index_), table_name_);
  }
  return IndexFile().BuildKeyFromValues(index_, values);
}

bool TDataCursor::FindKey(std::span<const TKeyFieldValue> values, bool nearest) {
  const std::vector<uint8_t> key = BuildKey(values);
  return FindKey(key, static_cast<int>(values.size()), nearest);
}

bool TDataCursor::FindKeyText(std::span<const std::string> values, bool nearest) {
  RequireOpen();
  const TIndexDescriptor& descriptor = IndexFile().Descriptor(index_);
  if (values.size() > static_cast<size_t>(IndexFile().KeyFormat(index_).FieldCount())) {
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
  ReadLock lock(table_.Table());
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
  ReadLock lock(table_.Table());
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
  const std::vector<uint8_t> start_key = BuildKey(start);
  const std::vector<uint8_t> end_key = BuildKey(end);
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
  ReadLock lock(table_.Table());
  SyncWithTable();
  range_ = std::move(range);
  if (state_ != kOnRecord || !InRange(pos_)) SetAtEnd(false);
  lock.Release();
  NoteTableState();
}

void TDataCursor::CancelRange() {
  RequireOpen();
  if (!range_.Active) return;
  ReadLock lock(table_.Table());
  SyncWithTable();
  range_ = TRange{};
  if (state_ != kOnRecord) SetAtEnd(false);
  lock.Release();
  NoteTableState();
}

void TDataCursor::SetFilter(std::shared_ptr<TCursorFilter> filter) {
  Reading([&] {
    filter_ = std::move(filter);
    SetAtEnd(false);
  });
}

void TDataCursor::Refresh() {
  RequireOpen();
  ReadLock lock(table_.Table());
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
  ReadLock lock(table_.Table());
  SyncWithTable();
  std::vector<uint8_t> stored;
  const bool valid = ReadStored(bookmark.RecordNumber, stored) &&
                     GetRowNumber(stored.data()) == bookmark.RowNumber;
  lock.Release();
  NoteTableState();
  return valid;
}

void TDataCursor::GotoBookmark(const TBookmark& bookmark) {
  const bool found = Reading([&] {
    std::vector<uint8_t> stored;
    TIndexPosition pos;
    pos.Reset(index_);
    bool located = ReadStored(bookmark.RecordNumber, stored) &&
                   GetRowNumber(stored.data()) == bookmark.RowNumber;
    if (located) {
      const std::vector<uint8_t> key = IndexFile().BuildKey(index_, stored.data());
      located = IndexFile().Locate(index_, key.data(), bookmark.RecordNumber, pos) && InView(pos);
    }
    if (located) TakeRecord(pos);
    return located;
  });
  if (!found) RaiseTableError(STRATA_RECNOTFOUND, table_name_);
}

int TDataCursor::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
  RequireOpen();
  ReadLock lock(table_.Table());
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

int32_t TDataCursor::LastAutoIncrement() {
  return Reading([&] { return Data().LastAutoIncrement(); });
}

}  // namespace strata
