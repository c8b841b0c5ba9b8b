// The banner service's statements on our engine beside SQLite, in one run:
// for each table size, every statement of a request (see
// bench/statement_workload.h) run the same number of times on both, with
// both engines' answers compared run by run. Prints microseconds per
// statement for each engine and the ratio ours / SQLite, then how each
// look-up's cost grows from the smallest to the largest size.
//
//   statement_bench [--sizes 10,1000,100000] [--runs 300] [--folder DIR]
//                   [--only "visitor lookup"]
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/statement_sqlite.h"
#include "bench/statement_strata.h"

namespace {

using bench::TStatementCase;
using Clock = std::chrono::steady_clock;

struct TOptions {
  std::vector<int> Sizes = {10, 1000, 100000};
  int Runs = 300;
  std::string Folder = "statement_bench_data";
  std::string Only;  // one statement by name (for profiling), else all
};

TOptions ParseOptions(int argc, char** argv) {
  TOptions options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const std::string value = argv[i + 1];
    if (name == "--sizes") {
      options.Sizes.clear();
      std::istringstream list(value);
      std::string size;
      while (std::getline(list, size, ',')) options.Sizes.push_back(std::stoi(size));
    } else if (name == "--runs") {
      options.Runs = std::stoi(value);
    } else if (name == "--only") {
      options.Only = value;
    } else if (name == "--folder") {
      options.Folder = value;
    } else {
      std::fprintf(stderr, "statement_bench: unknown option %s\n", name.c_str());
      std::exit(2);
    }
  }
  return options;
}

std::string ReadText(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(std::string("cannot read ") + path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The process's processor time (user and system) in microseconds: beside
// the elapsed time, a figure that other work on the machine does not blur.
double CpuMicros() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

struct TTiming {
  double Elapsed = 0;  // microseconds per run
  double Cpu = 0;
};

// Runs `statement` for runs 0..runs-1; the answers go to `answers`.
TTiming Time(bench::TStatementEngine& engine, TStatementCase statement, int runs,
             std::vector<int64_t>& answers) {
  answers.assign(runs, 0);
  const double cpu_start = CpuMicros();
  const auto start = Clock::now();
  for (int i = 0; i < runs; ++i) answers[i] = engine.Run(statement, i);
  const double elapsed = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
  return {elapsed / runs, (CpuMicros() - cpu_start) / runs};
}

void PrintLine(const char* name, const TTiming& ours, const TTiming& peer) {
  std::printf("%-24s %9.1f %9.1f %7.2f   %9.1f %9.1f %7.2f", name, ours.Elapsed, peer.Elapsed,
              ours.Elapsed / peer.Elapsed, ours.Cpu, peer.Cpu, ours.Cpu / peer.Cpu);
}

}  // namespace

int main(int argc, char** argv) {
  const TOptions options = ParseOptions(argc, argv);
  const std::string schema = ReadText(BANNER_SCHEMA_SQL);
  // ours[case][size], sqlite[case][size]
  std::map<TStatementCase, std::map<int, TTiming>> ours_by_size;
  std::map<TStatementCase, std::map<int, TTiming>> peer_by_size;
  std::filesystem::create_directories(options.Folder);
  bool agreed = true;
  for (int size : options.Sizes) {
    bench::TStatementWorkload work;
    work.Visitors = size;
    bench::TSqliteStatements peer(options.Folder + "/sqlite.db", work);
    bench::TStrataStatements ours(options.Folder + "/strata", schema, work);

    std::printf("\n%d visitors, page impressions and pages; %d runs each\n", size, options.Runs);
    std::printf("%-24s %-28s %-28s\n", "", "elapsed (microseconds)",
                "processor time (microseconds)");
    std::printf("%-24s %9s %9s %7s   %9s %9s %7s\n", "statement", "ours", "SQLite", "ratio", "ours",
                "SQLite", "ratio");
    TTiming ours_total;
    TTiming peer_total;
    for (const bench::TCaseInfo& info : bench::StatementCases()) {
      if (!options.Only.empty() && options.Only != info.Name) continue;
      std::vector<int64_t> ours_answers;
      std::vector<int64_t> peer_answers;
      const TTiming peer_us = Time(peer, info.Case, options.Runs, peer_answers);
      const TTiming ours_us = Time(ours, info.Case, options.Runs, ours_answers);
      ours_by_size[info.Case][size] = ours_us;
      peer_by_size[info.Case][size] = peer_us;
      ours_total.Elapsed += ours_us.Elapsed;
      ours_total.Cpu += ours_us.Cpu;
      peer_total.Elapsed += peer_us.Elapsed;
      peer_total.Cpu += peer_us.Cpu;
      PrintLine(info.Name, ours_us, peer_us);
      for (int i = 0; i < options.Runs; ++i) {
        if (ours_answers[i] != peer_answers[i]) {
          std::printf("   run %d: ours %lld rows, SQLite %lld", i,
                      static_cast<long long>(ours_answers[i]),
                      static_cast<long long>(peer_answers[i]));
          agreed = false;
          break;
        }
      }
      std::printf("\n");
    }
    PrintLine("all statements", ours_total, peer_total);
    std::printf("\n");
  }

  if (options.Sizes.size() > 1) {
    const int small = options.Sizes.front();
    const int large = options.Sizes.back();
    std::printf("\nlook-ups at %d against %d rows (cost ratio; flat is 1.0)\n", large, small);
    std::printf("%-24s %-19s %-19s\n", "", "elapsed", "processor time");
    std::printf("%-24s %9s %9s   %9s %9s\n", "statement", "ours", "SQLite", "ours", "SQLite");
    for (const bench::TCaseInfo& info : bench::StatementCases()) {
      if (!info.IndexedLookup || !ours_by_size[info.Case].contains(small)) continue;
      const TTiming& ours_small = ours_by_size[info.Case][small];
      const TTiming& ours_large = ours_by_size[info.Case][large];
      const TTiming& peer_small = peer_by_size[info.Case][small];
      const TTiming& peer_large = peer_by_size[info.Case][large];
      std::printf("%-24s %9.2f %9.2f   %9.2f %9.2f\n", info.Name,
                  ours_large.Elapsed / ours_small.Elapsed, peer_large.Elapsed / peer_small.Elapsed,
                  ours_large.Cpu / ours_small.Cpu, peer_large.Cpu / peer_small.Cpu);
    }
  }
  if (!agreed) {
    std::printf("\nthe engines' answers differ\n");
    return 1;
  }
  return 0;
}
