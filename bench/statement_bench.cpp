// The banner service's statements on our engine beside SQLite, in one run:
// for each table size, every statement of a request (see
// bench/statement_workload.h) run the same number of times on both, with
// both engines' answers compared run by run. Prints microseconds per
// statement for each engine and the ratio ours / SQLite, then how each
// look-up's cost grows from the smallest to the largest size.
//
//   statement_bench [--sizes 10,1000,100000] [--runs 300] [--folder DIR]
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

// Microseconds per run of `statement` over runs 0..runs-1; the answers go
// to `answers`.
double Time(bench::TStatementEngine& engine, TStatementCase statement, int runs,
            std::vector<int64_t>& answers) {
  answers.assign(runs, 0);
  const auto start = Clock::now();
  for (int i = 0; i < runs; ++i) answers[i] = engine.Run(statement, i);
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / runs;
}

}  // namespace

int main(int argc, char** argv) {
  const TOptions options = ParseOptions(argc, argv);
  const std::string schema = ReadText(BANNER_SCHEMA_SQL);
  // ours[case][size], sqlite[case][size]
  std::map<TStatementCase, std::map<int, double>> ours_by_size;
  std::map<TStatementCase, std::map<int, double>> peer_by_size;
  bool agreed = true;
  for (int size : options.Sizes) {
    bench::TStatementWorkload work;
    work.Visitors = size;
    bench::TSqliteStatements peer(options.Folder + "/sqlite.db", work);
    bench::TStrataStatements ours(options.Folder + "/strata", schema, work);

    std::printf("\n%d visitors, page impressions and pages; %d runs each (microseconds)\n", size,
                options.Runs);
    std::printf("%-24s %10s %10s %7s\n", "statement", "ours", "SQLite", "ratio");
    double ours_total = 0;
    double peer_total = 0;
    for (const bench::TCaseInfo& info : bench::StatementCases()) {
      std::vector<int64_t> ours_answers;
      std::vector<int64_t> peer_answers;
      const double peer_us = Time(peer, info.Case, options.Runs, peer_answers);
      const double ours_us = Time(ours, info.Case, options.Runs, ours_answers);
      ours_by_size[info.Case][size] = ours_us;
      peer_by_size[info.Case][size] = peer_us;
      ours_total += ours_us;
      peer_total += peer_us;
      std::printf("%-24s %10.1f %10.1f %7.2f", info.Name, ours_us, peer_us, ours_us / peer_us);
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
    std::printf("%-24s %10.1f %10.1f %7.2f\n", "all statements", ours_total, peer_total,
                ours_total / peer_total);
  }

  if (options.Sizes.size() > 1) {
    const int small = options.Sizes.front();
    const int large = options.Sizes.back();
    std::printf("\nlook-ups at %d against %d rows (cost ratio; flat is 1.0)\n", large, small);
    std::printf("%-24s %10s %10s\n", "statement", "ours", "SQLite");
    for (const bench::TCaseInfo& info : bench::StatementCases()) {
      if (!info.IndexedLookup) continue;
      std::printf("%-24s %10.2f %10.2f\n", info.Name,
                  ours_by_size[info.Case][large] / ours_by_size[info.Case][small],
                  peer_by_size[info.Case][large] / peer_by_size[info.Case][small]);
    }
  }
  if (!agreed) {
    std::printf("\nthe engines' answers differ\n");
    return 1;
  }
  return 0;
}
