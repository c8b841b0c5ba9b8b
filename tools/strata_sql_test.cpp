// `strata sql` run as a program on a real database folder: each output
// format, several statements in one text, an error's message and status,
// and a blob column.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>

#include "tools/sql_output.h"

namespace {

namespace fs = std::filesystem;

struct TRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Quoted for the shell in single quotes.
std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Execution times vary: "0.012 s" reads as "T s".
std::string WithoutTimes(const std::string& text) {
  return std::regex_replace(text, std::regex("[0-9]+\\.[0-9]{3} s\\)"), "T s)");
}

class StrataSql : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("strata_sql_" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs strata with `arguments` (already quoted), standard input from
  // `input` when given, else from /dev/null. A hang ends after a minute.
  TRun Strata(const std::string& arguments, const std::string* input = nullptr) {
    const fs::path in = dir_ / "stdin.txt";
    const fs::path err = dir_ / "stderr.txt";
    std::ofstream(in, std::ios::binary) << (input ? *input : "");
    const std::string command = "timeout 60 " + std::string(STRATA_PROGRAM) + " " + arguments +
                                " < " + in.string() + " 2> " + err.string();
    TRun run;
    FILE* pipe = popen(command.c_str(), "r");
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = Slurp(err);
    return run;
  }

  TRun Sql(const std::string& options, const std::string& text) {
    return Strata("sql " + dir_.string() + " " + options + " " + Quote(text));
  }

  // Banner(ID, Name, Views, Image) with two rows: a GIF of 1,300 bytes in the
  // first, none in the second.
  void MakeBanners() {
    const std::string table = (dir_ / "Banner").string();
    ASSERT_EQ(Strata("create " + table +
                     " --field ID:integer --field 'Name:string(40)' --field Views:integer"
                     " --field Image:graphic --primary ID")
                  .status,
              0);
    gif_.assign("GIF89a");
    for (int i = 0; i < 1293; ++i) gif_ += static_cast<char>(i * 7);
    gif_ += ';';
    std::ofstream(dir_ / "b.gif", std::ios::binary) << gif_;
    ASSERT_EQ(
        Strata("insert " + table + " ID=1 Name=travel Views=3 Image=@" + (dir_ / "b.gif").string())
            .status,
        0);
    ASSERT_EQ(Strata("insert " + table + " ID=2 'Name=caf\xE9, \"bar\"' Views=0").status, 0);
  }

  fs::path dir_;
  std::string gif_;
};

TEST_F(StrataSql, TableFormatAlignsRowsAndCountsThem) {
  MakeBanners();
  if (HasFatalFailure()) return;
  TRun run =
      Sql("", "select ID, Name, Image from Banner order by ID; update Banner set Views = 4;");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(WithoutTimes(run.out),
            "ID | Name        | Image\n"
            "---+-------------+------------------\n"
            " 1 | travel      | <blob 1300 bytes>\n"
            " 2 | caf\xC3\xA9, \"bar\" | NULL\n"
            "(2 rows, T s)\n"
            "(2 rows affected, T s)\n");
}

TEST_F(StrataSql, JsonGivesOneLinePerStatementOfAText) {
  MakeBanners();
  if (HasFatalFailure()) return;
  TRun run = Sql("--format json",
                 "update Banner set Views = Views + 1 where ID = 1;\r\n"
                 "select ID, Views, Image from Banner where ID = 1;"
                 "select Name from Banner where ID > 1;");
  ASSERT_EQ(run.status, 0) << run.err;
  std::istringstream lines(run.out);
  std::string line;
  std::vector<nlohmann::json> parsed;
  while (std::getline(lines, line)) parsed.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(parsed.size(), 3u) << run.out;
  EXPECT_EQ(parsed[0], nlohmann::json::parse(R"({"rows_affected":1})"));
  EXPECT_EQ(parsed[1]["columns"], nlohmann::json::parse(R"(["ID","Views","Image"])"));
  ASSERT_EQ(parsed[1]["rows"].size(), 1u);
  EXPECT_EQ(parsed[1]["rows"][0][0], 1);
  EXPECT_EQ(parsed[1]["rows"][0][1], 4);
  // The blob comes back whole: base64 of the GIF's bytes.
  const std::string base64 = parsed[1]["rows"][0][2];
  EXPECT_EQ(base64.size(), (gif_.size() + 2) / 3 * 4);
  EXPECT_EQ(base64.substr(0, 8), "R0lGODlh");  // "GIF89a"
  EXPECT_EQ(parsed[2], nlohmann::json::parse("{\"columns\":[\"Name\"],\"rows\":[[\"caf\xC3\xA9, "
                                             "\\\"bar\\\"\"]]}"));
}

TEST_F(StrataSql, CsvReadsStatementsFromStandardInput) {
  MakeBanners();
  if (HasFatalFailure()) return;
  const std::string text = "select ID, Name, Views from Banner order by ID;\n";
  TRun run = Strata("sql " + dir_.string() + " --format csv", &text);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "ID,Name,Views\r\n1,travel,3\r\n2,\"caf\xC3\xA9, \"\"bar\"\"\",0\r\n");
}

