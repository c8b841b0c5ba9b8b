#include "storage/table_check.h"

#include <algorithm>
#include <exception>
#include <map>
#include <set>

#include "storage/blob/blob_file.h"
#include "storage/blob/blob_value_check.h"
#include "storage/byte_order.h"
#include "storage/cursor/data_cursor.h"
#include "storage/data/data_file.h"
#include "storage/engine_error.h"
#include "storage/index/index_file.h"
#include "storage/record/record_header.h"
#include "storage/table/data_table.h"
#include "storage/table/table_lock_guards.h"

namespace strata {
namespace {

// Lists faults of one kind up to kMaxFaultsListed, then counts the rest.
class TFaultList {
 public:
  TFaultList(TTableCheckResult& result, std::string summary)
      : result_(result), summary_(std::move(summary)) {}
  ~TFaultList() {
    if (more_ > 0)
      result_.Faults.push_back("... and " + std::to_string(more_) + " more " + summary_);
  }
  void Add(std::string text) {
    if (listed_ < kMaxFaultsListed) {
      result_.Faults.push_back(std::move(text));
      ++listed_;
    } else {
      ++more_;
    }
  }

 private:
  TTableCheckResult& result_;
  std::string summary_;
  size_t listed_ = 0;
  size_t more_ = 0;
};

class Checker {
 public:
  Checker(TDataTable& table, TTableCheckResult& result)
      : table_(table), data_(table.DataFile()), result_(result) {}

  void Run(bool indexes) {
    Phase("data file", [&] { CheckDataHeader(); });
    Phase("records", [&] { ReadSlots(); });
    Phase("free chain", [&] { CheckFreeChain(); });
    if (indexes) Phase("index file", [&] { CheckIndexes(); });
    if (table_.BlobFile() != nullptr) Phase("blob file", [&] { CheckBlobs(*table_.BlobFile()); });
    std::sort(result_.DamagedRecords.begin(), result_.DamagedRecords.end());
    result_.DamagedRecords.erase(
        std::unique(result_.DamagedRecords.begin(), result_.DamagedRecords.end()),
        result_.DamagedRecords.end());
  }

 private:
  void Fault(std::string text) { result_.Faults.push_back(std::move(text)); }
  void RecordFault(uint32_t slot, std::string text) {
    result_.DamagedRecords.push_back(slot);
    Fault(std::move(text));
  }

  // A failure to read that ends one part of the check ends only that part.
  template <class Work>
  void Phase(const char* part, Work&& work) {
    try {
      work();
    } catch (const EStrataEngineError& e) {
      Fault(std::string(part) + ": " + e.what());
    }
  }

  void CheckDataHeader() {
    try {
      data_.Verify();
    } catch (const EStrataEngineError& e) {
      Fault(std::string("data file: ") + e.what());
    }
    const uint64_t size = data_.Size();
    const uint64_t area = data_.HeaderAreaSize();
    const uint64_t record_size = data_.RecordSize();
    if (size < area || (size - area) % record_size != 0) {
      Fault("data file: length " + std::to_string(size) + " is not the header area (" +
            std::to_string(area) + ") plus whole records of " + std::to_string(record_size) +
            " bytes");
    } else if ((size - area) / record_size + 1 != data_.NextSlot()) {
      Fault("data file: next slot " + std::to_string(data_.NextSlot()) + " but the file holds " +
            std::to_string((size - area) / record_size) + " slots");
    }
    result_.Slots = data_.SlotCount();
  }

