// Test support for the banner program: a site folder laid out as the
// program expects it (the program, "Notfound.gif", "Bannerdata" with the
// sample database, "upload"), the program run there as a CGI process with an
// environment and standard input as a web server gives them (optionally at a
// faked time), and the tables read back through the query component.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cgi/test_support.h"
#include "sql/query/fields.h"
#include "sql/query/strata_query.h"
#include "storage/session/strata_database.h"
#include "storage/session/strata_session.h"

namespace banner::testing {

namespace fs = std::filesystem;

// One request as a web server would start the program for it.
struct TCgiCall {
  std::string query;  // QUERY_STRING
  std::string method = "GET";
  std::string body;  // standard input (CONTENT_LENGTH is its size)
  std::string content_type;
  std::string remote_addr = "10.1.2.3";
  std::string user_agent = "E2E-Agent/1.0";
  std::string referer = "http://site.example/page.html";
  std::string path_info;
  std::string argument;  // the first command-line argument, "" for none
  // A frozen local time (UTC) such as "2026-12-08 12:00:00", set through
  // BANNER_CLOCK; "" for the real clock.
  std::string clock;
};

struct TCgiAnswer {
  std::string output;
  int exit_code = -1;

  std::string Body() const {
    const size_t end = output.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : output.substr(end + 4);
  }
  std::string Head() const { return output.substr(0, output.find("\r\n\r\n") + 2); }
};

inline std::string Trailer() { return std::string(1, '\0'); }

// The sample database, created once per test program by the set-up's own
// script, then copied for each site.
inline const std::string& SampleDatabase() {
  static const std::string folder = [] {
    const std::string dir =
        (fs::temp_directory_path() / ("banner-sample-" + std::to_string(::getpid()))).string();
    fs::remove_all(dir);
    const std::string command = "BANNER_BUILD='" BANNER_BUILD_DIR "' '" BANNER_SOURCE_DIR
                                "/scripts/load-sample' '" +
                                dir + "/Bannerdata' > /dev/null";
    if (std::system(command.c_str()) != 0) std::abort();
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(fs::temp_directory_path() / ("banner-sample-" + std::to_string(::getpid())),
                     ignored);
    });
    return dir + "/Bannerdata";
  }();
  return folder;
}

// The six tables of a database folder, reached through the query
// component of this process. Connected only for each call, so that the
// programs under test find no table held open between their runs.
class TTables {
 public:
  TTables(std::string data, std::string private_dir)
      : data_(std::move(data)), private_dir_(std::move(private_dir)) {}

  // Every row of a SELECT, each column as text (AsString).
  std::vector<std::vector<std::string>> Rows(const std::string& sql) {
    Connect();
    query_->Close();
    query_->SQL().Clear();
    query_->SQL().Add(sql);
    query_->Open();
    std::vector<std::vector<std::string>> rows;
    query_->First();
    for (int32_t i = 0; i < query_->RecordCount(); ++i) {
      std::vector<std::string> row;
      for (int f = 0; f < query_->FieldCount(); ++f) row.push_back(query_->Fields(f).AsString());
      rows.push_back(std::move(row));
      query_->MoveBy(1);
    }
    query_->Close();
    Disconnect();
    return rows;
  }
  // The first column of the first row; "" when there is none.
  std::string Value(const std::string& sql) {
    auto rows = Rows(sql);
    return rows.empty() ? std::string() : rows[0][0];
  }
  // Runs a statement that changes the tables.
  void Execute(const std::string& sql) {
    Connect();
    query_->Close();
    query_->SQL().Clear();
    query_->SQL().Add(sql);
    query_->ExecSQL();
    query_->Close();
    Disconnect();
  }

 private:
  void Connect() {
    if (query_ != nullptr) return;
    session_ = std::make_unique<strata::TStrataSession>();
    session_->SetSessionName("E2ESession");
    session_->SetPrivateDir(private_dir_ + "/");
    database_ = std::make_unique<strata::TStrataDatabase>();
    database_->SetDatabaseName("E2EDB");
    database_->SetSessionName("E2ESession");
    database_->SetDirectory(data_ + "/");
    session_->SetActive(true);
    database_->Open();
    query_ = std::make_unique<strata::TStrataQuery>();
    query_->SetSessionName("E2ESession");
    query_->SetDatabaseName("E2EDB");
  }
  void Disconnect() {
    query_.reset();
    database_.reset();
    session_.reset();
  }

  std::string data_;
  std::string private_dir_;
  std::unique_ptr<strata::TStrataSession> session_;
  std::unique_ptr<strata::TStrataDatabase> database_;
  std::unique_ptr<strata::TStrataQuery> query_;
};

