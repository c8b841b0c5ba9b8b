// The strata program, run as an administrator would run it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "storage/test_damaged_table.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status;
  std::string output;
};

// Runs strata with the arguments (quoted for the shell), output and errors
// together. A run that hangs is ended after a minute (status 124).
Outcome Strata(const std::string& arguments) {
  std::string command = "timeout 60 " + std::string(STRATA_PROGRAM) + " " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  Outcome run{-1, ""};
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    run.output.append(buffer.data(), n);
  int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::vector<char> Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

class StrataTool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("strata_tool_" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    table_ = (dir_ / "Banner").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A GIF of 1,300 bytes: a real header and trailer around filler, so that
  // its value spans several blob blocks.
  fs::path MakeGif() {
    fs::path gif = dir_ / "banner.gif";
    std::ofstream out(gif, std::ios::binary);
    out << "GIF89a";
    for (int i = 0; i < 1293; ++i) out.put(static_cast<char>(i * 7));
    out.put(';');
    return gif;
  }

  void CreateBannerTable() {
    Outcome run = Strata("create " + table_ +
                         " --field ID:autoinc --field 'Name:string(40):required'"
                         " --field Views:integer:default=0 --field Image:graphic"
                         " --primary ID --index ByName:Name:nocase --block-size 256");
    ASSERT_EQ(run.status, 0) << run.output;
  }

  fs::path dir_;
  std::string table_;
};

TEST_F(StrataTool, CreateLoadListAndFetchABanner) {
  CreateBannerTable();
  EXPECT_TRUE(fs::exists(dir_ / "Banner.DAT"));
  EXPECT_TRUE(fs::exists(dir_ / "Banner.IDX"));
  EXPECT_TRUE(fs::exists(dir_ / "Banner.BLB"));

  fs::path gif = MakeGif();
  Outcome insert = Strata("insert " + table_ + " Name=zebra Image=@" + gif.string());
  ASSERT_EQ(insert.status, 0) << insert.output;
  EXPECT_NE(insert.output.find("inserted row 1"), std::string::npos) << insert.output;
  ASSERT_EQ(Strata("insert " + table_ + " Name=Apple Views=5").status, 0);

  Outcome list = Strata("list " + table_ + " --index ByName");
  ASSERT_EQ(list.status, 0) << list.output;
  // Case-insensitive order: Apple before zebra; the blob shown by its size.
  EXPECT_LT(list.output.find("Apple"), list.output.find("zebra")) << list.output;
  EXPECT_NE(list.output.find("(1300 bytes)"), std::string::npos) << list.output;
  EXPECT_NE(list.output.find("\t0\t"), std::string::npos) << "default applied: " << list.output;

  fs::path copy = dir_ / "copy.gif";
  Outcome blob = Strata("blob " + table_ + " 1 Image " + copy.string());
  ASSERT_EQ(blob.status, 0) << blob.output;
  EXPECT_EQ(Bytes(copy), Bytes(gif));

  Outcome info = Strata("info " + table_);
  ASSERT_EQ(info.status, 0) << info.output;
  EXPECT_NE(info.output.find("records      2"), std::string::npos) << info.output;
  EXPECT_NE(info.output.find("ByName"), std::string::npos) << info.output;

  Outcome verify = Strata("verify " + table_);
  EXPECT_EQ(verify.status, 0) << verify.output;
  EXPECT_NE(verify.output.find("sound"), std::string::npos);

  ASSERT_EQ(Strata("delete " + table_ + " 1").status, 0);
  Outcome after = Strata("list " + table_);
  EXPECT_EQ(after.output.find("zebra"), std::string::npos) << after.output;
  EXPECT_EQ(Strata("verify " + table_).status, 0);
  EXPECT_EQ(Strata("rebuild " + table_).status, 0);
  EXPECT_EQ(Strata("verify " + table_).status, 0);
}

TEST_F(StrataTool, EngineErrorsAndBadArgumentsAreReported) {
  CreateBannerTable();
  Outcome missing = Strata("insert " + table_ + " Views=3");
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.output.find("Strata Engine Error # 9732"), std::string::npos) << missing.output;
  Outcome again = Strata("create " + table_ + " --field A:integer");
  EXPECT_EQ(again.status, 2);
  EXPECT_NE(again.output.find("# 13060"), std::string::npos) << again.output;
  EXPECT_EQ(Strata("create " + table_ + " --field A:text").status, 2);
  EXPECT_EQ(Strata("frobnicate " + table_).status, 2);
  Outcome nothing = Strata("list " + (dir_ / "Nothing").string());
  EXPECT_NE(nothing.output.find("# 11010"), std::string::npos) << nothing.output;
  EXPECT_EQ(Strata("--help").status, 0);
}