  // Reads every slot as stored (bypassing the cache, whose copies carry their
  // own number) and checks states and row numbers.
  void ReadSlots() {
    const uint32_t record_size = data_.RecordSize();
    const uint64_t area = data_.HeaderAreaSize();
    const uint64_t size = data_.Size();
    const uint32_t slots = static_cast<uint32_t>(
        std::min<uint64_t>(data_.SlotCount(), size < area ? 0 : (size - area) / record_size));
    constexpr uint32_t kRun = 256;
    std::vector<uint8_t> run(static_cast<size_t>(kRun) * record_size);
    std::map<int32_t, uint32_t> rows;
    for (uint32_t first = 1; first <= slots; first += kRun) {
      const uint32_t count = std::min(kRun, slots - first + 1);
      data_.ReadAt(area + uint64_t(first - 1) * record_size, run.data(),
                   size_t(count) * record_size);
      for (uint32_t i = 0; i < count; ++i) {
        const uint32_t number = first + i;
        uint8_t* record = run.data() + size_t(i) * record_size;
        if (data_.Encrypted()) {
          // Encrypted slots are checked through the cache, which unscrambles.
          record = data_.ReadRecord(number)->Buffer.data();
        }
        CheckSlot(number, record, rows);
      }
    }
    result_.LiveRecords = static_cast<uint32_t>(live_.size());
  }

  void CheckSlot(uint32_t number, const uint8_t* record, std::map<int32_t, uint32_t>& rows) {
    const uint8_t status = GetRecordStatus(record);
    if (status == kRecordDeleted) {
      deleted_.insert(number);
      return;
    }
    if (status != kRecordLive) {
      RecordFault(number,
                  "record " + std::to_string(number) + ": status byte " + std::to_string(status));
      return;
    }
    live_.push_back(number);
    const int32_t row = GetRowNumber(record);
    if (row <= 0) {
      RecordFault(number,
                  "record " + std::to_string(number) + ": row number " + std::to_string(row));
    }
    auto [it, fresh] = rows.emplace(row, number);
    if (!fresh) {
      RecordFault(number, "records " + std::to_string(it->second) + " and " +
                              std::to_string(number) + " share row number " + std::to_string(row));
    }
    const int32_t last = data_.LastAutoIncrement();
    if (row > last && last > 0 && last < 2147483647) {
      Fault("record " + std::to_string(number) + ": row number " + std::to_string(row) +
            " above the last one handed out (" + std::to_string(last) + ")");
    }
    records_[number].assign(record, record + data_.RecordSize());
  }

  void CheckFreeChain() {
    std::set<uint32_t> chained;
    uint32_t next = data_.FreeChainHead();
    const uint64_t area = data_.HeaderAreaSize();
    std::vector<uint8_t> header(kRecordHeaderSize);
    while (next != 0) {
      if (next > data_.SlotCount()) {
        Fault("free chain: slot " + std::to_string(next) + " lies beyond the " +
              std::to_string(data_.SlotCount()) + " slots");
        break;
      }
      if (!chained.insert(next).second) {
        Fault("free chain: slot " + std::to_string(next) + " is reached twice (a loop)");
        break;
      }
      if (!deleted_.contains(next)) {
        Fault("free chain: slot " + std::to_string(next) + " is not a deleted record");
        break;
      }
      if (data_.Encrypted()) {
        next = GetFreeLink(data_.ReadRecord(next)->Buffer.data());
      } else {
        data_.ReadAt(area + uint64_t(next - 1) * data_.RecordSize(), header.data(), header.size());
        next = GetFreeLink(header.data());
      }
    }
    TFaultList lost(result_, "deleted records not on the free chain");
    for (uint32_t slot : deleted_) {
      if (!chained.contains(slot)) {
        lost.Add("deleted record " + std::to_string(slot) + " is not on the free chain");
      }
    }
    result_.FreeSlots = static_cast<uint32_t>(chained.size());
  }

  void CheckIndexes() {
    TIndexFile& index = table_.IndexFile();
    TIndexCheckResult structure = index.CheckStructure();
    {
      TFaultList faults(result_, "faults of the index file");
      for (std::string& fault : structure.Faults) faults.Add("index file: " + fault);
    }
    for (int slot = 0; slot < kIndexSlotCount; ++slot) {
      if (!index.IsMaintained(slot)) continue;
      const std::string name = slot == 0 ? "(primary)" : index.IndexName(slot);
      try {
        CheckEntries(index, slot, name);
      } catch (const EStrataEngineError& e) {
        Fault("index " + name + ": " + e.what());
      }
    }
  }

