#include "platform/process.h"

#include <gtest/gtest.h>
#include <stdlib.h>

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
  EXPECT_EQ(ReadStandardInput(&byte, 0), 0u);
  EXPECT_EQ(WriteStandardOutput(&byte, 0), 0u);
}

}  // namespace
}  // namespace platform
