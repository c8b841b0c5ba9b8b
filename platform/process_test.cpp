#include "platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace platform {
namespace {

TEST(Process, EnvironmentVariablesOfAnyLength) {
  std::string long_value(70000, 'v');
  ::setenv("BANNER_PROCESS_TEST", long_value.c_str(), 1);
  EXPECT_EQ(GetEnvironmentVariable("BANNER_PROCESS_TEST"), long_value);
  ::setenv("BANNER_PROCESS_TEST", "", 1);
  EXPECT_EQ(GetEnvironmentVariable("BANNER_PROCESS_TEST"), "");
  ::unsetenv("BANNER_PROCESS_TEST");
  EXPECT_EQ(GetEnvironmentVariable("BANNER_PROCESS_TEST"), std::nullopt);
}

TEST(Process, CommandLine) {
  char program[] = "prog";
  char first[] = "INJECTMODE";
  char second[] = "x";
  char* argv[] = {program, first, second, nullptr};
  SetCommandLine(3, argv);
  EXPECT_EQ(FirstArgument(), "INJECTMODE");
  SetCommandLine(1, argv);
  EXPECT_EQ(FirstArgument(), "");
  std::string path = ExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path[0], '/');
  EXPECT_NE(path.find("platform_tests"), std::string::npos);
}

TEST(Process, ZeroByteReadsAndWritesDoNothing) {
  char byte;
  EXPECT_EQ(ReadStandardInput(&byte, 0), 0);
  EXPECT_EQ(WriteStandardOutput(&byte, 0), 0);
}

// Runs `body` in a child with standard input and output closed; its exit code.
int WithClosedStandardHandles(int (*body)()) {
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(STDIN_FILENO);
    ::close(STDOUT_FILENO);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Process, FailedReadsAndWritesSaySo) {
  EXPECT_EQ(WithClosedStandardHandles([] {
              char buffer[16] = "abc";
              return ReadStandardInput(buffer, sizeof buffer) == -1 ? 0 : 1;
            }),
            0);
  EXPECT_EQ(WithClosedStandardHandles([] { return WriteStandardOutput("abc", 3) == -1 ? 0 : 1; }),
            0);
  // A closed read end (a client that went away) fails the write too.
  EXPECT_EQ(WithClosedStandardHandles([] {
              int ends[2];  // the lowest free descriptors: 0 reads, 1 writes
              if (::pipe(ends) != 0 || ends[1] != STDOUT_FILENO) return 2;
              ::close(ends[0]);
              ::signal(SIGPIPE, SIG_IGN);
              return WriteStandardOutput("abc", 3) == -1 ? 0 : 1;
            }),
            0);
}

}  // namespace
}  // namespace platform
