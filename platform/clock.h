// Time services: wall-clock local and UTC time with milliseconds, a
// monotonic millisecond tick, sleeping, and the calling thread's id.
#pragma once

#include <cstdint>

namespace platform {

struct DateTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  int day_of_week = 0;  // 0 = Sunday
};

DateTime LocalNow();
DateTime UtcNow();
uint64_t TickCountMs();  // monotonic, arbitrary origin
void SleepMs(uint32_t milliseconds);
uint64_t CurrentThreadId();

}  // namespace platform