  // The index holds exactly one entry for each live record. Its first
  // engine error ends the check of this index only.
  void CheckEntries(TIndexFile& index, int slot, const std::string& name) {
    const uint32_t entries = index.EntryCount(slot);
    result_.IndexEntries.emplace_back(name, entries);
    if (entries != live_.size()) {
      Fault("index " + name + ": " + std::to_string(entries) + " entries for " +
            std::to_string(live_.size()) + " live records");
    }
    TFaultList missing(result_, "records without an entry in the index " + name);
    for (uint32_t number : live_) {
      std::vector<uint8_t> key = index.BuildKey(slot, records_[number].data());
      TIndexPosition pos;
      if (!index.Locate(slot, key.data(), number, pos)) {
        missing.Add("index " + name + ": no entry for record " + std::to_string(number));
      }
    }
  }

  void CheckBlobs(TBlobFile& blobs) {
    result_.BlobBlocks = blobs.BlockCount();
    try {
      blobs.Verify();
    } catch (const EStrataEngineError& e) {
      Fault(std::string("blob file: ") + e.what());
    }
    std::map<uint32_t, std::string> owner;  // block -> who holds it
    auto claim = [&](uint32_t block, const std::string& who) {
      auto [it, fresh] = owner.emplace(block, who);
      if (!fresh) {
        Fault("blob block " + std::to_string(block) + " is held by " + it->second + " and by " +
              who);
      }
      return fresh;
    };
    try {
      std::vector<uint32_t> free_chain = blobs.FreeChain();
      result_.FreeBlobBlocks = static_cast<uint32_t>(free_chain.size());
      for (uint32_t block : free_chain) claim(block, "the free chain");
    } catch (const EStrataEngineError& e) {
      Fault(std::string("blob free chain: ") + e.what());
    }
    for (uint32_t number : live_) {
      const std::vector<uint8_t>& record = records_[number];
      for (const TFieldDescriptor& field : data_.Fields()) {
        if (!field.IsBlob() || field.NotStored) continue;
        const uint32_t first = GetU32(record.data() + field.Offset + 1);
        if (first == 0) continue;
        const std::string who = "record " + std::to_string(number) + " field " + field.Name;
        TBlobValueCheck value = CheckBlobValue(blobs, first, GetRowNumber(record.data()));
        bool shared = false;
        for (uint32_t block : value.Blocks) shared = !claim(block, who) || shared;
        if (!value.Sound()) RecordFault(number, who + ": " + value.Fault);
        if (shared) result_.DamagedRecords.push_back(number);
      }
    }
    TFaultList lost(result_, "blob blocks in no value and not on the free chain");
    for (uint32_t block = 1; block <= blobs.BlockCount(); ++block) {
      if (!owner.contains(block)) {
        lost.Add("blob block " + std::to_string(block) +
                 " is in no value and not on the free chain");
      }
    }
  }

  TDataTable& table_;
  TDataFile& data_;
  TTableCheckResult& result_;
  std::vector<uint32_t> live_;
  std::set<uint32_t> deleted_;
  std::map<uint32_t, std::vector<uint8_t>> records_;
};

TTableCheckResult Check(TDataCursor& cursor, bool indexes) {
  TTableCheckResult result;
  TDataTable& table = cursor.Table();
  ReadLock lock(table);
  Checker(table, result).Run(indexes);
  lock.Release();
  return result;
}

}  // namespace

TTableCheckResult CheckTable(TDataCursor& cursor) { return Check(cursor, true); }

TTableCheckResult CheckRecords(TDataCursor& cursor) { return Check(cursor, false); }

}  // namespace strata
