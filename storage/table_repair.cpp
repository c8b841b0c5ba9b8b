#include "storage/table_repair.h"

#include <algorithm>
#include <exception>
#include <map>
#include <set>
#include <span>

#include "storage/blob/blob_file.h"
#include "storage/blob/blob_value_check.h"
#include "storage/byte_order.h"
#include "storage/cursor/data_cursor.h"
#include "storage/data/data_file.h"
#include "storage/engine_error.h"
#include "storage/engine_names.h"
#include "storage/file/file_handler.h"
#include "storage/index/index_file.h"
#include "storage/index/index_header.h"
#include "storage/record/record_buffer.h"
#include "storage/record/record_header.h"
#include "storage/session/data_directory.h"
#include "storage/session/data_session.h"
#include "storage/table/data_table.h"

namespace strata {
namespace {

std::string Hex(std::span<const uint8_t> bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

std::string NumberList(const std::vector<uint32_t>& numbers) {
  std::string text;
  for (size_t i = 0; i < numbers.size() && i < kMaxFaultsListed; ++i) {
    text += (i == 0 ? "" : ", ") + std::to_string(numbers[i]);
  }
  if (numbers.size() > kMaxFaultsListed) {
    text += " and " + std::to_string(numbers.size() - kMaxFaultsListed) + " more";
  }
  return text;
}

// The side file: text lines appended to TABLE.LOST, opened on first use.
class TSideFile {
 public:
  explicit TSideFile(std::string path, std::string table)
      : path_(std::move(path)), table_(std::move(table)) {}

  const std::string& Path() const { return path_; }
  bool Used() const { return used_; }

  void Line(const std::string& text) {
    if (!file_.IsOpen()) Start();
    const std::string line = text + "\n";
    file_.WriteAt(end_, line.data(), line.size());
    end_ += line.size();
  }

  void Close() {
    if (!file_.IsOpen()) return;
    file_.FlushBuffers();
    file_.CloseFile();
  }

 private:
  void Start() {
    used_ = true;
    if (TFileHandler::FileExists(path_, false)) {
      file_.OpenFile(path_, false, true, false);
    } else {
      file_.CreateFile(path_, false, true);
    }
    end_ = file_.Size();
    Line("strata repair of the table " + table_ +
         ": records and blob values set aside, each line followed by its bytes in hexadecimal");
  }

  std::string path_;
  std::string table_;
  TFileHandler file_;
  uint64_t end_ = 0;
  bool used_ = false;
};

void CopyFile(const std::string& from, const std::string& to) {
  TFileHandler in;
  in.OpenFile(from, false, true, true);
  TFileHandler out;
  out.CreateFile(to, false, true);
  std::vector<uint8_t> chunk(65536);
  const uint64_t size = in.Size();
  for (uint64_t at = 0; at < size; at += chunk.size()) {
    size_t got = in.ReadAt(at, chunk.data(),
                           static_cast<size_t>(std::min<uint64_t>(chunk.size(), size - at)));
    out.WriteAt(at, chunk.data(), got);
  }
  out.FlushBuffers();
}

uint64_t FileSize(const std::string& path) {
  TFileHandler file;
  file.OpenFile(path, false, true, true);
  return file.Size();
}

class TRepair {
 public:
  TRepair(const std::shared_ptr<TDataDirectory>& directory, std::string_view table_name)
      : directory_(directory),
        name_(table_name),
        data_path_(directory->TablePath(table_name, kDataFileExtension)),
        index_path_(directory->TablePath(table_name, kIndexFileExtension)),
        blob_path_(directory->TablePath(table_name, kBlobFileExtension)),
        side_(directory->TablePath(table_name, kSetAsideExtension),
              TableNameWithoutExtension(table_name)) {}

  TTableRepairReport Run() {
    FindFaults();
    if (report_.FaultsFound.empty()) return std::move(report_);
    Backup();
    MendFiles();
    MendRecords();
    side_.Close();
    if (side_.Used()) report_.SideFile = side_.Path();
    return std::move(report_);
  }

 private:
  void Action(std::string text) { report_.Actions.push_back(std::move(text)); }

  // ---- 1. the check ---------------------------------------------------------

  void FindFaults() {
    TDataCursor cursor(directory_);
    try {
      cursor.Open(name_, {.Exclusive = true});
    } catch (const EStrataEngineError& error) {
      // Missing, in use, or locked by a password: nothing to repair here.
      if (error.Code == STRATA_OSENOENT || error.Code == STRATA_OSEACCES ||
          error.Code == STRATA_NOTSUFFTABLERIGHTS || error.Code == STRATA_INVALIDPASSWORD) {
        throw;
      }
      report_.FaultsFound.push_back(std::string("the table cannot be opened: ") + error.what());
      return;
    }
    report_.After = CheckTable(cursor);
    report_.FaultsFound = report_.After.Faults;
    cursor.Close();
  }

  // ---- 2. backups -----------------------------------------------------------

  void Backup() {
    const std::pair<const std::string*, std::string_view> files[] = {
        {&data_path_, kDataBackupExtension},
        {&index_path_, kIndexBackupExtension},
        {&blob_path_, kBlobBackupExtension}};
    std::string copies;
    for (const auto& [path, extension] : files) {
      if (!TFileHandler::FileExists(*path, false)) continue;
      const std::string backup = directory_->TablePath(name_, extension);
      CopyFile(*path, backup);
      copies += (copies.empty() ? "" : ", ") + backup;
    }
    Action("the files as they were are kept in " + copies);
  }

  // ---- 3. file geometry -----------------------------------------------------

  void MendFiles() {
    const std::shared_ptr<const TEngineSettings> settings = directory_->Session().SharedSettings();
    uint16_t blob_fields = 0;
    uint32_t block_size = 0;
    bool encrypted = false;
    {
      TDataFile data(*settings);
      data.SetTableName(name_);
      data.Open(data_path_, false, true, false);
      const uint32_t next_slot = data.NextSlot();
      const uint32_t free_head = data.FreeChainHead();
      std::vector<uint8_t> partial = data.MendSlotCount();
      if (!partial.empty()) {
        side_.Line("the end of the data file, " + std::to_string(partial.size()) +
                   " bytes short of a whole record slot (as stored)");
        side_.Line("  " + Hex(partial));
        Action("cut off a partial record slot of " + std::to_string(partial.size()) +
               " bytes at the end of the data file (set aside)");
      }
      if (data.NextSlot() != next_slot) {
        Action("data file header: next slot " + std::to_string(next_slot) + " set to " +
               std::to_string(data.NextSlot()) + " to match the slots in the file");
      }
      if (data.FreeChainHead() != free_head) {
        Action("data file header: free chain head " + std::to_string(free_head) +
               " beyond the slots cleared");
      }
      data.Verify();  // what is left (descriptors, version, locale) is beyond repair
      data.Flush(true);
      blob_fields = data.BlobFieldCount();
      block_size = data.BlobBlockSize();
      encrypted = data.Encrypted();
      data.Close();
    }
    if (!TFileHandler::FileExists(index_path_, false) || FileSize(index_path_) < kIndexHeaderSize) {
      MakeIndexFileAnew();
    }
    if (blob_fields > 0 &&
        (!TFileHandler::FileExists(blob_path_, false) || FileSize(blob_path_) < kBlobHeaderSize)) {
      TBlobFile blobs(*settings);
      blobs.SetTableName(name_);
      blobs.Create(blob_path_, block_size, encrypted);
      blobs.Flush(true);
      blobs.Close();
      Action("blob file missing or shorter than its header: made anew without blocks");
    }
    if (!MendTableHeaders(settings)) {
      MakeIndexFileAnew();
      if (!MendTableHeaders(settings)) RaiseTableError(STRATA_HEADERCORRUPT, name_);
    }
  }

  // Opens the three files without the first-open checks and mends the
  // index and blob headers' counts. False when the index file's definitions
  // themselves are damaged.
  bool MendTableHeaders(const std::shared_ptr<const TEngineSettings>& settings) {
    TDataTable table(TableNameWithoutExtension(name_), data_path_, index_path_, blob_path_, false,
                     settings);
    table.Open(true, false);
    TIndexFile& index = table.IndexFile();
    try {
      index.Verify();
    } catch (const EStrataEngineError&) {
      index.Empty();
      try {
        index.Verify();
      } catch (const EStrataEngineError&) {
        table.Close();
        return false;
      }
      Action("index file header: pages and roots reset (the indexes are rebuilt below)");
    }
    if (TBlobFile* blobs = table.BlobFile()) {
      const uint32_t blocks = blobs->BlockCount();
      if (blobs->MendBlockCount()) {
        Action("blob file header: " + std::to_string(blocks) + " blocks counted, " +
               std::to_string(blobs->BlockCount()) + " whole blocks in the file");
      }
      blobs->Verify();
    }
    table.Flush(true);
    table.Close();
    return true;
  }

  void MakeIndexFileAnew() {
    const std::shared_ptr<const TEngineSettings> settings = directory_->Session().SharedSettings();
    TDataFile data(*settings);
    data.SetTableName(name_);
    data.Open(data_path_, false, true, true);
    TIndexFile index(*settings);
    index.SetTableName(name_);
    const TDataHeader& header = data.Header();
    index.SetTableContext(
        data.Fields(),
        static_cast<uint32_t>(header.LocaleId) | (static_cast<uint32_t>(header.SortId) << 16),
        header.Encrypted);
    index.Create(index_path_, {}, false, true);
    index.Flush(true);
    index.Close();
    data.Close();
    Action(
        "index file without a usable header: made anew with the row-order index only (the "
        "other index definitions were in the lost header; add them again with the table's "
        "definition)");
  }

  // ---- 4. to 7. records, blob values, free chains, indexes -----------------

  struct TLive {
    uint32_t Slot;
    int32_t Row;
  };

  void MendRecords() {
    TDataCursor cursor(directory_);
    cursor.Open(name_, {.Exclusive = true});
    TDataTable& table = cursor.Table();
    TDataFile& data = table.DataFile();
    ReadSlots(data);
    KeepOnePerRow(table);
    KeepOnePerUniqueKey(table, cursor.Indexes());
    if (TBlobFile* blobs = table.BlobFile()) {
      for (uint32_t slot : aside_) SaveBlobValues(data, *blobs, slot);
    }
    for (uint32_t slot : aside_) {
      TRecord* record = data.ReadRecord(slot);
      SetRecordStatus(record->Data(), kRecordDeleted);
      data.MarkModified(record);
    }
    if (TBlobFile* blobs = table.BlobFile()) MendBlobValues(data, *blobs);
    MendFreeChain(data);
    MendRowNumbers(data);
    table.FlushAfterChange(true);
    cursor.RebuildIndexes();
    std::string entries;
    TIndexFile& index = table.IndexFile();
    for (int slot : cursor.Indexes()) {
      entries += (entries.empty() ? "" : ", ") +
                 (slot == kPrimaryIndex ? std::string("(primary)") : index.IndexName(slot)) + " " +
                 std::to_string(index.EntryCount(slot));
    }
    Action("every index rebuilt from the " + std::to_string(live_.size()) +
           " records kept: " + entries);
    report_.After = CheckTable(cursor);
    cursor.Close();
  }

  void ReadSlots(TDataFile& data) {
    for (uint32_t slot = 1; slot <= data.SlotCount(); ++slot) {
      const uint8_t* record = data.ReadRecord(slot, TReadAhead::kForward)->Data();
      const uint8_t status = GetRecordStatus(record);
      const int32_t row = GetRowNumber(record);
      if (status == kRecordDeleted) {
        deleted_.push_back(slot);
      } else if (status != kRecordLive) {
        SetAside(data, slot, "status byte " + std::to_string(status));
      } else if (row <= 0) {
        SetAside(data, slot, "row number " + std::to_string(row));
      } else {
        live_.push_back({slot, row});
      }
    }
  }

  // The record number the old index `index` holds for `key`, 0 when it
  // holds none or cannot be read.
  static uint32_t IndexedRecord(TIndexFile& index, int slot, const uint8_t* key) {
    try {
      uint32_t record = 0;
      return index.Contains(slot, key, TKeyLimit::Whole(), &record) ? record : 0;
    } catch (const EStrataEngineError&) {
      return 0;
    }
  }

  // Of the records in `group` (slots with one row number or one unique key,
  // in slot order), keeps the one `indexed` names, else the first.
  void KeepOne(TDataFile& data, const std::vector<uint32_t>& group, uint32_t indexed,
               const std::string& what) {
    const uint32_t keep =
        std::find(group.begin(), group.end(), indexed) != group.end() ? indexed : group.front();
    for (uint32_t slot : group) {
      if (slot != keep) SetAside(data, slot, what + " also held by record " + std::to_string(keep));
    }
  }

  void KeepOnePerRow(TDataTable& table) {
    std::map<int32_t, std::vector<uint32_t>> by_row;
    for (const TLive& live : live_) by_row[live.Row].push_back(live.Slot);
    for (const auto& [row, group] : by_row) {
      if (group.size() < 2) continue;
      const uint8_t* record = table.DataFile().ReadRecord(group.front())->Data();
      std::vector<uint8_t> key = table.IndexFile().BuildKey(kSysDeletedIndex, record);
      KeepOne(table.DataFile(), group,
              IndexedRecord(table.IndexFile(), kSysDeletedIndex, key.data()),
              "row number " + std::to_string(row));
    }
    DropSetAside();
  }

  void KeepOnePerUniqueKey(TDataTable& table, const std::vector<int>& indexes) {
    TIndexFile& index = table.IndexFile();
    TDataFile& data = table.DataFile();
    for (int slot : indexes) {
      if (slot == kSysDeletedIndex || !index.KeyFormat(slot).Unique()) continue;
      std::vector<std::pair<std::vector<uint8_t>, uint32_t>> keys;
      for (const TLive& live : live_) {
        keys.emplace_back(index.BuildKey(slot, data.ReadRecord(live.Slot)->Data()), live.Slot);
      }
      auto compare = [&](const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
        return index.CompareKeys(slot, a.data(), b.data());
      };
      std::stable_sort(keys.begin(), keys.end(),
                       [&](const auto& a, const auto& b) { return compare(a.first, b.first) < 0; });
      const std::string name = slot == kPrimaryIndex ? "(primary)" : index.IndexName(slot);
      for (size_t i = 0; i < keys.size();) {
        size_t end = i + 1;
        while (end < keys.size() && compare(keys[i].first, keys[end].first) == 0) ++end;
        if (end - i > 1) {
          std::vector<uint32_t> group;
          for (size_t k = i; k < end; ++k) group.push_back(keys[k].second);
          std::sort(group.begin(), group.end());
          KeepOne(data, group, IndexedRecord(index, slot, keys[i].first.data()),
                  "its key in the unique index " + name);
        }
        i = end;
      }
      DropSetAside();
    }
  }

  // Records set aside leave the live list.
  void DropSetAside() {
    std::set<uint32_t> aside(aside_.begin(), aside_.end());
    std::erase_if(live_, [&](const TLive& live) { return aside.contains(live.Slot); });
  }

  void SetAside(TDataFile& data, uint32_t slot, const std::string& reason) {
    const TRecord* record = data.ReadRecord(slot);
    const int32_t row = GetRowNumber(record->Data());
    side_.Line("record " + std::to_string(slot) + " (row " + std::to_string(row) + "): " + reason);
    side_.Line("  " + Hex({record->Data(), data.RecordSize()}));
    Action("record " + std::to_string(slot) + " (row " + std::to_string(row) + ") set aside into " +
           side_.Path() + ": " + reason);
    aside_.push_back(slot);
    ++report_.RecordsSetAside;
  }

  // The blob values of a record set aside follow it into the side file,
  // as far as their chains can be read.
  void SaveBlobValues(TDataFile& data, TBlobFile& blobs, uint32_t slot) {
    std::vector<uint8_t> record(data.ReadRecord(slot)->Buffer);
    for (const TFieldDescriptor& field : data.Fields()) {
      if (!field.IsBlob() || field.NotStored) continue;
      const uint32_t first = GetU32(record.data() + field.Offset + 1);
      if (first == 0) continue;
      std::vector<uint8_t> bytes;
      TBlobValueCheck value = CheckBlobValue(blobs, first, GetRowNumber(record.data()), &bytes);
      side_.Line("record " + std::to_string(slot) + " field " + field.Name + ": " +
                 std::to_string(bytes.size()) + " bytes" +
                 (value.Sound() ? "" : " saved of a damaged value (" + value.Fault + ")"));
      side_.Line("  " + Hex(bytes));
    }
  }

  // Blob references whose chain is broken are cleared; the blocks of the
  // sound values are claimed, every other block goes on the free chain.
  void MendBlobValues(TDataFile& data, TBlobFile& blobs) {
    std::vector<bool> claimed(size_t(blobs.BlockCount()) + 1, false);
    for (const TLive& live : live_) {
      for (const TFieldDescriptor& field : data.Fields()) {
        if (!field.IsBlob() || field.NotStored) continue;
        const uint32_t first = GetU32(data.ReadRecord(live.Slot)->Data() + field.Offset + 1);
        if (first == 0) continue;
        std::vector<uint8_t> bytes;
        TBlobValueCheck value = CheckBlobValue(blobs, first, live.Row, &bytes);
        std::string fault = value.Fault;
        for (uint32_t block : value.Blocks) {
          if (fault.empty() && claimed[block]) {
            fault = "blob block " + std::to_string(block) + " is held by another value";
          }
        }
        if (fault.empty()) {
          for (uint32_t block : value.Blocks) claimed[block] = true;
          continue;
        }
        TRecord* record = data.ReadRecord(live.Slot);
        SetFieldBlank(field, record->Buffer, data.Context());
        data.MarkModified(record);
        const std::string who = "record " + std::to_string(live.Slot) + " (row " +
                                std::to_string(live.Row) + ") field " + field.Name;
        side_.Line(who + ": " + std::to_string(bytes.size()) + " bytes saved of a damaged value (" +
                   fault + ")");
        side_.Line("  " + Hex(bytes));
        Action(who + ": blob reference cleared (" + fault + "); what its chain held is in " +
               side_.Path());
        ++report_.ValuesCleared;
      }
    }
    std::vector<uint32_t> free_blocks;
    for (uint32_t block = 1; block <= blobs.BlockCount(); ++block) {
      if (!claimed[block]) free_blocks.push_back(block);
    }
    std::vector<uint32_t> old_chain;
    try {
      old_chain = blobs.FreeChain();
    } catch (const EStrataEngineError&) {
      old_chain.clear();
    }
    std::vector<uint32_t> sorted_old = old_chain;
    std::sort(sorted_old.begin(), sorted_old.end());
    if (sorted_old == free_blocks && old_chain.size() == free_blocks.size()) return;
    std::vector<uint32_t> returned;
    std::set<uint32_t> on_old(old_chain.begin(), old_chain.end());
    for (uint32_t block : free_blocks) {
      if (!on_old.contains(block)) returned.push_back(block);
    }
    blobs.SetFreeChain(free_blocks);
    Action("blob free chain rebuilt with " + std::to_string(free_blocks.size()) + " blocks" +
           (returned.empty() ? "" : "; given back: " + NumberList(returned)));
  }

  void MendFreeChain(TDataFile& data) {
    std::vector<uint32_t> free_slots = deleted_;
    free_slots.insert(free_slots.end(), aside_.begin(), aside_.end());
    std::sort(free_slots.begin(), free_slots.end());
    // The old chain as far as it is sound.
    std::set<uint32_t> old_chain;
    bool sound = true;
    for (uint32_t next = data.FreeChainHead(); next != 0;) {
      if (next > data.SlotCount() || old_chain.contains(next) ||
          !std::binary_search(deleted_.begin(), deleted_.end(), next)) {
        sound = false;
        break;
      }
      old_chain.insert(next);
      next = GetFreeLink(data.ReadRecord(next)->Data());
    }
    if (sound && aside_.empty() && old_chain.size() == deleted_.size()) return;
    std::vector<uint32_t> returned;
    for (uint32_t slot : deleted_) {
      if (!old_chain.contains(slot)) returned.push_back(slot);
    }
    data.SetFreeChain(free_slots);
    Action("free chain of record slots rebuilt with " + std::to_string(free_slots.size()) +
           " slots" + (returned.empty() ? "" : "; given back: " + NumberList(returned)));
  }

  void MendRowNumbers(TDataFile& data) {
    int32_t highest = 0;
    for (const TLive& live : live_) highest = std::max(highest, live.Row);
    const int32_t last = data.LastAutoIncrement();
    if (last >= 0 && highest > last) {
      data.SetLastAutoIncrement(highest);
      Action("last row number handed out raised from " + std::to_string(last) + " to " +
             std::to_string(highest));
    }
  }

  std::shared_ptr<TDataDirectory> directory_;
  std::string name_;
  std::string data_path_;
  std::string index_path_;
  std::string blob_path_;
  TSideFile side_;
  TTableRepairReport report_;
  std::vector<uint32_t> deleted_;  // slots deleted before the repair, ascending
  std::vector<uint32_t> aside_;    // slots set aside
  std::vector<TLive> live_;        // records kept, in slot order
};

}  // namespace

TTableRepairReport RepairTable(const std::shared_ptr<TDataDirectory>& directory,
                               std::string_view table_name) {
  return TRepair(directory, table_name).Run();
}

}  // namespace strata
