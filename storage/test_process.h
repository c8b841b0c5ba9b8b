// Test helper: runs a body in a forked process that starts before this
// process sets anything up (so it inherits no open file), once the parent's
// setup has run; the child's body reports success as its exit status.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace strata::testing {

inline bool RunInChildAfter(const std::function<void()>& parent_setup,
                            const std::function<bool()>& child_body) {
  int ready[2];
  if (pipe(ready) != 0) return false;
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    close(ready[1]);
    char go;
    bool ok = false;
    try {
      ok = read(ready[0], &go, 1) == 1 && child_body();
    } catch (...) {
      ok = false;
    }
    _exit(ok ? 0 : 1);
  }
  close(ready[0]);
  bool sent = false;
  try {
    parent_setup();
    const char go = 'g';
    sent = write(ready[1], &go, 1) == 1;
  } catch (...) {
  }
  close(ready[1]);  // a child still waiting sees the end and fails
  int status = 0;
  waitpid(child, &status, 0);
  return sent && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace strata::testing
