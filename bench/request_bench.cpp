// request_bench: one banner request as a fresh process, side by side.
//
//   request_bench [--runs N] [--visitors 10,100000] [--work FOLDER]
//                 [--ours PROGRAM --ours-load 'COMMAND']
//
// Columns: the floor (a program that writes a fixed GIF response), the
// banner service on SQLite, and, when given, our banner program. Each runs
// in a folder of its own under FOLDER, with its files beside it (Bannerdata,
// Notfound.gif, upload). For every table size the databases are loaded
// (the SQLite peer with its --load; ours with COMMAND, in which {data} and
// {visitors} stand for the database folder and the visitor count), then each
// program serves N requests (Site=top, a referer, the returning visitor
// 127.0.0.1 with user agent bench-agent/1.0), the columns taking turns
// request by request. Prints the median and 90th percentile of each column
// and the ratios of the medians. With --ours a fourth column runs our program
// with its tables' rollback journal off (the benchmark-only
// STRATA_BENCH_NO_JOURNAL), and "ours/nojnl" is what the journal costs.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "bench/cgi_run.h"

namespace {

namespace fs = std::filesystem;

struct Column {
  std::string name;
  std::string source;  // the program to copy
  std::string load;    // command that loads the database; "" for none
  std::string folder;  // where it runs
  std::vector<int64_t> times;
  int failures = 0;
  std::vector<std::string> extra_environment = {};
};

std::vector<std::string> Environment() {
  return {"GATEWAY_INTERFACE=CGI/1.1",
          "SERVER_PROTOCOL=HTTP/1.1",
          "SERVER_SOFTWARE=request_bench",
          "SERVER_NAME=127.0.0.1",
          "SERVER_PORT=80",
          "REQUEST_METHOD=GET",
          "QUERY_STRING=Site=top",
          "SCRIPT_NAME=/cgi-bin/banner",
          "REQUEST_URI=/cgi-bin/banner?Site=top",
          "REMOTE_ADDR=127.0.0.1",
          "REMOTE_PORT=40000",
          "HTTP_HOST=127.0.0.1",
          "HTTP_USER_AGENT=bench-agent/1.0",
          "HTTP_REFERER=http://127.0.0.1/bench.html",
          "HTTP_ACCEPT=image/avif,image/webp,*/*",
          "PATH=/usr/bin:/bin"};
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

void Prepare(Column& column, const std::string& work) {
  column.folder = work + "/" + column.name;
  fs::remove_all(column.folder);
  fs::create_directories(column.folder + "/Bannerdata/temp");
  fs::create_directories(column.folder + "/upload");
  const fs::path source(column.source);
  fs::copy_file(source, column.folder + "/banner", fs::copy_options::overwrite_existing);
  const fs::path notfound = source.parent_path() / "Notfound.gif";
  const fs::path fallback = fs::path(BANNER_NOTFOUND_GIF);
  fs::copy_file(fs::exists(notfound) ? notfound : fallback, column.folder + "/Notfound.gif",
                fs::copy_options::overwrite_existing);
}

bool Load(const Column& column, int visitors) {
  if (column.load.empty()) return true;
  std::string command = Replace(column.load, "{data}", column.folder + "/Bannerdata");
  command = Replace(command, "{visitors}", std::to_string(visitors)) + " > /dev/null";
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "request_bench: loading failed: %s\n", command.c_str());
    return false;
  }
  return true;
}

int64_t Percentile(std::vector<int64_t> times, double p) {
  if (times.empty()) return 0;
  std::sort(times.begin(), times.end());
  return times[static_cast<size_t>(p * (times.size() - 1))];
}

std::vector<int> ParseList(const std::string& text) {
  std::vector<int> values;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) values.push_back(std::atoi(item.c_str()));
  return values;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 300;
  std::vector<int> sizes = {10, 100000};
  std::string work = "request_bench_work";
  std::string ours, ours_load;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--runs")
      runs = std::atoi(argv[i + 1]);
    else if (option == "--visitors")
      sizes = ParseList(argv[i + 1]);
    else if (option == "--work")
      work = argv[i + 1];
    else if (option == "--ours")
      ours = argv[i + 1];
    else if (option == "--ours-load")
      ours_load = argv[i + 1];
    else {
      std::fprintf(stderr, "request_bench: unknown option %s\n", option.c_str());
      return 2;
    }
  }
  work = fs::absolute(work).string();
  std::vector<Column> columns = {
      {"floor", BANNER_FLOOR_PROGRAM, ""},
      {"sqlite", BANNER_SQLITE_PROGRAM,
       std::string(BANNER_SQLITE_PROGRAM) + " --load {data} {visitors}"},
  };
  if (!ours.empty()) {
    columns.push_back({"ours", ours, ours_load});
    columns.push_back({"nojnl", ours, ours_load});
    columns.back().extra_environment = {"STRATA_BENCH_NO_JOURNAL=1"};
  }
  auto environment_of = [](const Column& column) {
    std::vector<std::string> environment = Environment();
    environment.insert(environment.end(), column.extra_environment.begin(),
                       column.extra_environment.end());
    return environment;
  };

  std::printf(
      "one banner request as a fresh process: Site=top, 10 banners, a referer, a returning "
      "visitor; %d runs\n",
      runs);
  std::printf("%-10s", "visitors");
  for (const Column& column : columns) std::printf(" %14s", (column.name + " med").c_str());
  for (const Column& column : columns) std::printf(" %14s", (column.name + " p90").c_str());
  if (columns.size() > 2) std::printf(" %10s %10s %10s", "ours/sql", "ours/floor", "ours/nojnl");
  std::printf(" %11s\n", "sql/floor");

  for (int visitors : sizes) {
    for (Column& column : columns) {
      Prepare(column, work);
      if (!Load(column, visitors)) return 1;
      column.times.clear();
      column.failures = 0;
      for (int warm = 0; warm < 5; ++warm)
        bench::RunCgi(column.folder + "/banner", environment_of(column), column.folder);
    }
    for (int r = 0; r < runs; ++r) {
      for (Column& column : columns) {
        const bench::TCgiRun run =
            bench::RunCgi(column.folder + "/banner", environment_of(column), column.folder);
        if (run.exit_status != 0 || !bench::IsBannerResponse(run.output)) ++column.failures;
        column.times.push_back(run.nanoseconds);
      }
    }
    std::printf("%-10d", visitors);
    for (const Column& column : columns)
      std::printf(" %11.0f us", Percentile(column.times, 0.5) / 1e3);
    for (const Column& column : columns)
      std::printf(" %11.0f us", Percentile(column.times, 0.9) / 1e3);
    const double floor = Percentile(columns[0].times, 0.5), sql = Percentile(columns[1].times, 0.5);
    if (columns.size() > 2) {
      const double mine = Percentile(columns[2].times, 0.5);
      const double unjournaled = Percentile(columns[3].times, 0.5);
      std::printf(" %9.2fx %9.2fx %9.2fx", mine / sql, mine / floor, mine / unjournaled);
    }
    std::printf(" %10.2fx\n", sql / floor);
    for (const Column& column : columns) {
      if (column.failures > 0) {
        std::printf("  %s: %d of %d responses were no banner\n", column.name.c_str(),
                    column.failures, runs);
      }
    }
  }
  return 0;
}
