#include "storage/table/lock_loop.h"

#include <mutex>
#include <random>

#include "platform/clock.h"
#include "platform/process.h"

namespace strata {

bool RunTableLockLoop(const std::function<bool()>& attempt, int* attempts, int max_attempts) {
  int failures = 0;
  for (;;) {
    if (attempt()) {
      if (attempts != nullptr) *attempts = failures + 1;
      return true;
    }
    ++failures;
    if (failures >= max_attempts) {
      if (attempts != nullptr) *attempts = failures;
      return false;
    }
    platform::SleepMs(kTableLockRetryMs);
  }
}

uint16_t DrawReadSlot(uint16_t avoid) {
  // Seeded from the system's entropy on first use and mixed with the clock on
  // every draw, so that processes forked from one parent do not draw the same
  // sequence of slots.
  static std::mutex mutex;
  static std::mt19937 generator{platform::EntropySeed()};
  std::lock_guard lock(mutex);
  for (;;) {
    uint32_t value = generator() ^ static_cast<uint32_t>(platform::TickCountMs() * 2654435761u);
    auto slot = static_cast<uint16_t>(value & 0xFFFF);
    if (slot == 0) slot = 1;
    if (slot != avoid) return slot;
  }
}

}  // namespace strata
