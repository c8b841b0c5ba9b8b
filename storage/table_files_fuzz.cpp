// Fuzzes damaged table files. A small valid table (several field types, a
// blob field whose values span blocks, a primary and two secondary indexes,
// deleted records) is made once per process; each input is a little program
// of patches to its .DAT, .IDX and .BLB files. The patched table is then
// opened through a fresh session, checked, walked on every index both ways
// with every blob read, changed (insert, modify, delete) and closed. Every
// step must succeed or raise an engine error: anything else that escapes,
// a crash, a sanitizer report, a hang or a huge allocation is a fault.
// Last, the damaged copy is repaired: the repair either refuses (an engine
// error: a data file header beyond repair) or leaves a table that checks
// sound; anything else is a fault too.
//
// Input: a sequence of operations, each starting with one byte
//   op % 3        the file: 0 .DAT, 1 .IDX, 2 .BLB
//   op / 3 % 6    the kind:
//     0 write   offset(3) count(1) bytes(count % 16 + 1)
//     1 word    offset(3) value(4)           a little-endian 32-bit word
//     2 special offset(3) choice(1)          a word from a list of
//                                            interesting values
//     3 xor     offset(3) mask(1)
//     4 copy    from(3) to(3) count(2)       within the file
//     5 resize  size(3)                      truncate or extend with zeros
// Offsets are taken modulo the file's size plus 64 (so writes may extend it).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "storage/cursor/data_cursor.h"
#include "storage/engine_error.h"
#include "storage/record/field_descriptor.h"
#include "storage/session/data_directory.h"
#include "storage/session/data_session.h"
#include "storage/table/table_definition.h"
#include "storage/table_check.h"
#include "storage/table_repair.h"