// A folder with the program and its files, removed at the end.
class TBannerSite {
 public:
  explicit TBannerSite(bool with_database = true) {
    fs::copy_file(BANNER_PROGRAM, program());
    fs::copy_file(BANNER_NOTFOUND_GIF, dir_ / "Notfound.gif");
    fs::create_directory(dir_ / "upload");
    fs::create_directory(dir_ / "private");
    if (with_database) fs::copy(SampleDatabase(), data(), fs::copy_options::recursive);
  }

  std::string program() const { return dir_ / "banner"; }
  std::string data() const { return dir_ / "Bannerdata"; }
  std::string file(const std::string& name) const { return dir_ / name; }
  std::string Log() const { return cgi::testing::ReadFile(dir_ / "banner.txt"); }
  std::string Recording() const { return cgi::testing::ReadFile(dir_ / "banner.req"); }
  std::string NotFound() const { return cgi::testing::ReadFile(dir_ / "Notfound.gif"); }

  TCgiAnswer Run(const TCgiCall& call) {
    std::vector<std::string> env = {"GATEWAY_INTERFACE=CGI/1.1",
                                    "SERVER_PROTOCOL=HTTP/1.1",
                                    "SERVER_SOFTWARE=e2e",
                                    "SERVER_NAME=127.0.0.1",
                                    "SERVER_PORT=80",
                                    "SCRIPT_NAME=/cgi-bin/banner",
                                    "REQUEST_METHOD=" + call.method,
                                    "QUERY_STRING=" + call.query,
                                    "REMOTE_ADDR=" + call.remote_addr,
                                    "HTTP_USER_AGENT=" + call.user_agent,
                                    "HTTP_REFERER=" + call.referer,
                                    "PATH=/usr/bin:/bin",
                                    "TZ=UTC"};
    if (!call.path_info.empty()) env.push_back("PATH_INFO=" + call.path_info);
    if (!call.content_type.empty()) env.push_back("CONTENT_TYPE=" + call.content_type);
    if (call.method == "POST") env.push_back("CONTENT_LENGTH=" + std::to_string(call.body.size()));
    if (!call.clock.empty()) env.push_back("BANNER_CLOCK=" + call.clock);
    return Spawn(env, call.argument, call.body);
  }

  // The tables, read and changed in this process between the runs.
  std::vector<std::vector<std::string>> Rows(const std::string& sql) { return tables_.Rows(sql); }
  std::string Value(const std::string& sql) { return tables_.Value(sql); }
  void Execute(const std::string& sql) { tables_.Execute(sql); }
  // Adds a banner with the bytes of `image` through the administrators' tool.
  void InsertBanner(int id, const std::string& image, int owner, const std::string& link) {
    cgi::testing::WriteFile(dir_ / "new.gif", image);
    std::string command = std::string("'") + STRATA_PROGRAM + "' insert '" + data() +
                          "/Banner' ID=" + std::to_string(id) + " 'Banner=@" + (dir_ / "new.gif") +
                          "' User=" + std::to_string(owner) +
                          (link.empty() ? "" : " Link=" + link) +
                          " Blocked=FALSE impress=0 > /dev/null";
    if (std::system(command.c_str()) != 0) std::abort();
  }
  std::string SampleBanner(int id) {
    static const char* kFiles[] = {"", "travel", "books", "music", "coffee", "sale", "news"};
    return cgi::testing::ReadFile(std::string(BANNER_BUILD_DIR "/app/sample-gifs/") + kFiles[id] +
                                  ".gif");
  }

 private:
  TCgiAnswer Spawn(const std::vector<std::string>& env, const std::string& argument,
                   const std::string& input) {
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) std::abort();
    const std::string path = program();
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::dup2(in[0], STDIN_FILENO);
      ::dup2(out[1], STDOUT_FILENO);
      ::close(in[0]);
      ::close(in[1]);
      ::close(out[0]);
      ::close(out[1]);
      if (::chdir(dir_.path().c_str()) != 0) ::_exit(126);
      std::vector<char*> argv{const_cast<char*>(path.c_str())};
      if (!argument.empty()) argv.push_back(const_cast<char*>(argument.c_str()));
      argv.push_back(nullptr);
      std::vector<char*> envp;
      for (const std::string& entry : env) envp.push_back(const_cast<char*>(entry.c_str()));
      envp.push_back(nullptr);
      ::execve(path.c_str(), argv.data(), envp.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    cgi::testing::WriteAll(in[1], input);
    ::close(in[1]);
    TCgiAnswer answer;
    char buffer[65536];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
      answer.output.append(buffer, n);
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    answer.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return answer;
  }

  cgi::testing::TempDir dir_;
  TTables tables_{data(), dir_ / "private"};
};

}  // namespace banner::testing