TEST_F(StrataTool, HelpPrintsEachCommandWithItsParagraph) {
  Outcome help = Strata("--help");
  EXPECT_EQ(help.status, 0);
  // Each command on a line of its own at two blanks, its text below at six.
  for (const char* paragraph : {
           "  info TABLE\n      Shows the header, the fields and the indexes.\n",
           "  insert TABLE FIELD=VALUE...\n      Inserts one record. Values are written as value "
           "texts: dates 2026-12-08,\n      times 13:05:00, timestamps \"2026-12-08 13:05:00\", "
           "booleans TRUE/FALSE.\n      FIELD=@FILE loads a blob field from a file. Fields left "
           "out get their\n      defaults. Prints the new row number.\n",
           "  delete TABLE ROW\n      Deletes the record with this row number.\n",
           "  list TABLE [--index NAME]\n      Lists the records in natural (row) order or in "
           "index order; blob\n",
           "  blob TABLE ROW FIELD FILE\n      Writes one blob value to FILE.\n",
           "      --language NAME  e.g. \"German (Standard)\"; default \"ANSI Standard\"\n",
       }) {
    EXPECT_NE(help.output.find(paragraph), std::string::npos) << paragraph << "\n" << help.output;
  }
  // The commands in their order, and no line wider than a terminal.
  size_t at = 0;
  for (const char* command : {"\n  create ", "\n  info ", "\n  insert ", "\n  delete ", "\n  list ",
                              "\n  blob ", "\n  verify ", "\n  rebuild "}) {
    size_t found = help.output.find(command, at);
    EXPECT_NE(found, std::string::npos) << command;
    at = found == std::string::npos ? at : found;
  }
  std::istringstream lines(help.output);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
}

TEST_F(StrataTool, VerifyNamesDamage) {
  CreateBannerTable();
  for (const char* name : {"a", "b", "c"}) {
    ASSERT_EQ(Strata("insert " + table_ + " Name=" + name).status, 0);
  }
  ASSERT_EQ(Strata("verify " + table_).status, 0);
  // Spoil the status byte of record 2 (after the header and 4 descriptors).
  {
    std::fstream data(dir_ / "Banner.DAT", std::ios::in | std::ios::out | std::ios::binary);
    // Record size: header bytes 21..22.
    unsigned char size[2];
    data.seekg(21);
    data.read(reinterpret_cast<char*>(size), 2);
    const int record_size = size[0] | (size[1] << 8);
    data.seekp(127 + 4 * 768 + record_size);
    data.put(7);
  }
  Outcome damaged = Strata("verify " + table_);
  EXPECT_EQ(damaged.status, 1) << damaged.output;
  EXPECT_NE(damaged.output.find("record 2: status byte 7"), std::string::npos) << damaged.output;

  // A data file one byte too long cannot even be opened: still a fault.
  { std::ofstream(dir_ / "Banner.DAT", std::ios::app | std::ios::binary).put(0); }
  Outcome torn = Strata("verify " + table_);
  EXPECT_EQ(torn.status, 1) << torn.output;
  EXPECT_NE(torn.output.find("8961"), std::string::npos) << torn.output;
}

TEST_F(StrataTool, HelpNamesRepairAndItsFiles) {
  Outcome help = Strata("--help");
  EXPECT_EQ(help.status, 0);
  for (const char* part :
       {"repair TABLE", "TABLE.LOST", "TABLE.DBK", "Refuses, naming the faults"}) {
    EXPECT_NE(help.output.find(part), std::string::npos) << part;
  }
}

