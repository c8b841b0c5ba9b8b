// The storage benchmark: the same four jobs on our engine and on SQLite in
// one run, each figure beside its peer's with the ratio. Our engine runs
// twice: as it is, and with its rollback journal off (the benchmark-only
// STRATA_BENCH_NO_JOURNAL), which shows what the journal costs.
//
//   storage_bench [RECORDS] [UPDATES]     (defaults 100000 and 1000)
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "bench/sqlite_peer.h"
#include "bench/strata_engine.h"

namespace {

double Seconds(const std::function<void()>& job) {
  auto start = std::chrono::steady_clock::now();
  job();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Figures {
  double insert = 0, lookup = 0, scan = 0, update = 0;
  long found = 0, odd = 0;
};

Figures Measure(bench::Engine& engine, const bench::Workload& work) {
  Figures f;
  f.insert = Seconds([&] { engine.InsertAll(work); });
  f.lookup = Seconds([&] { f.found = engine.LookupAll(work); });
  f.scan = Seconds([&] { f.odd = engine.CountOdd(); });
  f.update = Seconds([&] { engine.UpdateEach(work); });
  return f;
}

void Row(const char* job, double ours, double unjournaled, double peer) {
  std::printf("%-46s %10.1f ms %10.1f ms %8.2fx %10.1f ms %8.2fx\n", job, ours * 1000,
              unjournaled * 1000, ours / unjournaled, peer * 1000, ours / peer);
}

}  // namespace

int main(int argc, char** argv) {
  const int records = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int updates = argc > 2 ? std::atoi(argv[2]) : 1000;
  bench::Workload work = bench::Workload::Make(records, updates);
  namespace fs = std::filesystem;
  fs::path folder = fs::temp_directory_path() / ("storage_bench_" + std::to_string(getpid()));
  fs::create_directories(folder);

  Figures ours, unjournaled, peer;
  {
    fs::create_directories(folder / "ours");
    bench::StrataEngine engine((folder / "ours").string());
    ours = Measure(engine, work);
  }
  {
    fs::create_directories(folder / "unjournaled");
    setenv("STRATA_BENCH_NO_JOURNAL", "1", 1);
    bench::StrataEngine engine((folder / "unjournaled").string());
    unjournaled = Measure(engine, work);
    unsetenv("STRATA_BENCH_NO_JOURNAL");
  }
  {
    bench::SqlitePeer engine(folder.string());
    peer = Measure(engine, work);
  }
  fs::remove_all(folder);

  std::printf(
      "%d records, %d updates; time (ours, ours without journal, ours/without, SQLite, "
      "ours/SQLite)\n",
      records, updates);
  Row("(a) insert, one transaction, unique index", ours.insert, unjournaled.insert, peer.insert);
  Row("(b) point look-ups by key, random order", ours.lookup, unjournaled.lookup, peer.lookup);
  Row("(c) full scan counting odd counters", ours.scan, unjournaled.scan, peer.scan);
  Row("(d) single-operation updates", ours.update, unjournaled.update, peer.update);
  if (ours.found != peer.found || ours.odd != peer.odd || unjournaled.found != peer.found ||
      unjournaled.odd != peer.odd) {
    std::printf("results differ: found %ld/%ld, odd %ld/%ld\n", ours.found, peer.found, ours.odd,
                peer.odd);
    return 1;
  }
  return 0;
}
