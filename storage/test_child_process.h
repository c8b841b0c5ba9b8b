// Test helper: runs a function in a child process (fork) and lets parent and
// child take turns through two pipes. The child's result is its exit code;
// an exception in the child exits with code 99 (its engine code, if any, is
// reported through ChildError). Files must be opened after the fork: an
// open file description is shared across fork, and so would be its locks.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <functional>
#include <stdexcept>

#include "storage/engine_error.h"

namespace strata::testing {

class TChildProcess {
 public:
  explicit TChildProcess(const std::function<int(TChildProcess&)>& body) {
    if (pipe(to_child_) != 0 || pipe(to_parent_) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
      close(to_child_[1]);
      close(to_parent_[0]);
      in_child_ = true;
      int code = 99;
      try {
        code = body(*this);
      } catch (const EStrataEngineError& error) {
        std::fprintf(stderr, "child: %s\n", error.what());
        code = 100 + error.Code % 100;
      } catch (const std::exception& error) {
        std::fprintf(stderr, "child: %s\n", error.what());
      }
      _exit(code);
    }
    close(to_child_[0]);
    close(to_parent_[1]);
  }
  ~TChildProcess() {
    if (pid_ > 0 && !waited_) {
      kill(pid_, SIGKILL);
      Wait();
    }
    close(in_child_ ? to_child_[0] : to_child_[1]);
    close(in_child_ ? to_parent_[1] : to_parent_[0]);
  }
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  // Sends one byte to the other side.
  void Send(char message = '.') {
    int fd = in_child_ ? to_parent_[1] : to_child_[1];
    if (write(fd, &message, 1) != 1) throw std::runtime_error("pipe write");
  }
  // Waits for one byte from the other side; returns it ('\0' when the other
  // side has gone).
  char Receive() {
    int fd = in_child_ ? to_child_[0] : to_parent_[0];
    char message = 0;
    if (read(fd, &message, 1) != 1) return '\0';
    return message;
  }
  // The child's exit code (-signal number when it was killed).
  int Wait() {
    if (waited_) return status_;
    int status = 0;
    waitpid(pid_, &status, 0);
    waited_ = true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return status_;
  }
  void Kill() { kill(pid_, SIGKILL); }
  // The exit code a child that failed with this engine error ends with.
  static int ExitCodeOf(uint16_t engine_code) { return 100 + engine_code % 100; }

 private:
  int to_child_[2] = {-1, -1};
  int to_parent_[2] = {-1, -1};
  pid_t pid_ = -1;
  bool in_child_ = false;
  bool waited_ = false;
  int status_ = 0;
};

}  // namespace strata::testing