TEST_F(StrataSql, AnErrorStopsTheTextWithTheEngineMessage) {
  MakeBanners();
  if (HasFatalFailure()) return;
  TRun run = Sql("--format json",
                 "update Banner set Views = 10 where ID = 1; select Views from Banner x y;"
                 "update Banner set Views = 20 where ID = 1;");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "{\"rows_affected\":1}\n");
  EXPECT_EQ(run.err,
            "Strata Engine Error # 11949 SQL error - End of SELECT statement expected, "
            "instead found 'y'\n");
  // The first update stays done, the last never ran.
  TRun check = Sql("--format csv", "select Views from Banner where ID = 1");
  EXPECT_EQ(check.out, "Views\r\n10\r\n") << check.err;
  // A later argument is not run either.
  TRun args = Strata("sql " + dir_.string() + " " + Quote("select Nothing from Banner") + " " +
                     Quote("update Banner set Views = 30"));
  EXPECT_EQ(args.status, 1);
  EXPECT_EQ(args.err.rfind("Strata Engine Error # ", 0), 0u) << args.err;
  EXPECT_EQ(Sql("--format csv", "select Views from Banner where ID = 1").out, "Views\r\n10\r\n");
}

// A strata process on a terminal of its own (a pseudo-terminal).
class TTerminal {
 public:
  TTerminal(const std::string& folder, const std::string& home) {
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      setenv("HOME", home.c_str(), 1);
      setenv("TERM", "dumb", 1);
      execl(STRATA_PROGRAM, "strata", "sql", folder.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~TTerminal() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      Wait();
    }
    if (master_ >= 0) close(master_);
  }
  void Type(const std::string& keys) {
    ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  // Reads until `text` appears after what the last call found (10 s at most).
  bool Shows(const std::string& text) {
    size_t found;
    while ((found = shown_.find(text, seen_)) == std::string::npos) {
      pollfd ready{master_, POLLIN, 0};
      if (poll(&ready, 1, 10000) <= 0) return false;
      char buffer[4096];
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) return false;
      shown_.append(buffer, static_cast<size_t>(n));
    }
    seen_ = found + text.size();
    return true;
  }
  const std::string& Shown() const { return shown_; }
  // The exit status; a process still running after 10 s is killed (-1).
  int Wait() {
    int status = 0;
    for (int tries = 0; tries < 1000 && waitpid(pid_, &status, WNOHANG) == 0; ++tries) {
      usleep(10000);
      if (tries == 999) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
      }
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  int master_ = -1;
  pid_t pid_ = -1;
  std::string shown_;
  size_t seen_ = 0;
};

TEST_F(StrataSql, ATerminalGetsAPromptAndRunsEachStatementAtItsSemicolon) {
  MakeBanners();
  if (HasFatalFailure()) return;
  TTerminal terminal(dir_.string(), dir_.string());
  ASSERT_TRUE(terminal.Shows("strata> ")) << terminal.Shown();
  terminal.Type("select Name from Banner\r");
  ASSERT_TRUE(terminal.Shows("...> ")) << terminal.Shown();
  terminal.Type("where ID = 1;\r");
  ASSERT_TRUE(terminal.Shows("(1 row, ")) << terminal.Shown();
  EXPECT_NE(terminal.Shown().find("travel"), std::string::npos) << terminal.Shown();
  // An error is shown and the console goes on.
  terminal.Type("select Name from Banner x y;\r");
  ASSERT_TRUE(terminal.Shows("instead found 'y'")) << terminal.Shown();
  terminal.Type("update Banner set Views = 9;\r");
  ASSERT_TRUE(terminal.Shows("(2 rows affected, ")) << terminal.Shown();
  ASSERT_TRUE(terminal.Shows("strata> ")) << terminal.Shown();
  terminal.Type("\x04");
  EXPECT_EQ(terminal.Wait(), 0);
  // The statements went into the history (libedit writes a blank as \040).
  const std::string history = Slurp(dir_ / ".strata_history");
  EXPECT_NE(history.find("update\\040Banner\\040set\\040Views"), std::string::npos) << history;
}

// The sample database as scripts/load-sample makes it: the six tables of
// app/schema.sql, sound, with the rows of app/sample.sql and the banners'
// GIFs byte for byte.
TEST_F(StrataSql, TheSampleDatabaseLoads) {
  const fs::path data = dir_ / "Bannerdata";
  const std::string script = std::string(BANNER_SOURCE_DIR) + "/scripts/load-sample";
  const std::string load = "BANNER_BUILD=" + std::string(BANNER_BUILD_DIR) + " " + script + " " +
                           data.string() + " 2>&1";
  FILE* pipe = popen(load.c_str(), "r");
  std::string said;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) said.append(buffer.data(), n);
  ASSERT_EQ(pclose(pipe), 0) << said;
  EXPECT_TRUE(fs::is_directory(data / "temp"));

