// Test support: temporary folders and code run in a child process with its
// own environment, standard input and captured standard output.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>

namespace cgi::testing {

// A fresh folder under the temporary directory, removed with its contents.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "cgi-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

struct ChildResult {
  std::string output;  // everything the child wrote to standard output
  int exit_code = -1;  // -1 when it did not exit normally
};

inline void WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// Runs `body` in a child process whose environment is exactly `env` and
// whose standard output is captured. Standard input first holds
// `first_input`; the rest, `later_input`, arrives only after the child calls
// the function it is given (or ends), and then standard input closes. The
// child exits with 0 after `body`, with 3 when it raised.
inline ChildResult RunInChild(const std::map<std::string, std::string>& env,
                              const std::string& first_input, const std::string& later_input,
                              const std::function<void(const std::function<void()>&)>& body) {
  ::signal(SIGPIPE, SIG_IGN);  // the child may end before it took all input
  int in[2], out[2], sync[2];
  if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(sync) != 0) std::abort();
  WriteAll(in[1], first_input);  // small inputs fit the pipe
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid < 0) std::abort();
  if (pid == 0) {
    ::dup2(in[0], STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::close(in[0]);
    ::close(in[1]);
    ::close(out[0]);
    ::close(out[1]);
    ::close(sync[0]);
    ::clearenv();
    for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
    int sync_fd = sync[1];
    int code = 0;
    try {
      body([sync_fd] {
        char byte = 1;
        if (::write(sync_fd, &byte, 1) != 1) std::abort();
      });
    } catch (const std::exception& e) {
      std::fprintf(stderr, "child raised: %s\n", e.what());
      code = 3;
    }
    ::_exit(code);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(sync[1]);
  char byte;
  while (::read(sync[0], &byte, 1) < 0) {
  }
  ::close(sync[0]);
  WriteAll(in[1], later_input);
  ::close(in[1]);
  ChildResult result;
  char buffer[4096];
  for (;;) {
    ssize_t n = ::read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    result.output.append(buffer, static_cast<size_t>(n));
  }
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  return result;
}

}  // namespace cgi::testing
