// Test helper for the table check and repair: a table with every structure
// the check knows (deleted slots on the free chain, index trees of two
// levels (ByName), blob values of several blocks, free blob blocks), raw
// access to its three files, and the kinds of damage applied to them by
// editing file bytes, as a killed writer or a failing disk leaves them.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "storage/cursor/data_cursor.h"
#include "storage/record/field_descriptor.h"
#include "storage/session/data_directory.h"
#include "storage/session/data_session.h"
#include "storage/table/table_definition.h"

namespace strata::testing {

// The damaged table's layout: Id (integer, primary index), Name (a string
// of 60, index ByName), Notes (memo); blob blocks of 64 bytes.
constexpr const char* kDamagedTable = "Damaged";
constexpr uint16_t kDamagedId = 1, kDamagedName = 2, kDamagedNotes = 3;
constexpr int kDamagedRecords = 200;
constexpr int kDamagedDeletedIds[] = {5, 17, 40, 41};

inline std::string DamagedName(int id) {
  return "name " + std::string(40, static_cast<char>('a' + id % 26)) + std::to_string(id);
}
inline std::string DamagedNotes(int id) {
  return std::string(static_cast<size_t>(40 + (id * 37) % 300), static_cast<char>('A' + id % 26));
}

inline TTableDefinition DamagedDefinition() {
  TTableDefinition definition;
  definition.Name = kDamagedTable;
  auto add = [&](const char* name, uint8_t type, uint8_t size, uint8_t subtype = 0) {
    TFieldDescriptor field;
    field.FieldNumber = static_cast<uint16_t>(definition.Fields.size() + 1);
    field.Name = name;
    field.TypeCode = type;
    field.SubType = subtype;
    field.DeclaredSize = size;
    definition.Fields.push_back(field);
  };
  add("Id", fldINT32, 0);
  add("Name", fldZSTRING, 60);
  add("Notes", fldBLOB, 0, fldstMEMO);
  TIndexDef primary;
  primary.Primary = true;
  primary.Unique = true;
  primary.FieldNumbers = {kDamagedId};
  TIndexDef by_name;
  by_name.Name = "ByName";
  by_name.FieldNumbers = {kDamagedName};
  definition.Indexes = {primary, by_name};
  definition.BlobBlockSize = 64;
  return definition;
}

inline void PutDamagedRecord(TDataCursor& cursor, int id) {
  cursor.InitRecord();
  cursor.PutFieldInt64(kDamagedId, id);
  cursor.PutFieldText(kDamagedName, DamagedName(id));
  std::string notes = DamagedNotes(id);
  cursor.SetBlob(kDamagedNotes, {reinterpret_cast<const uint8_t*>(notes.data()), notes.size()});
}

// Creates the table in `folder` with records 1..kDamagedRecords (row number
// = id) and deletes kDamagedDeletedIds again.
inline void BuildDamagedTable(const std::string& folder) {
  auto session = TDataSession::Create();
  auto directory = session->OpenDirectory("", folder);
  TDataCursor cursor(directory);
  cursor.CreateTable(DamagedDefinition());
  cursor.Open(kDamagedTable, {.Exclusive = true});
  for (int id = 1; id <= kDamagedRecords; ++id) {
    PutDamagedRecord(cursor, id);
    cursor.InsertRecord();
  }
  cursor.SetIndex(0);
  for (int id : kDamagedDeletedIds) {
    const std::vector<std::string> key = {std::to_string(id)};
    if (cursor.FindKeyText(key)) cursor.DeleteRecord();
  }
  cursor.Close();
}

// Byte access to the three files of a table, with the offsets of the
// formats (data header, slots, index pages, blob blocks).
class TTableFiles {
 public:
  TTableFiles(std::string folder, std::string name) : base_(std::filesystem::path(folder) / name) {}

