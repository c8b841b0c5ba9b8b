// Kills under load: 16 writer processes insert and update records with
// blobs while 3 readers list the table, and writers are killed (SIGKILL) at
// random about 150 times, each replaced by a new one. Afterwards the table
// checks sound, every change a writer acknowledged (after it returned) is
// there, no reader met a damaged table or a value that was not written
// whole, and nobody hung.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "storage/cursor/data_cursor.h"
#include "storage/cursor/test_cursor_table.h"

namespace strata {
namespace {

using testing::CheckTableFiles;
using testing::TCursorEnvironment;
using testing::TTableBuilder;
using testing::TTempDir;

constexpr uint16_t kOwner = 2;
constexpr uint16_t kSeq = 3;
constexpr uint16_t kVersion = 4;
constexpr uint16_t kPayload = 5;

constexpr int kWriters = 16;
constexpr int kReaders = 3;
constexpr int kKills = 150;
// Reader exit codes.
constexpr int kReaderDamaged = 3;
constexpr int kReaderTornValue = 4;

TTableDefinition LoadTable() {
  return TTableBuilder("Load")
      .Add("Row", fldINT32, 0, fldstAUTOINC)
      .Add("Owner", fldINT16)
      .Add("Seq", fldINT32)
      .Add("Version", fldINT32)
      .Add("Payload", fldBLOB)
      .Primary({1})
      .Secondary("ByOwnerSeq", {kOwner, kSeq}, true)
      .BlobBlockSize(128)
      .Definition();
}

std::vector<uint8_t> Payload(int owner, int seq, int version) {
  std::vector<uint8_t> bytes(60 + ((seq + version) % 9) * 70);
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<uint8_t>(owner * 31 + seq * 7 + version * 3 + i);
  }
  return bytes;
}

bool Damaged(uint16_t code) {
  return code == STRATA_HEADERCORRUPT || code == STRATA_FILECORRUPT || code == STRATA_MEMOCORRUPT ||
         code == STRATA_INDEXCORRUPT || code == STRATA_ENDOFBLOB;
}

// Lock waits and "changed by another user" are what contention gives.
bool Contention(uint16_t code) {
  return code == STRATA_LOCKTIMEOUT || code == STRATA_RECLOCKFAILED ||
         code == STRATA_KEYORRECDELETED;
}

bool FindRow(TDataCursor& cursor, int owner, int seq) {
  const int16_t owner_value = static_cast<int16_t>(owner);
  const int32_t seq_value = seq;
  const std::vector<TKeyFieldValue> key = {{&owner_value, 2}, {&seq_value, 4}};
  return cursor.FindKey(key);
}

void Acknowledge(int fd, const std::string& line) {
  // One write of a short line to a file opened for appending stays whole.
  if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) _exit(9);
}

int RunWriter(const std::string& folder, int owner, int acks) {
  TCursorEnvironment env(folder);
  TDataCursor cursor(env.directory);
  cursor.Open("Load");
  cursor.SetIndex("ByOwnerSeq");
  std::map<int, int> versions;
  for (int seq = 0;; ++seq) {
    try {
      cursor.InitRecord();
      cursor.PutFieldInt64(kOwner, owner);
      cursor.PutFieldInt64(kSeq, seq);
      cursor.PutFieldInt64(kVersion, 0);
      cursor.SetBlob(kPayload, Payload(owner, seq, 0));
      cursor.InsertRecord();
      versions[seq] = 0;
      Acknowledge(acks, "I " + std::to_string(owner) + " " + std::to_string(seq) + "\n");
      if (seq % 2 == 1) {
        const int target = seq / 2;
        if (!FindRow(cursor, owner, target)) return 5;
        cursor.GetCurrentRecord(true);
        const int version = versions[target] + 1;
        cursor.PutFieldInt64(kVersion, version);
        cursor.SetBlob(kPayload, Payload(owner, target, version));
        cursor.ModifyRecord();
        versions[target] = version;
        Acknowledge(acks, "U " + std::to_string(owner) + " " + std::to_string(target) + " " +
                              std::to_string(version) + "\n");
      }
    } catch (const EStrataEngineError& error) {
      if (!Contention(error.Code)) {
        std::ofstream(folder + "errors", std::ios::app) << "writer: " << error.what() << "\n";
        return 100 + error.Code % 100;
      }
      cursor.Cancel();
    }
  }
}

int RunReader(const std::string& folder, const std::string& stop) {
  TCursorEnvironment env(folder);
  TDataCursor cursor(env.directory);
  cursor.Open("Load");
  while (!std::filesystem::exists(stop)) {
    try {
      cursor.First();
      while (cursor.MoveNext()) {
        const int owner = static_cast<int>(*cursor.GetFieldInt64(kOwner));
        const int seq = static_cast<int>(*cursor.GetFieldInt64(kSeq));
        const int version = static_cast<int>(*cursor.GetFieldInt64(kVersion));
        // The value is read in an operation of its own: a writer may have
        // updated it since the record was read, but it is always whole.
        const std::vector<uint8_t> value = cursor.ReadBlob(kPayload);
        bool whole = false;
        for (int v = 0; v <= version + 10 && !whole; ++v) whole = value == Payload(owner, seq, v);
        if (!whole) return kReaderTornValue;
      }
    } catch (const EStrataEngineError& error) {
      if (Contention(error.Code)) continue;
      std::ofstream(folder + "errors", std::ios::app) << "reader: " << error.what() << "\n";
      return Damaged(error.Code) ? kReaderDamaged : 100 + error.Code % 100;
    }
  }
  return 0;
}

