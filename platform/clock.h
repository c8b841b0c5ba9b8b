// Time services: wall-clock local and UTC time with milliseconds, a
// monotonic millisecond tick, sleeping, and the calling thread's id.
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