  std::string Path(const char* extension) const { return base_.string() + extension; }
  std::vector<uint8_t> Read(const char* extension) const {
    std::ifstream in(Path(extension), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void Write(const char* extension, const std::vector<uint8_t>& bytes) const {
    std::ofstream out(Path(extension), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  uint64_t Size(const char* extension) const { return std::filesystem::file_size(Path(extension)); }
  void Truncate(const char* extension, uint64_t size) const {
    std::filesystem::resize_file(Path(extension), size);
  }
  uint32_t U32(const char* extension, uint64_t at) const { return Get(extension, at, 4); }
  uint16_t U16(const char* extension, uint64_t at) const {
    return static_cast<uint16_t>(Get(extension, at, 2));
  }
  uint8_t U8(const char* extension, uint64_t at) const {
    return static_cast<uint8_t>(Get(extension, at, 1));
  }
  void Put(const char* extension, uint64_t at, uint32_t value, int width) const {
    std::fstream file(Path(extension), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(at));
    for (int i = 0; i < width; ++i) file.put(static_cast<char>(value >> (8 * i)));
  }

  // Data file.
  uint16_t FieldCount() const { return U16(".DAT", 23); }
  uint16_t RecordSize() const { return U16(".DAT", 21); }
  uint32_t FreeChainHead() const { return U32(".DAT", 9); }
  uint32_t Slots() const { return U32(".DAT", 13) - 1; }
  uint64_t SlotOffset(uint32_t slot) const {
    return 127 + 768ull * FieldCount() + uint64_t(slot - 1) * RecordSize();
  }
  // The first block number a record's Notes holds (the last field: a flag
  // byte, then 8 bytes that begin with the block number).
  uint32_t BlobReference(uint32_t slot) const {
    return U32(".DAT", SlotOffset(slot) + RecordSize() - 8);
  }

  // Index file: descriptor slot `index` (0 primary) and pages.
  uint32_t RootPage(int index) const { return U32(".IDX", 14 + 120ull * index + 86); }
  uint16_t KeySize(int index) const { return U16(".IDX", 14 + 120ull * index + 31); }
  uint32_t NextPage() const { return U32(".IDX", 9); }
  static uint64_t PageOffset(uint32_t page) { return uint64_t(page) * 4096; }
  uint16_t EntryCount(uint32_t page) const { return U16(".IDX", PageOffset(page) + 1); }
  // Offset of the child link of entry `entry` of an inner page of `index`.
  uint64_t ChildLinkOffset(int index, uint32_t page, int entry) const {
    const uint64_t entry_size = KeySize(index) + 8u;
    return PageOffset(page) + 13 + entry * entry_size + KeySize(index) + 4;
  }

  // Blob file.
  uint32_t BlockSize() const {
    uint32_t size = U32(".DAT", 4);
    return size == 0 ? 512 : size;
  }
  uint32_t Blocks() const { return U32(".BLB", 13) - 1; }
  uint32_t BlobFreeHead() const { return U32(".BLB", 9); }
  uint64_t BlockOffset(uint32_t block) const { return 512 + uint64_t(block - 1) * BlockSize(); }

 private:
  uint32_t Get(const char* extension, uint64_t at, int width) const {
    std::ifstream in(Path(extension), std::ios::binary);
    in.seekg(static_cast<std::streamoff>(at));
    uint32_t value = 0;
    for (int i = 0; i < width; ++i) value |= static_cast<uint32_t>(in.get() & 0xFF) << (8 * i);
    return value;
  }

  std::filesystem::path base_;
};

// The kinds of damage the check names, each with a piece of the fault line
// it gives.
struct TDamageKind {
  const char* Name;
  const char* Fault;  // a part of the line that names it
  bool OpenFails;     // the table cannot be opened at all
  void (*Apply)(const TTableFiles& files);
};

// Slot 2 holds row 2, whose notes span several blocks.
constexpr uint32_t kDamagedSlot = 2;

inline const std::vector<TDamageKind>& DamageKinds() {
  static const std::vector<TDamageKind> kinds = {
      {"status byte", "record 2: status byte 7", false,
       [](const TTableFiles& f) { f.Put(".DAT", f.SlotOffset(kDamagedSlot), 7, 1); }},
      {"free chain link", "free chain: slot 4000 lies beyond", false,
       [](const TTableFiles& f) { f.Put(".DAT", f.SlotOffset(f.FreeChainHead()) + 1, 4000, 4); }},
      {"free chain loop", "is reached twice (a loop)", false,
       [](const TTableFiles& f) {
         f.Put(".DAT", f.SlotOffset(f.FreeChainHead()) + 1, f.FreeChainHead(), 4);
       }},
      {"index entry count", "index file: index 'ByName' (slot 1): page", false,
       [](const TTableFiles& f) {
         const uint32_t leaf = f.U32(".IDX", f.ChildLinkOffset(1, f.RootPage(1), 0));
         f.Put(".IDX", TTableFiles::PageOffset(leaf) + 1, 4000, 2);
       }},
      {"index inner link", "lies outside the file", false,
       [](const TTableFiles& f) {
         f.Put(".IDX", f.ChildLinkOffset(1, f.RootPage(1), 2), f.NextPage() + 20, 4);
       }},
      {"index cycle", "is already used by slot", false,
       [](const TTableFiles& f) {
         f.Put(".IDX", f.ChildLinkOffset(1, f.RootPage(1), 1), f.RootPage(1), 4);
       }},
      {"blob owner", "belongs to row 9999, not to row 2", false,
       [](const TTableFiles& f) {
         const uint32_t first = f.BlobReference(kDamagedSlot);
         const uint32_t second = f.U32(".BLB", f.BlockOffset(first) + 4);
         f.Put(".BLB", f.BlockOffset(second) + 10, 9999, 4);
       }},
      {"blob link", "lies beyond the", false,
       [](const TTableFiles& f) {
         const uint32_t first = f.BlobReference(kDamagedSlot);
         f.Put(".BLB", f.BlockOffset(first) + 4, f.Blocks() + 7, 4);
       }},
      {"blob byte count", "its total length says", false,
       [](const TTableFiles& f) {
         const uint32_t first = f.BlobReference(kDamagedSlot);
         const uint32_t total = f.U32(".BLB", f.BlockOffset(first) + 14);
         f.Put(".BLB", f.BlockOffset(first) + 14, total - 10, 4);
       }},
      {"truncated data file", "8961", true,
       [](const TTableFiles& f) { f.Truncate(".DAT", f.Size(".DAT") - 10); }},
      {"truncated index file", "8961", true,
       [](const TTableFiles& f) { f.Truncate(".IDX", f.Size(".IDX") - 4096 - 100); }},
      {"truncated blob file", "8961", true,
       [](const TTableFiles& f) { f.Truncate(".BLB", f.Size(".BLB") - 100); }},
  };
  return kinds;
}

}  // namespace strata::testing