// Copies of a table damaged in each kind the check knows: verify names it
// (exit 1, never 2, never hanging), repair mends it, and the table checks
// sound and lists.
TEST_F(StrataTool, VerifyNamesAndRepairMendsEachKindOfDamage) {
  namespace st = strata::testing;
  const fs::path intact = dir_ / "intact";
  fs::create_directories(intact);
  st::BuildDamagedTable(intact.string() + "/");
  const std::string table = (dir_ / st::kDamagedTable).string();
  for (const st::TDamageKind& kind : st::DamageKinds()) {
    SCOPED_TRACE(kind.Name);
    for (const char* extension : {".DAT", ".IDX", ".BLB"}) {
      fs::copy_file(intact / (std::string(st::kDamagedTable) + extension),
                    dir_ / (std::string(st::kDamagedTable) + extension),
                    fs::copy_options::overwrite_existing);
    }
    kind.Apply(st::TTableFiles(dir_.string(), st::kDamagedTable));
    Outcome verify = Strata("verify " + table);
    EXPECT_EQ(verify.status, 1) << verify.output;
    EXPECT_NE(verify.output.find(kind.Fault), std::string::npos) << verify.output;

    Outcome repair = Strata("repair " + table);
    EXPECT_EQ(repair.status, 0) << repair.output;
    EXPECT_NE(repair.output.find("found: "), std::string::npos) << repair.output;
    EXPECT_NE(repair.output.find("repaired: every index rebuilt"), std::string::npos)
        << repair.output;
    EXPECT_NE(repair.output.find("Damaged: sound after the repair"), std::string::npos)
        << repair.output;
    Outcome again = Strata("verify " + table);
    EXPECT_EQ(again.status, 0) << again.output;
    Outcome list = Strata("list " + table);
    EXPECT_EQ(list.status, 0) << list.output;
    EXPECT_NE(list.output.find("\n199\t199\t"), std::string::npos) << list.output;
    EXPECT_EQ(Strata("repair " + table).output, "Damaged: sound, nothing to repair\n");
  }
}

// An insert killed after its record reached the data file, before its index
// entries and blob blocks: the record is live but unindexed, its blob
// reference points past the blob file.
TEST_F(StrataTool, RebuildRefusesARecordAKilledInsertLeftAndRepairKeepsIt) {
  CreateBannerTable();
  fs::path gif = MakeGif();
  for (const char* name : {"a", "b"}) {
    ASSERT_EQ(Strata("insert " + table_ + " Name=" + name + " Image=@" + gif.string()).status, 0);
  }
  const std::vector<char> index = Bytes(dir_ / "Banner.IDX");
  const std::vector<char> blobs = Bytes(dir_ / "Banner.BLB");
  ASSERT_EQ(Strata("insert " + table_ + " Name=killed Image=@" + gif.string()).status, 0);
  auto put_back = [&](const char* name, const std::vector<char>& bytes) {
    std::ofstream(dir_ / name, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  };
  put_back("Banner.IDX", index);
  put_back("Banner.BLB", blobs);

  Outcome verify = Strata("verify " + table_);
  EXPECT_EQ(verify.status, 1) << verify.output;
  EXPECT_NE(verify.output.find("record 3 field Image: blob block"), std::string::npos)
      << verify.output;
  EXPECT_NE(verify.output.find("no entry for record 3"), std::string::npos) << verify.output;
  // Indexing the record would make it listable with a value nobody can read.
  Outcome rebuild = Strata("rebuild " + table_);
  EXPECT_EQ(rebuild.status, 1) << rebuild.output;
  EXPECT_NE(rebuild.output.find("fault: record 3 field Image"), std::string::npos)
      << rebuild.output;
  EXPECT_NE(rebuild.output.find("use strata repair"), std::string::npos) << rebuild.output;
  EXPECT_EQ(Bytes(dir_ / "Banner.IDX"), index) << "the indexes are left as they are";

  Outcome repair = Strata("repair " + table_);
  EXPECT_EQ(repair.status, 0) << repair.output;
  EXPECT_NE(repair.output.find("repaired: record 3 (row 3) field Image: blob reference cleared"),
            std::string::npos)
      << repair.output;
  EXPECT_NE(repair.output.find("what its chain held is in " + (dir_ / "Banner.LOST").string()),
            std::string::npos)
      << repair.output;
  Outcome list = Strata("list " + table_);
  EXPECT_EQ(list.status, 0) << list.output;
  EXPECT_NE(list.output.find("3\t3\tkilled\t0\t(0 bytes)"), std::string::npos) << list.output;
  EXPECT_EQ(Strata("rebuild " + table_).status, 0);
  // The repaired record can be deleted, and the table takes new records.
  EXPECT_EQ(Strata("delete " + table_ + " 3").status, 0);
  EXPECT_EQ(Strata("insert " + table_ + " Name=c Image=@" + gif.string()).status, 0);
  EXPECT_EQ(Strata("verify " + table_).status, 0);
}

}  // namespace
