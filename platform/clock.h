// Time services: wall-clock local and UTC time with milliseconds, a
// monotonic millisecond tick, sleeping, and the calling thread's id.
//
// The wall clock can be set for a whole process: with the environment
// variable BANNER_CLOCK="YYYY-MM-DD hh:mm:ss[.mmm]" (local time) LocalNow and
// UtcNow report that moment and stand still there. File times and the tick
// always follow the system.
#pragma once

#include <cstdint>

#include "platform/calendar.h"

namespace platform {

DateTime LocalNow();
DateTime UtcNow();
uint64_t TickCountMs();  // monotonic, arbitrary origin
void SleepMs(uint32_t milliseconds);
uint64_t CurrentThreadId();

}  // namespace platform
