// request_phases: where the database part of one banner request goes, step
// by step, in a fresh process as the program runs it: connecting the session
// and database, then each statement of a returning visitor's request with
// its preparation (parsing, opening its tables) timed apart from its
// execution, and the purge.
//
//   request_phases FOLDER [RUNS]
//
// FOLDER is a database made by banner_bench_load; each run works on a copy
// of it made beforehand, in a child process of its own, so every run opens
// the tables afresh like a request does. Prints the median of each step.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/mk_html.h"
#include "app/statement_texts.h"
#include "sql/query/fields.h"
#include "sql/query/strata_query.h"
#include "storage/session/strata_database.h"
#include "storage/session/strata_session.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Step {
  std::string name;
  std::string sql;
  bool open;  // a SELECT read for rows
};

// The statements of a returning visitor's request on label top, the
// visitor and its page impression known, in the order the program sends them.
std::vector<Step> RequestSteps(int32_t visitor_id, int32_t banner_id, const std::string& key) {
  const std::string referer = "http://127.0.0.1/bench.html";
  using namespace banner;
  return {
      {"blocking sweep", BlockingSweepText(), false},
      {"visitor lookup", VisitorLookupText(key, PastTimeString(90)), true},
      {"visitor update", VisitorUpdateText(PastTimeString(0), "top", visitor_id), false},
      {"page-impression lookup", PageImpressionLookupText("top", visitor_id), true},
      {"banner fetch", BannerFetchText(banner_id), true},
      {"page-impression touch", PageImpressionTouchText(PastTimeString(0), "top", visitor_id),
       false},
      {"impression count", ImpressionCountText(banner_id), false},
      {"credit debit", CreditDebitText(banner_id), false},
      {"page lookup", PageLookupText(referer, "top"), true},
      {"page update pair",
       PageUpdateLine1("1", PastTimeString(90)) + "\r\n" + PageUpdateLine2(PastTimeString(0), "1"),
       false},
      {"visitor purge", VisitorPurgeText(PastTimeString(90)), false},
  };
}

int64_t Nanos(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(to - from).count();
}

// One request's database work in this process; the nanoseconds of each
// phase into `times` (connect, then prepare and execute per step).
void OneRun(const std::string& folder, const std::vector<Step>& steps,
            std::vector<int64_t>& times) {
  auto t0 = Clock::now();
  strata::TStrataSession session;
  session.SetSessionName("PhaseSession");
  session.SetPrivateDir(folder + "/temp/");
  strata::TStrataDatabase database;
  database.SetSessionName("PhaseSession");
  database.SetDatabaseName("PhaseDB");
  database.SetDirectory(folder + "/");
  session.SetActive(true);
  database.Open();
  strata::TStrataQuery query;
  query.SetSessionName("PhaseSession");
  query.SetDatabaseName("PhaseDB");
  auto t1 = Clock::now();
  times.push_back(Nanos(t0, t1));
  for (const Step& step : steps) {
    query.Close();
    query.SQL().Clear();
    size_t start = 0;
    for (size_t end; (end = step.sql.find("\r\n", start)) != std::string::npos; start = end + 2) {
      query.SQL().Add(step.sql.substr(start, end - start));
    }
    query.SQL().Add(step.sql.substr(start));
    const auto p0 = Clock::now();
    query.Prepare();
    const auto p1 = Clock::now();
    if (step.open) {
      query.Open();
      query.First();
      if (query.RecordCount() > 0 && query.FieldCount() > 0 &&
          query.Fields(0).FieldName() == "Banner") {
        std::string bytes;
        if (auto* blob = dynamic_cast<strata::TBlobField*>(&query.Fields(0)))
          blob->SaveToStream(bytes);
      }
    } else {
      query.ExecSQL();
    }
    const auto p2 = Clock::now();
    times.push_back(Nanos(p0, p1));
    times.push_back(Nanos(p1, p2));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: request_phases FOLDER [RUNS]\n");
    return 2;
  }
  const std::string source = fs::absolute(argv[1]).string();
  const int runs = argc > 2 ? std::atoi(argv[2]) : 50;
  const std::string work = source + ".phases";
  // The returning visitor's id and one banner: a first request's worth.
  const std::vector<Step> steps = RequestSteps(0, 1, "127.0bench-agent/1.0");
  std::vector<std::vector<int64_t>> samples(1 + 2 * steps.size());
  for (int r = 0; r < runs; ++r) {
    fs::remove_all(work);
    fs::copy(source, work, fs::copy_options::recursive);
    int fds[2];
    if (pipe(fds) != 0) return 1;
    const pid_t pid = fork();
    if (pid == 0) {
      close(fds[0]);
      std::vector<int64_t> times;
      try {
        OneRun(work, steps, times);
      } catch (const std::exception& error) {
        std::fprintf(stderr, "request_phases: %s\n", error.what());
        _exit(1);
      }
      (void)!write(fds[1], times.data(), times.size() * sizeof(int64_t));
      _exit(0);
    }
    close(fds[1]);
    std::vector<int64_t> times(samples.size());
    const ssize_t got = read(fds[0], times.data(), times.size() * sizeof(int64_t));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (got != static_cast<ssize_t>(times.size() * sizeof(int64_t))) return 1;
    for (size_t i = 0; i < times.size(); ++i) samples[i].push_back(times[i]);
  }
  fs::remove_all(work);
  auto median = [](std::vector<int64_t> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2] / 1e3;
  };
  double total = median(samples[0]);
  std::printf("%-26s %10s %10s\n", "step (medians, us)", "prepare", "execute");
  std::printf("%-26s %10.0f\n", "session and database", median(samples[0]));
  for (size_t i = 0; i < steps.size(); ++i) {
    const double prepare = median(samples[1 + 2 * i]), execute = median(samples[2 + 2 * i]);
    std::printf("%-26s %10.0f %10.0f\n", steps[i].name.c_str(), prepare, execute);
    total += prepare + execute;
  }
  std::printf("%-26s %10.0f\n", "total", total);
  return 0;
}
