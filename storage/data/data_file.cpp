#include "storage/data/data_file.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "platform/nls.h"
#include "storage/best_effort.h"
#include "storage/byte_order.h"
#include "storage/engine_error.h"
#include "storage/file/file_list.h"
#include "storage/file/os_error_map.h"
#include "storage/file/scratch_bytes.h"
#include "storage/record/date_time.h"
#include "storage/record/field_validation.h"
#include "storage/record/record_header.h"
#include "storage/record/value_text.h"
#include "storage/scramble.h"

namespace strata {
namespace {

// Places inside a stored descriptor that verification reads as stored
// (decoding cuts texts to their capacity).
constexpr size_t kNameLengthAt = 2;
constexpr size_t kTypeCodeAt = 84;
constexpr size_t kValueLengthsAt[] = {94, 145, 196};
constexpr uint8_t kValueTextCapacity = 50;

bool HasDeclaredSize(uint8_t code) {
  return code == fldZSTRING || code == fldBYTES || code == fldVARBYTES;
}

// Whether a stored descriptor could be one the engine wrote: used to tell
// a scrambled descriptor area from one that was left as it was.
bool PlausibleDescriptor(const uint8_t* descriptor) {
  const uint16_t number = GetU16(descriptor);
  const uint8_t name_length = descriptor[kNameLengthAt];
  const uint8_t type = descriptor[kTypeCodeAt];
  return number >= 1 && number <= kMaxFields && name_length >= 1 &&
         name_length <= kMaxFieldNameLength && type >= fldZSTRING && type <= fldTABLE;
}

uint32_t RecordSizeOf(std::span<const TFieldDescriptor> fields) {
  uint32_t size = kRecordHeaderSize;
  for (const TFieldDescriptor& field : fields) {
    if (field.IsStored()) size += FieldDataSize(field.TypeCode, field.DeclaredSize) + 1u;
  }
  return size;
}

}  // namespace

TDataFile::TDataFile(const TEngineSettings& settings) : settings_(settings) {}

TDataFile::~TDataFile() {
  try {
    Close();
  } catch (...) {
    // A destructor must not throw; Close has released everything anyway.
  }
}

void TDataFile::Fail(uint16_t code) const { RaiseFileError(code, 0, TableName()); }

uint64_t TDataFile::HeaderAreaSize() const {
  return kDataHeaderSize + static_cast<uint64_t>(kFieldDescriptorSize) * header_.FieldCount;
}

uint64_t TDataFile::SlotOffset(uint32_t number) const {
  return HeaderAreaSize() + static_cast<uint64_t>(number - 1) * header_.RecordSize;
}

size_t TDataFile::CacheCapacity() const {
  if (header_.RecordSize == 0) return 1;
  const size_t by_bytes = settings_.RecordCacheBytes / header_.RecordSize;
  return std::max<size_t>(1, std::min<size_t>(by_bytes, settings_.RecordCacheCount));
}

TRecordContext TDataFile::Context() const {
  return TRecordContext{TableName(), header_.LocaleId, header_.SortId};
}

bool TDataFile::PasswordMatches(const std::string& password) const {
  return !header_.Encrypted || password == header_.Password;
}

void TDataFile::SetLastAutoIncrement(int32_t value) {
  header_.LastAutoIncrement = value;
  header_modified_ = true;
}

void TDataFile::ResetState() {
  cache_.Clear();
  header_ = TDataHeader{};
  fields_.clear();
  descriptor_bytes_.clear();
  read_ahead_ = 1;
  last_single_miss_ = 0;
  header_modified_ = false;
  descriptors_modified_ = false;
  in_transaction_ = false;
  written_ = false;
}

// --- create, open, close ---------------------------------------------------

void TDataFile::Create(const std::string& path, uint16_t locale_id, uint16_t sort_id,
                       std::span<const TFieldDescriptor> fields, uint32_t blob_block_size,
                       const std::string& description, const std::string& password, bool encrypted,
                       uint16_t user_value_a, uint16_t user_value_b, bool in_memory,
                       bool exclusive) {
  Close();
  // The limits first, so that nothing is created when they are exceeded.
  const std::string name = table_name_.empty() ? TrimPath(path) : table_name_;
  if (fields.size() > kMaxFields) RaiseFileError(STRATA_FLDLIMIT, 0, name);
  const size_t blob_fields = std::count_if(fields.begin(), fields.end(),
                                           [](const TFieldDescriptor& f) { return f.IsBlob(); });
  if (blob_fields > kMaxBlobFields) RaiseFileError(STRATA_BLOBLIMIT, 0, name);
  const uint32_t record_size = RecordSizeOf(fields);
  if (record_size > kMaxRecordSize) RaiseFileError(STRATA_RECTOOBIG, 0, name);

  CreateFile(path, in_memory, exclusive);
  ResetState();
  header_.BlobBlockSize = blob_block_size;
  header_.Version = kDataFileVersion;
  header_.FreeChainHead = 0;
  header_.NextSlot = 1;
  header_.LastAutoIncrement = 0;
  header_.RecordSize = static_cast<uint16_t>(record_size);
  header_.FieldCount = static_cast<uint16_t>(fields.size());
  header_.BlobFieldCount = static_cast<uint16_t>(blob_fields);
  header_.Description = description.substr(0, kDescriptionCapacity);
  header_.Encrypted = encrypted;
  header_.Password = encrypted ? password.substr(0, kPasswordCapacity) : std::string();
  header_.LocaleId = locale_id;
  header_.SortId = sort_id;
  header_.UserValueA = user_value_a;
  header_.UserValueB = user_value_b;
  fields_.assign(fields.begin(), fields.end());
  for (TFieldDescriptor& field : fields_) {
    field.DataSize = FieldDataSize(field.TypeCode, field.DeclaredSize);
  }
  read_ahead_ = std::max<uint32_t>(1, kReadAheadBytes / header_.RecordSize);
  header_modified_ = true;
  descriptors_modified_ = true;
}

void TDataFile::Open(const std::string& path, bool in_memory, bool exclusive, bool read_only) {
  Close();
  OpenFile(path, in_memory, exclusive, read_only);
  try {
    LoadHeader();
    if (header_.FieldCount > kMaxFields || header_.RecordSize < kRecordHeaderSize) {
      Fail(STRATA_HEADERCORRUPT);
    }
    LoadDescriptors();
    read_ahead_ = std::max<uint32_t>(1, kReadAheadBytes / header_.RecordSize);
  } catch (...) {
    ResetState();
    CloseFile();
    throw;
  }
}

void TDataFile::Abandon() {
  ResetState();
  CloseFile();
}

void TDataFile::Close() {
  if (!open_) {
    ResetState();
    return;
  }
  // Whatever the flush does, the cache goes and the file is closed.
  struct TCloser {
    TDataFile* file;
    ~TCloser() {
      file->ResetState();
      BestEffort([&] { file->CloseFile(); });
    }
  } closer{this};
  if (!read_only_) Flush(false);
}

void TDataFile::LoadHeader() {
  uint8_t raw[kDataHeaderSize];
  if (ReadAt(0, raw, kDataHeaderSize, true) < kDataHeaderSize) Fail(STRATA_HEADERCORRUPT);
  header_ = ReadDataHeader(raw);
  header_modified_ = false;
}

std::vector<uint8_t> TDataFile::ReadDescriptorArea(const TDataHeader& header) {
  const size_t area = kFieldDescriptorSize * header.FieldCount;
  std::vector<uint8_t> bytes(area, 0);
  if (area > 0 && ReadAt(kDataHeaderSize, bytes.data(), area, true) < area) {
    Fail(STRATA_HEADERCORRUPT);
  }
  if (header.Encrypted && area > 0) {
    const std::vector<uint8_t> stored = bytes;
    Scramble(bytes.data(), area, kRecordSeed);
    // Earlier writers left an area whose length is a multiple of 65536 as it
    // was; such a file still reads correctly.
    if (area % 65536 == 0 && !PlausibleDescriptor(bytes.data()) &&
        PlausibleDescriptor(stored.data())) {
      bytes = stored;
    }
  }
  return bytes;
}

namespace {

// The header without what an ordinary change of the records moves.
TDataHeader StructureOf(TDataHeader header) {
  header.ChangeCounter = 0;
  header.FreeChainHead = 0;
  header.NextSlot = 0;
  header.LastAutoIncrement = 0;
  header.LastUpdate = 0;
  return header;
}

}  // namespace

bool TDataFile::StoredHeaderAgrees() {
  RequireOpen();
  if (header_modified_ || descriptors_modified_) return false;
  uint8_t raw[kDataHeaderSize];
  if (ReadAt(0, raw, kDataHeaderSize, true) < kDataHeaderSize) return false;
  const TDataHeader disk = ReadDataHeader(raw);
  if (disk.ChangeCounter == header_.ChangeCounter ? !(disk == header_)
                                                  : !(StructureOf(disk) == StructureOf(header_))) {
    return false;
  }
  return ReadDescriptorArea(disk) == descriptor_bytes_;
}

void TDataFile::LoadDescriptors() {
  descriptor_bytes_ = ReadDescriptorArea(header_);
  fields_.clear();
  fields_.reserve(header_.FieldCount);
  for (size_t i = 0; i < header_.FieldCount; ++i) {
    // Decoding recomputes each data size from type and declared size.
    fields_.push_back(
        TFieldDescriptor::Decode(descriptor_bytes_.data() + i * kFieldDescriptorSize));
  }
  descriptors_modified_ = false;
}

// --- verification ------------------------------------------------------------

void TDataFile::Verify() {
  RequireOpen();
  if (header_.Version != kDataFileVersion) Fail(STRATA_OLDVERSION);
  if (header_.LocaleId != 0 && !platform::nls::IsLocaleInstalled(
                                   platform::nls::MakeLocaleId(header_.LocaleId, header_.SortId))) {
    Fail(STRATA_CANNOTLOADLDDRV);
  }

  std::set<std::string> names;  // upper case
  std::set<uint16_t> numbers;
  uint32_t offset = kRecordHeaderSize;
  for (size_t i = 0; i < fields_.size(); ++i) {
    const TFieldDescriptor& field = fields_[i];
    const uint8_t* stored = descriptor_bytes_.data() + i * kFieldDescriptorSize;
    if (stored[kNameLengthAt] > kMaxFieldNameLength || !IsValidFieldName(field.Name) ||
        !names.insert(platform::nls::ToUpper(platform::nls::kUsEnglish, field.Name)).second ||
        !numbers.insert(field.FieldNumber).second) {
      Fail(STRATA_HEADERCORRUPT);
    }
    if (HasDeclaredSize(field.TypeCode) ? field.DeclaredSize > kMaxDeclaredSize
                                        : field.DeclaredSize != 0) {
      Fail(STRATA_HEADERCORRUPT);
    }
    for (size_t at : kValueLengthsAt) {
      if (stored[at] > kValueTextCapacity) Fail(STRATA_HEADERCORRUPT);
    }
    if (!IsValidValueText(field, field.DefaultValue) || !IsValidValueText(field, field.MinValue) ||
        !IsValidValueText(field, field.MaxValue)) {
      Fail(STRATA_HEADERCORRUPT);
    }
    if (field.IsAutoInc()) {
      if (field.Offset != kRowNumberOffset) Fail(STRATA_HEADERCORRUPT);
    } else if (!field.NotStored) {
      if (field.Offset != offset) Fail(STRATA_HEADERCORRUPT);
      offset += field.DataSize + 1u;
    }
  }
  if (offset != header_.RecordSize) Fail(STRATA_HEADERCORRUPT);

  const uint64_t area = HeaderAreaSize();
  // The slots that the header counts are exactly those the file holds.
  const bool sound = SizeFits([&](uint64_t size) {
    if (size < area || (size - area) % header_.RecordSize != 0) return false;
    const uint64_t slots = (size - area) / header_.RecordSize;
    return header_.NextSlot == slots + 1 && header_.FreeChainHead <= slots;
  });
  if (!sound) Fail(STRATA_HEADERCORRUPT);
}

// --- records -----------------------------------------------------------------

TRecord* TDataFile::ReadRecord(uint32_t number, TReadAhead mode, uint32_t count) {
  RequireOpen();
  if (number == 0 || number > header_.NextSlot) Fail(STRATA_FILECORRUPT);
  if (TRecord* cached = cache_.Find(number)) {
    ++statistics_.Hits;
    return cached;
  }
  if (number == header_.NextSlot) return AppendRecord(number);
  return ReadRun(number, mode, count);
}

TRecord* TDataFile::AppendRecord(uint32_t number) {
  if (number > kMaxSlots || SlotOffset(number) + header_.RecordSize > kMaxFileEnd) {
    Fail(STRATA_TABLEFULL);
  }
  TRecord* record = cache_.Insert(this, number, header_.RecordSize);
  SetRecordNumber(record->Data(), number);
  cache_.Trim(CacheCapacity(), record);
  return record;
}

TRecord* TDataFile::ReadRun(uint32_t number, TReadAhead mode, uint32_t count) {
  const size_t record_size = header_.RecordSize;
  if (mode == TReadAhead::kSingle) {
    // Look-ups that walk the slots one after the other (records found
    // through an index in the order they were added) read ahead as a scan
    // does from the second one on.
    const bool follows = last_single_miss_ != 0 && number == last_single_miss_ + 1;
    last_single_miss_ = number;
    if (follows) mode = TReadAhead::kForward;
  }
  uint32_t run = 1;
  if (mode != TReadAhead::kSingle) {
    const uint32_t left = mode == TReadAhead::kForward ? SlotCount() - number + 1 : number;
    run = count > 0 ? count : read_ahead_;
    run = std::min<uint32_t>(run, left);
    run = static_cast<uint32_t>(std::min<size_t>(run, CacheCapacity()));
    run = std::max<uint32_t>(run, 1);
  }
  const uint32_t first = mode == TReadAhead::kBackward ? number - run + 1 : number;
  TScratchRun scratch(TScratchUse::kRecordsRead);
  std::vector<uint8_t>& read_buffer = scratch.bytes;
  read_buffer.resize(run * record_size);
  const size_t got = ReadAt(SlotOffset(first), read_buffer.data(), read_buffer.size(), true);
  ++statistics_.Reads;

  // The slots go in in ascending order (for a forward run that appends to
  // the cache's sorted list); then they are touched from the farthest to
  // the wanted one, so that the wanted one ends up the most recently used
  // and its neighbours right behind it.
  run_records_.assign(run, nullptr);
  TRecord* wanted = nullptr;
  for (uint32_t i = 0; i < run; ++i) {
    const uint32_t slot = first + i;
    if ((i + 1) * record_size > got) {
      if (slot == number) Fail(STRATA_READERR);  // the file ends before the slot
      continue;
    }
    if (cache_.Peek(slot)) continue;  // cached records keep their contents
    TRecord* record = cache_.Insert(this, slot, record_size);
    std::memcpy(record->Data(), read_buffer.data() + i * record_size, record_size);
    if (header_.Encrypted) Scramble(record->Data(), record_size, kRecordSeed);
    if (GetRecordStatus(record->Data()) == kRecordLive) SetRecordNumber(record->Data(), slot);
    ++statistics_.RecordsRead;
    run_records_[i] = record;
    if (slot == number) wanted = record;
  }
  for (uint32_t step = 0; step < run; ++step) {
    const uint32_t i = mode == TReadAhead::kBackward ? step : run - 1 - step;
    if (run_records_[i]) cache_.Touch(run_records_[i]);
  }
  // A run pushes about as many records out as it brings in: keeping that
  // many spares spares the next run allocating them again.
  cache_.Stack().RaiseLimit(run);
  cache_.Trim(CacheCapacity(), wanted);
  return wanted;
}

TRecord* TDataFile::AllocateSlot() {
  TRecord* record;
  if (header_.FreeChainHead == 0) {
    record = ReadRecord(header_.NextSlot);
    ++header_.NextSlot;
  } else {
    const uint32_t head = header_.FreeChainHead;
    if (head > SlotCount()) Fail(STRATA_FILECORRUPT);
    record = ReadRecord(head);
    if (GetRecordStatus(record->Data()) != kRecordDeleted) Fail(STRATA_FILECORRUPT);
    header_.FreeChainHead = GetFreeLink(record->Data());
  }
  std::fill(record->Buffer.begin(), record->Buffer.end(), 0);
  SetRecordNumber(record->Data(), record->RecordNumber);
  cache_.MarkModified(record);
  header_modified_ = true;
  return record;
}

void TDataFile::FreeSlot(uint32_t number) {
  if (number == 0 || number > SlotCount()) Fail(STRATA_FILECORRUPT);
  TRecord* record = ReadRecord(number);
  // Freeing a free slot again would make the chain hand it out twice.
  if (GetRecordStatus(record->Data()) == kRecordDeleted) Fail(STRATA_FILECORRUPT);
  SetRecordStatus(record->Data(), kRecordDeleted);
  SetFreeLink(record->Data(), header_.FreeChainHead);
  header_.FreeChainHead = number;
  cache_.MarkModified(record);
  header_modified_ = true;
}

std::vector<uint8_t> TDataFile::MendSlotCount() {
  RequireWritable();
  const uint64_t size = Size();
  const uint64_t area = HeaderAreaSize();
  const uint64_t slots = size < area ? 0 : (size - area) / header_.RecordSize;
  std::vector<uint8_t> partial;
  if (size > area && (size - area) % header_.RecordSize != 0) {
    const uint64_t whole = area + slots * header_.RecordSize;
    partial.resize(static_cast<size_t>(size - whole));
    ReadAt(whole, partial.data(), partial.size());
    Truncate(whole);
  }
  cache_.Clear();
  if (header_.NextSlot != slots + 1 || header_.FreeChainHead > slots) {
    header_.NextSlot = static_cast<uint32_t>(slots + 1);
    if (header_.FreeChainHead > slots) header_.FreeChainHead = 0;
    header_modified_ = true;
  }
  return partial;
}

void TDataFile::SetFreeChain(std::span<const uint32_t> slots) {
  for (size_t i = 0; i < slots.size(); ++i) {
    if (slots[i] == 0 || slots[i] > SlotCount()) Fail(STRATA_FILECORRUPT);
    TRecord* record = ReadRecord(slots[i]);
    SetRecordStatus(record->Data(), kRecordDeleted);
    SetFreeLink(record->Data(), i + 1 < slots.size() ? slots[i + 1] : 0);
    cache_.MarkModified(record);
  }
  header_.FreeChainHead = slots.empty() ? 0 : slots.front();
  header_modified_ = true;
}

int32_t TDataFile::AllocateRowNumber() {
  header_.LastAutoIncrement = NextRowNumber(header_.LastAutoIncrement);
  header_modified_ = true;
  return header_.LastAutoIncrement;
}

TRecord* TDataFile::RecordForOverwrite(uint32_t number) {
  RequireOpen();
  if (number == 0 || number > header_.NextSlot) Fail(STRATA_FILECORRUPT);
  if (TRecord* cached = cache_.Find(number)) return cached;
  if (number == header_.NextSlot) return AppendRecord(number);
  TRecord* record = cache_.Insert(this, number, header_.RecordSize);
  cache_.Trim(CacheCapacity(), record);
  return record;
}

void TDataFile::CutSlots(uint32_t count) {
  RequireWritable();
  cache_.DropAbove(count);
  if (count < SlotCount()) {
    header_.NextSlot = count + 1;
    const uint64_t end = SlotOffset(count + 1);
    if (Size() > end) Truncate(end);
  }
  header_.FreeChainHead = 0;
  header_.LastAutoIncrement = static_cast<int32_t>(count);
  header_modified_ = true;
}

// --- writing -----------------------------------------------------------------

bool TDataFile::HasUnwrittenChanges() const {
  if (header_modified_ || descriptors_modified_) return true;
  return std::any_of(cache_.Sorted().begin(), cache_.Sorted().end(),
                     [](const std::unique_ptr<TRecord>& record) { return record->Modified(); });
}

bool TDataFile::Flush(bool force_header, bool force_os_flush) {
  if (!open_) return false;
  if (in_transaction_) {
    if (force_header) {
      header_.ChangeCounter =
          static_cast<int32_t>(static_cast<uint32_t>(header_.ChangeCounter) + 1u);
      header_modified_ = true;
    }
    cache_.Trim(CacheCapacity());
    return false;
  }
  bool wrote = WriteModifiedRecords();
  if (header_modified_ || force_header) {
    WriteHeader();
    wrote = true;
  }
  if (descriptors_modified_) {
    WriteDescriptors();
    wrote = true;
  }
  if (wrote && (settings_.ForceBufferFlush || force_os_flush)) FlushBuffers();
  cache_.Trim(CacheCapacity());
  return wrote;
}

bool TDataFile::WriteModifiedRecords() {
  bool wrote = false;
  std::vector<TRecord*> run;
  for (const std::unique_ptr<TRecord>& record : cache_.Sorted()) {
    if (!record->Modified() || record->PinCount > 0) continue;
    if (!run.empty() && run.back()->RecordNumber + 1 != record->RecordNumber) {
      WriteRun(run);
      run.clear();
      wrote = true;
    }
    run.push_back(record.get());
  }
  if (!run.empty()) {
    WriteRun(run);
    wrote = true;
  }
  return wrote;
}

void TDataFile::WriteRun(const std::vector<TRecord*>& run) {
  const size_t record_size = header_.RecordSize;
  TScratchRun scratch(TScratchUse::kRecordsWritten);
  std::vector<uint8_t>& write_buffer = scratch.bytes;
  write_buffer.resize(run.size() * record_size);
  for (size_t i = 0; i < run.size(); ++i) {
    uint8_t* slot = write_buffer.data() + i * record_size;
    std::memcpy(slot, run[i]->Data(), record_size);
    if (header_.Encrypted) Scramble(slot, record_size, kRecordSeed);
  }
  WriteAt(SlotOffset(run.front()->RecordNumber), write_buffer.data(), write_buffer.size());
  ++statistics_.Writes;
  statistics_.RecordsWritten += run.size();
  for (TRecord* record : run) cache_.MarkWritten(record);
  // A record written at or past the append position extends the slots.
  if (run.back()->RecordNumber >= header_.NextSlot) {
    header_.NextSlot = run.back()->RecordNumber + 1;
    header_modified_ = true;
  }
  written_ = true;
}

void TDataFile::WriteHeader() {
  header_.ChangeCounter = static_cast<int32_t>(static_cast<uint32_t>(header_.ChangeCounter) + 1u);
  header_.LastUpdate =
      StoredUpdateTime(CurrentTimestamp() / kMsPerDay - static_cast<double>(kDayNumber18991230));
  uint8_t raw[kDataHeaderSize];
  WriteDataHeader(header_, header_modified_, raw);
  WriteAt(0, raw, kDataHeaderSize);
  written_ = true;
  header_modified_ = false;
}

void TDataFile::WriteDescriptors() {
  const size_t area = kFieldDescriptorSize * fields_.size();
  descriptor_bytes_.assign(area, 0);
  for (size_t i = 0; i < fields_.size(); ++i) {
    fields_[i].Encode(descriptor_bytes_.data() + i * kFieldDescriptorSize);
  }
  TScratchRun scratch(TScratchUse::kRecordsWritten);
  std::vector<uint8_t>& write_buffer = scratch.bytes;
  write_buffer.assign(descriptor_bytes_.begin(), descriptor_bytes_.end());
  if (header_.Encrypted) Scramble(write_buffer.data(), area, kRecordSeed);
  if (area > 0) WriteAt(kDataHeaderSize, write_buffer.data(), area);
  written_ = true;
  descriptors_modified_ = false;
}

// --- change detection, rollback, empty ---------------------------------------

void TDataFile::AdoptHeader(const TDataHeader& header) {
  const bool layout_changed = header.FieldCount != header_.FieldCount ||
                              header.RecordSize != header_.RecordSize ||
                              header.Encrypted != header_.Encrypted;
  header_ = header;
  header_modified_ = false;
  cache_.Clear();
  if (layout_changed) {
    if (header_.FieldCount > kMaxFields || header_.RecordSize < kRecordHeaderSize) {
      Fail(STRATA_HEADERCORRUPT);
    }
    LoadDescriptors();
    read_ahead_ = std::max<uint32_t>(1, kReadAheadBytes / header_.RecordSize);
  }
}

bool TDataFile::DetectChange() {
  RequireOpen();
  // The counter alone while it stands still; the header when it moved.
  uint8_t counter[kDataChangeCounterBytes];
  if (ReadAt(0, counter, sizeof counter, true) < sizeof counter) Fail(STRATA_HEADERCORRUPT);
  if (ReadDataChangeCounter(counter) == header_.ChangeCounter) return false;
  uint8_t raw[kDataHeaderSize];
  if (ReadAt(0, raw, kDataHeaderSize, true) < kDataHeaderSize) Fail(STRATA_HEADERCORRUPT);
  const TDataHeader disk = ReadDataHeader(raw);
  if (disk.ChangeCounter == header_.ChangeCounter) return false;
  AdoptHeader(disk);
  return true;
}

void TDataFile::DiscardChanges() {
  RequireOpen();
  uint8_t raw[kDataHeaderSize];
  if (ReadAt(0, raw, kDataHeaderSize, true) < kDataHeaderSize) Fail(STRATA_HEADERCORRUPT);
  AdoptHeader(ReadDataHeader(raw));
}

void TDataFile::Empty() {
  RequireWritable();
  Truncate(HeaderAreaSize());
  cache_.Clear();
  header_.ChangeCounter = 0;
  header_.FreeChainHead = 0;
  header_.NextSlot = 1;
  header_.LastAutoIncrement = 0;
  header_modified_ = true;
}

}  // namespace strata