  for (const char* table : {"Banner", "User", "Visitor", "PageImpress", "Links", "Pages"}) {
    TRun verify = Strata("verify " + (data / table).string());
    EXPECT_EQ(verify.status, 0) << table << ": " << verify.out;
  }
  TRun run = Strata("sql " + data.string() + " --format json " +
                    Quote("select ID, User, Link, Blocked, impress from \"Banner.dat\" order by ID;"
                          "select ID, Impresskto from \"User.dat\" order by ID;"
                          "select count(*) from \"Links.dat\";"
                          "select count(*) from visitor;"
                          "select Banner from \"Banner.dat\" where ID = 1;"));
  ASSERT_EQ(run.status, 0) << run.err;
  std::istringstream lines(run.out);
  std::string line;
  std::vector<nlohmann::json> parsed;
  while (std::getline(lines, line)) parsed.push_back(nlohmann::json::parse(line)["rows"]);
  ASSERT_EQ(parsed.size(), 5u) << run.out;
  EXPECT_EQ(parsed[0], nlohmann::json::parse(R"([[1,1,1,false,0],[2,2,2,false,0],[3,3,3,false,0],
      [4,1,4,false,0],[5,4,null,false,0],[6,3,3,false,0]])"));
  EXPECT_EQ(parsed[1], nlohmann::json::parse("[[1,1000],[2,5],[3,-100],[4,1]]"));
  EXPECT_EQ(parsed[2], nlohmann::json::parse("[[4]]"));
  EXPECT_EQ(parsed[3], nlohmann::json::parse("[[0]]"));
  const std::string gif = Slurp(fs::path(BANNER_BUILD_DIR) / "app/sample-gifs/travel.gif");
  ASSERT_FALSE(gif.empty());
  EXPECT_EQ(parsed[4][0][0], strata_tool::Base64(gif));
}

TEST_F(StrataSql, UsageMistakesExitWithTwo) {
  TRun no_folder = Strata("sql");
  EXPECT_EQ(no_folder.status, 2);
  EXPECT_NE(no_folder.err.find("sql needs a folder"), std::string::npos) << no_folder.err;
  TRun missing = Strata("sql " + (dir_ / "nowhere").string() + " 'select 1'");
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("no folder"), std::string::npos) << missing.err;
  TRun option = Strata("sql " + dir_.string() + " --colour 'select 1'");
  EXPECT_EQ(option.status, 2);
  EXPECT_NE(option.err.find("unknown option '--colour'"), std::string::npos) << option.err;
  EXPECT_EQ(Strata("sql " + dir_.string() + " --format xml 'select 1'").status, 2);
  EXPECT_EQ(Strata("sql " + dir_.string() + " --format").status, 2);
  // The help names the command at the start of a line.
  EXPECT_NE(Strata("--help").out.find("\n  sql DIR [--format table|csv|json] [STATEMENT]...\n"),
            std::string::npos);
}

}  // namespace
