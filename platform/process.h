// The process's own environment: environment variables, raw standard input
// and output, and the command line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// The value of an environment variable of any length; nullopt when unset.
std::optional<std::string> GetEnvironmentVariable(const std::string& name);

// One raw, unbuffered read of standard input: the bytes read, 0 at the end,
// -1 when the read fails. Never reads more than `count`.
std::ptrdiff_t ReadStandardInput(void* buffer, size_t count);
// Raw, unbuffered writes to standard output until all `count` bytes are out
// (a pipe may take them in pieces): `count`, or -1 when a write fails.
std::ptrdiff_t WriteStandardOutput(const void* buffer, size_t count);

// 32 bits from the system's entropy source (one getrandom call), for seeding
// a pseudo-random generator; when that fails, the process id mixed with the
// clock.
uint32_t EntropySeed();

// Records the command line; called once from main.
void SetCommandLine(int argc, char** argv);
// The executable's own path, absolute.
std::string ExecutablePath();
// The first command-line argument, or "" when there is none.
std::string FirstArgument();

}  // namespace platform
