// Time services on POSIX clocks.
#include "platform/clock.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
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

// Reads `count` decimal digits at `at`; false unless all are digits.
bool ReadDigits(const char*& at, int count, int& value) {
  value = 0;
  for (int i = 0; i < count; ++i, ++at) {
    if (*at < '0' || *at > '9') return false;
    value = value * 10 + (*at - '0');
  }
  return true;
}

bool ReadChar(const char*& at, char expected) { return *at == expected && (++at, true); }

// The moment of a set clock, "YYYY-MM-DD hh:mm:ss" with an optional ".mmm",
// in local time; false when the text is not one.
bool ParseSetClock(const char* text, timespec& moment) {
  std::tm tm{};
  int milliseconds = 0;
  const char* at = text;
  if (!ReadDigits(at, 4, tm.tm_year) || !ReadChar(at, '-') || !ReadDigits(at, 2, tm.tm_mon) ||
      !ReadChar(at, '-') || !ReadDigits(at, 2, tm.tm_mday) || !ReadChar(at, ' ') ||
      !ReadDigits(at, 2, tm.tm_hour) || !ReadChar(at, ':') || !ReadDigits(at, 2, tm.tm_min) ||
      !ReadChar(at, ':') || !ReadDigits(at, 2, tm.tm_sec)) {
    return false;
  }
  if (ReadChar(at, '.') && !ReadDigits(at, 3, milliseconds)) return false;
  if (*at != '\0' || tm.tm_mon < 1 || tm.tm_mon > 12 || tm.tm_mday < 1 || tm.tm_mday > 31 ||
      tm.tm_hour > 23 || tm.tm_min > 59 || tm.tm_sec > 59) {
    return false;
  }
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  tm.tm_isdst = -1;
  const std::tm given = tm;
  const time_t seconds = mktime(&tm);
  // mktime moves a day beyond its month's end, or an hour that a change to
  // summer time skips, on to a real moment: such a text is none.
  if (seconds == static_cast<time_t>(-1) || tm.tm_mday != given.tm_mday ||
      tm.tm_mon != given.tm_mon || tm.tm_hour != given.tm_hour || tm.tm_min != given.tm_min) {
    return false;
  }
  moment.tv_sec = seconds;
  moment.tv_nsec = static_cast<long>(milliseconds) * 1000000L;
  return true;
}

// The wall clock. A program started with BANNER_CLOCK set to a moment (see
// ParseSetClock) sees that moment, standing still, instead of the system's
// time: tests move a program's time so. Nothing a web client sends reaches
// it (a CGI server passes request headers as HTTP_ variables), and a text
// that is not a moment leaves the system's clock in use.
timespec WallClock() {
  static const struct SetClock {
    bool set = false;
    timespec moment{};
    SetClock() {
      const char* text = std::getenv("BANNER_CLOCK");
      set = text != nullptr && ParseSetClock(text, moment);
    }
  } set_clock;
  return set_clock.set ? set_clock.moment : Now(CLOCK_REALTIME);
}

}  // namespace

DateTime LocalNow() {
  const timespec now = WallClock();
  std::tm tm{};
  localtime_r(&now.tv_sec, &tm);
  return FromBrokenDown(tm, now.tv_nsec);
}

DateTime UtcNow() {
  const timespec now = WallClock();
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
