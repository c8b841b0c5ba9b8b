// Time services on POSIX clocks.
#include "platform/clock.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace platform {

namespace {

DateTime FromBrokenDown(const std::tm& tm, long nanoseconds) {
  DateTime result;
  result.year = tm.tm_year + 1900;
  result.month = tm.tm_mon + 1;
  result.day = tm.tm_mday;
  result.hour = tm.tm_hour;
  result.minute = tm.tm_min;
  // A leap second shows as the last second of its minute.
  result.second = tm.tm_sec > 59 ? 59 : tm.tm_sec;
  result.millisecond = static_cast<int>(nanoseconds / 1000000);
  result.day_of_week = tm.tm_wday;
  return result;
}

timespec Now(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return now;
}

}  // namespace

DateTime LocalNow() {
  const timespec now = Now(CLOCK_REALTIME);
  std::tm tm{};
  localtime_r(&now.tv_sec, &tm);
  return FromBrokenDown(tm, now.tv_nsec);
}

DateTime UtcNow() {
  const timespec now = Now(CLOCK_REALTIME);
  std::tm tm{};
  gmtime_r(&now.tv_sec, &tm);
  return FromBrokenDown(tm, now.tv_nsec);
}

uint64_t TickCountMs() {
  const timespec now = Now(CLOCK_MONOTONIC);
  return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

void SleepMs(uint32_t milliseconds) {
  timespec remaining{static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
  // Sleep the whole time even when a signal interrupts.
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

uint64_t CurrentThreadId() { return static_cast<uint64_t>(syscall(SYS_gettid)); }

}  // namespace platform