pid_t Spawn(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    alarm(90);  // a hung child ends with SIGALRM, which the parent reports
    int code = 99;
    try {
      code = body();
    } catch (...) {
    }
    _exit(code);
  }
  return pid;
}

constexpr int kMinimumInserts = 50;
constexpr int kMinimumUpdates = 20;

// Whether the acknowledgements so far hold more than the minimum numbers of
// inserts and updates.
bool EnoughProgress(const std::string& acks_path) {
  std::ifstream lines(acks_path);
  std::string line;
  int inserts = 0, updates = 0;
  while (std::getline(lines, line)) {
    if (line.starts_with("U "))
      ++updates;
    else if (line.starts_with("I "))
      ++inserts;
  }
  return inserts > kMinimumInserts && updates > kMinimumUpdates;
}

// Waits for `pid` until `deadline`; the exit code, -signal, or -1000 when
// it did not end in time (it is killed then).
int WaitUntil(pid_t pid, std::chrono::steady_clock::time_point deadline) {
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1000;
    }
    usleep(5000);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

TEST(CursorKillLoadTest, KilledWritersLoseNoAcknowledgedChangeAndDamageNothing) {
  TTempDir dir;
  {
    TCursorEnvironment env(dir.Dir());
    TDataCursor cursor(env.directory);
    cursor.CreateTable(LoadTable());
  }
  const std::string acks_path = dir.File("acks");
  const std::string stop = dir.File("stop");
  const int acks = open(acks_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  ASSERT_GE(acks, 0);

  const std::string folder = dir.Dir();
  int next_owner = 1;
  std::vector<pid_t> writers;
  for (int i = 0; i < kWriters; ++i) {
    const int owner = next_owner++;
    writers.push_back(Spawn([&, owner] { return RunWriter(folder, owner, acks); }));
  }
  std::vector<pid_t> readers;
  for (int i = 0; i < kReaders; ++i) {
    readers.push_back(Spawn([&] { return RunReader(folder, stop); }));
  }

  std::mt19937 random(12345);
  std::vector<int> writer_failures;  // exit codes of writers that ended by themselves
  for (int kill_number = 0; kill_number < kKills; ++kill_number) {
    usleep(20000 + random() % 60000);
    const size_t victim = random() % writers.size();
    kill(writers[victim], SIGKILL);
    int status = 0;
    waitpid(writers[victim], &status, 0);
    // A writer that ended by itself before the kill failed.
    if (!WIFSIGNALED(status)) writer_failures.push_back(WEXITSTATUS(status));
    const int owner = next_owner++;
    writers[victim] = Spawn([&, owner] { return RunWriter(folder, owner, acks); });
  }
  // On a slow build (sanitizers, a busy machine) the kills may come faster
  // than the writers get work done: give the last writers time to show
  // progress before they go too.
  const auto progress_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  while (!EnoughProgress(acks_path) && std::chrono::steady_clock::now() < progress_deadline) {
    usleep(100000);
  }
  for (pid_t writer : writers) kill(writer, SIGKILL);
  for (pid_t writer : writers) waitpid(writer, nullptr, 0);
  close(acks);
  { std::ofstream(stop).put('x'); }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (pid_t reader : readers) EXPECT_EQ(WaitUntil(reader, deadline), 0) << "a reader failed";
  {
    std::ifstream errors(dir.File("errors"));
    std::stringstream text;
    text << errors.rdbuf();
    EXPECT_EQ(text.str(), "");
  }
  EXPECT_EQ(writer_failures, std::vector<int>{});

  TCursorEnvironment env(dir.Dir());
  TDataCursor cursor(env.directory);
  cursor.Open("Load");
  cursor.SetIndex("ByOwnerSeq");
  EXPECT_EQ(CheckTableFiles(cursor), std::vector<std::string>{});
  std::ifstream lines(acks_path);
  std::string kind;
  int owner = 0, seq = 0, inserts = 0, updates = 0;
  std::map<std::pair<int, int>, int> acknowledged;  // (owner, seq) -> version
  while (lines >> kind >> owner >> seq) {
    int version = 0;
    if (kind == "U") {
      lines >> version;
      ++updates;
    } else {
      ++inserts;
    }
    acknowledged[{owner, seq}] = std::max(acknowledged[{owner, seq}], version);
  }
  EXPECT_GT(inserts, kMinimumInserts);
  EXPECT_GT(updates, kMinimumUpdates);
  for (const auto& [row, version] : acknowledged) {
    ASSERT_TRUE(FindRow(cursor, row.first, row.second)) << row.first << "/" << row.second;
    const int stored = static_cast<int>(*cursor.GetFieldInt64(kVersion));
    EXPECT_GE(stored, version) << row.first << "/" << row.second;
    EXPECT_EQ(cursor.ReadBlob(kPayload), Payload(row.first, row.second, stored));
  }
  // The table takes new records as before.
  cursor.InitRecord();
  cursor.PutFieldInt64(kOwner, 0);
  cursor.PutFieldInt64(kSeq, 0);
  cursor.SetBlob(kPayload, Payload(0, 0, 0));
  cursor.InsertRecord();
  EXPECT_EQ(CheckTableFiles(cursor), std::vector<std::string>{});
}

}  // namespace
}  // namespace strata
