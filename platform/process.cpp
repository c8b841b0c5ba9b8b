#include "platform/process.h"

#include <sys/auxv.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

namespace platform {
namespace {

std::string g_executable_argument;  // argv[0]
std::string g_first_argument;       // argv[1]

}  // namespace

std::optional<std::string> GetEnvironmentVariable(const std::string& name) {
  // getenv hands out the whole value, whatever its length.
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::ptrdiff_t ReadStandardInput(void* buffer, size_t count) {
  if (count == 0) return 0;
  if (count > SSIZE_MAX) count = SSIZE_MAX;
  for (;;) {
    ssize_t n = ::read(STDIN_FILENO, buffer, count);
    if (n >= 0) return n;
    if (errno != EINTR) return -1;
  }
}

std::ptrdiff_t WriteStandardOutput(const void* buffer, size_t count) {
  if (count > SSIZE_MAX) return -1;
  const char* bytes = static_cast<const char*>(buffer);
  size_t written = 0;
  while (written < count) {
    ssize_t n = ::write(STDOUT_FILENO, bytes + written, count - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) return -1;  // nothing taken: the output goes nowhere
    written += static_cast<size_t>(n);
  }
  return static_cast<std::ptrdiff_t>(written);
}

uint32_t EntropySeed() {
  uint32_t seed = 0;
  ssize_t n;
  do {
    n = ::getrandom(&seed, sizeof seed, GRND_NONBLOCK);
  } while (n < 0 && errno == EINTR);
  if (n == static_cast<ssize_t>(sizeof seed)) return seed;
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(::getpid()) * 2654435761u ^ static_cast<uint32_t>(now.tv_nsec) ^
         static_cast<uint32_t>(now.tv_sec);
}

void SetCommandLine(int argc, char** argv) {
  g_executable_argument = argc > 0 && argv[0] != nullptr ? argv[0] : "";
  g_first_argument = argc > 1 && argv[1] != nullptr ? argv[1] : "";
}

namespace {

std::string WorkingDirectory() {
  std::vector<char> cwd(PATH_MAX);
  if (::getcwd(cwd.data(), cwd.size()) == nullptr) return "";
  return cwd.data();
}

std::string FindExecutablePath() {
  // The name the program was started by, which the kernel hands over with
  // it, when it names the program file itself (no symbolic link): this
  // spares the look-up in /proc, whose first use in a process costs about
  // 20 us.
  const auto* started = reinterpret_cast<const char*>(::getauxval(AT_EXECFN));
  if (started != nullptr && *started != '\0') {
    std::string path = started;
    if (path[0] != '/') {
      while (path.starts_with("./")) path.erase(0, 2);
      const std::string cwd = WorkingDirectory();
      path = cwd.empty() ? std::string() : cwd + "/" + path;
    }
    struct stat info {};
    if (!path.empty() && ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return path;
  }
  std::vector<char> buffer(256);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) break;
    if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
  // No /proc: the recorded program path, made absolute.
  if (g_executable_argument.empty() || g_executable_argument[0] == '/') {
    return g_executable_argument;
  }
  const std::string cwd = WorkingDirectory();
  if (cwd.empty()) return g_executable_argument;
  return cwd + "/" + g_executable_argument;
}

}  // namespace

std::string ExecutablePath() {
  // The link is read once: the program's file does not move under a running
  // process in any way that matters to it.
  static const std::string path = FindExecutablePath();
  return path;
}

std::string FirstArgument() { return g_first_argument; }

}  // namespace platform