namespace {

using strata::EStrataEngineError;
using strata::TDataCursor;
using strata::TDataSession;

constexpr const char* kTable = "FUZZ";
constexpr const char* kExtensions[3] = {".DAT", ".IDX", ".BLB"};
constexpr uint16_t kId = 1, kName = 2, kAmount = 3, kBorn = 4, kActive = 5, kNotes = 6;
// A walk longer than this over a dozen records means the links are damaged.
constexpr int kMaxSteps = 200;

struct TTemplate {
  std::filesystem::path Root;
  std::filesystem::path Work;
  std::vector<uint8_t> Files[3];
};

void Shorten(std::shared_ptr<TDataSession>& session) {
  session->Settings().LockWaitTime = 1;
  session->Settings().LockRetryCount = 2;
}

strata::TTableDefinition Definition() {
  strata::TTableDefinition definition;
  definition.Name = kTable;
  auto add = [&](const char* name, uint8_t type, uint8_t size, uint8_t subtype = 0) {
    strata::TFieldDescriptor field;
    field.FieldNumber = static_cast<uint16_t>(definition.Fields.size() + 1);
    field.Name = name;
    field.TypeCode = type;
    field.SubType = subtype;
    field.DeclaredSize = size;
    definition.Fields.push_back(field);
  };
  add("Id", strata::fldINT32, 0);
  add("Name", strata::fldZSTRING, 16);
  add("Amount", strata::fldFLOAT, 0);
  add("Born", strata::fldDATE, 0);
  add("Active", strata::fldBOOL, 0);
  add("Notes", strata::fldBLOB, 0, strata::fldstMEMO);
  strata::TIndexDef primary;
  primary.Primary = true;
  primary.Unique = true;
  primary.FieldNumbers = {kId};
  strata::TIndexDef by_name;
  by_name.Name = "ByName";
  by_name.FieldNumbers = {kName};
  by_name.CaseInsensitive = true;
  strata::TIndexDef by_born;
  by_born.Name = "ByBorn";
  by_born.FieldNumbers = {kBorn, kAmount};
  by_born.Descending = true;
  definition.Indexes = {primary, by_name, by_born};
  definition.BlobBlockSize = 64;
  return definition;
}

std::string Notes(int id) {
  // Some values fit one block, some span several.
  return std::string(static_cast<size_t>((id * 37) % 200), static_cast<char>('a' + id % 26));
}

void PutRecord(TDataCursor& cursor, int id) {
  cursor.PutFieldInt64(kId, id);
  cursor.PutFieldText(kName, "Name" + std::to_string((id * 7) % 13));
  cursor.PutFieldDouble(kAmount, id * 1.5);
  cursor.PutFieldText(kBorn,
                      "2001-0" + std::to_string(1 + id % 9) + "-1" + std::to_string(id % 10));
  cursor.PutFieldText(kActive, id % 2 ? "TRUE" : "FALSE");
  std::string notes = Notes(id);
  if (!notes.empty())
    cursor.SetBlob(kNotes, {reinterpret_cast<const uint8_t*>(notes.data()), notes.size()});
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

TTemplate& Template() {
  static TTemplate* made = [] {
    auto* t = new TTemplate;
    t->Root =
        std::filesystem::temp_directory_path() / ("strata_table_fuzz_" + std::to_string(getpid()));
    std::filesystem::remove_all(t->Root);
    std::filesystem::create_directories(t->Root / "template");
    std::filesystem::create_directories(t->Root / "work");
    t->Work = t->Root / "work";
    {
      auto session = TDataSession::Create();
      auto directory = session->OpenDirectory("", (t->Root / "template").string());
      TDataCursor cursor(directory);
      cursor.CreateTable(Definition());
      cursor.Open(kTable);
      for (int id = 1; id <= 12; ++id) {
        cursor.InitRecord();
        PutRecord(cursor, id);
        cursor.InsertRecord();
      }
      // Deleted records leave free slots, free blob blocks and index holes.
      for (int id : {4, 9, 11}) {
        cursor.SetIndex(0);
        cursor.First();
        while (cursor.MoveNext())
          if (*cursor.GetFieldInt64(kId) == id) {
            cursor.DeleteRecord();
            break;
          }
      }
      cursor.Close();
    }
    for (int f = 0; f < 3; ++f)
      t->Files[f] = ReadFile(t->Root / "template" / (std::string(kTable) + kExtensions[f]));
    std::atexit([] { std::filesystem::remove_all(Template().Root); });
    return t;
  }();
  return *made;
}

// Reads the input as a patch program.
class TPatcher {
 public:
  TPatcher(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  void Apply(std::vector<uint8_t> (&files)[3]) {
    while (pos_ < size_) {
      uint8_t op = Byte();
      std::vector<uint8_t>& file = files[op % 3];
      switch (op / 3 % 6) {
        case 0: {
          size_t at = Offset(file);
          size_t count = Byte() % 16 + 1;
          for (size_t i = 0; i < count && pos_ < size_; ++i) Put(file, at + i, Byte());
          break;
        }
        case 1: {
          size_t at = Offset(file);
          uint32_t value = Word();
          for (int i = 0; i < 4; ++i) Put(file, at + i, static_cast<uint8_t>(value >> (8 * i)));
          break;
        }
        case 2: {
          static const uint32_t kValues[] = {
              0,      1,      2,      3,       0x7F,       0x80,       0xFF,       0x100,
              0x7FFF, 0x8000, 0xFFFF, 0x10000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFFE,
              12,     13,     64,     512,     1024,       2048,       4096,       8192};
          size_t at = Offset(file);
          uint32_t value = kValues[Byte() % std::size(kValues)];
          if (value == 13) value = static_cast<uint32_t>(file.size());
          for (int i = 0; i < 4; ++i) Put(file, at + i, static_cast<uint8_t>(value >> (8 * i)));
          break;
        }
        case 3: {
          size_t at = Offset(file);
          uint8_t mask = Byte();
          if (at < file.size()) file[at] ^= mask;
          break;
        }
        case 4: {
          size_t from = Offset(file);
          size_t to = Offset(file);
          size_t count = Byte() | (Byte() << 8);
          for (size_t i = 0; i < count && from + i < file.size(); ++i)
            Put(file, to + i, file[from + i]);
          break;
        }
        case 5: {
          size_t size = Triple() % (file.size() + 8192);
          file.resize(size);
          break;
        }
      }
    }
  }

 private:
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint32_t Triple() { return Byte() | (Byte() << 8) | (Byte() << 16); }
  uint32_t Word() { return Triple() | (static_cast<uint32_t>(Byte()) << 24); }
  size_t Offset(const std::vector<uint8_t>& file) { return Triple() % (file.size() + 64); }
  static void Put(std::vector<uint8_t>& file, size_t at, uint8_t value) {
    if (at >= file.size()) file.resize(at + 1);
    file[at] = value;
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

template <class F>
void Try(F&& body) {
  try {
    body();
  } catch (const EStrataEngineError&) {
  }
}

void ReadRecord(TDataCursor& cursor) {
  Try([&] { (void)cursor.GetCurrentRecord(); });
  for (uint16_t field = 1; field <= cursor.Fields().size(); ++field) {
    Try([&] { (void)cursor.GetFieldText(field); });
  }
  Try([&] {
    uint16_t notes = cursor.FieldNumber("Notes");
    (void)cursor.BlobSize(notes);
    (void)cursor.ReadBlob(notes);
    (void)cursor.ReadBlob(notes, 10, 100);
    cursor.FreeBlob(notes);
  });
}

void Walk(TDataCursor& cursor) {
  std::vector<int> indexes;
  Try([&] { indexes = cursor.Indexes(); });
  for (int index : indexes) {
    Try([&] { cursor.SetIndex(index); });
    Try([&] {
      cursor.First();
      for (int steps = 0; steps < kMaxSteps && cursor.MoveNext(); ++steps) ReadRecord(cursor);
    });
    Try([&] {
      cursor.Last();
      for (int steps = 0; steps < kMaxSteps && cursor.MovePrior(); ++steps) ReadRecord(cursor);
    });
    Try([&] { (void)cursor.RecordCount(); });
    Try([&] { cursor.SetRecordNumber(3); });
  }
}

void Change(TDataCursor& cursor) {
  Try([&] { cursor.SetIndex(0); });
  Try([&] {
    cursor.InitRecord();
    PutRecord(cursor, 100);
    cursor.InsertRecord();
  });
  Try([&] {
    cursor.First();
    if (!cursor.MoveNext()) return;
    (void)cursor.GetCurrentRecord(true);
    cursor.PutFieldText(kName, "Changed");
    std::string notes(150, 'z');
    cursor.SetBlob(kNotes, {reinterpret_cast<const uint8_t*>(notes.data()), notes.size()});
    cursor.ModifyRecord();
  });
  Try([&] { cursor.Cancel(); });
  Try([&] {
    cursor.Last();
    if (!cursor.MovePrior()) return;
    cursor.DeleteRecord();
  });
  Try([&] { cursor.Cancel(); });
}

// Repairs the damaged copy (patched afresh: the walk above changed it) and
// aborts unless the table checks sound afterwards.
void Repair(const TTemplate& t, const std::vector<uint8_t> (&files)[3]) {
  for (int f = 0; f < 3; ++f) WriteFile(t.Work / (std::string(kTable) + kExtensions[f]), files[f]);
  auto session = TDataSession::Create();
  Shorten(session);
  auto directory = session->OpenDirectory("", t.Work.string());
  // The side file and the backups of the previous input go first.
  for (const char* extension : {".LOST", ".DBK", ".IBK", ".BBK"})
    std::filesystem::remove(t.Work / (std::string(kTable) + extension));
  strata::TTableRepairReport report;
  try {
    report = strata::RepairTable(directory, kTable);
  } catch (const EStrataEngineError&) {
    return;
  }
  if (!report.After.Sound()) {
    for (const std::string& fault : report.After.Faults)
      std::fprintf(stderr, "%s\n", fault.c_str());
    std::abort();
  }
  TDataCursor cursor(directory);
  cursor.Open(kTable);
  if (!strata::CheckTable(cursor).Sound()) std::abort();
  Walk(cursor);
}

}  // namespace

// Undefined behaviour stops the run like any other sanitizer report.
extern "C" const char* __ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TTemplate& t = Template();
  std::vector<uint8_t> files[3] = {t.Files[0], t.Files[1], t.Files[2]};
  TPatcher(data, size).Apply(files);
  for (int f = 0; f < 3; ++f) WriteFile(t.Work / (std::string(kTable) + kExtensions[f]), files[f]);

  auto session = TDataSession::Create();
  Shorten(session);
  auto directory = session->OpenDirectory("", t.Work.string());
  TDataCursor cursor(directory);
  try {
    cursor.Open(kTable);
  } catch (const EStrataEngineError&) {
    Repair(t, files);
    return 0;
  }
  Try([&] {
    strata::TTableCheckResult result = strata::CheckTable(cursor);
    if (std::getenv("TABLE_FUZZ_VERBOSE")) {
      std::fprintf(stderr, "slots %u live %u blob blocks %u free %u\n", result.Slots,
                   result.LiveRecords, result.BlobBlocks, result.FreeBlobBlocks);
      for (const std::string& fault : result.Faults) std::fprintf(stderr, "%s\n", fault.c_str());
    }
  });
  Walk(cursor);
  Change(cursor);
  Try([&] { strata::CheckTable(cursor); });
  Try([&] { cursor.Close(); });
  Repair(t, files);
  return 0;
}
