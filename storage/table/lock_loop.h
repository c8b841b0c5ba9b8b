// The table-level lock loop: a lock that never waits is tried up to 32767
// times, 3 milliseconds apart. Used for the table mutex, the read slots and
// the write regions; record locks have their own loop with the session's
// retry settings (see TDataTable::LockRecord).
#pragma once

#include <cstdint>
#include <functional>

namespace strata {

inline constexpr int kTableLockAttempts = 32767;
inline constexpr uint32_t kTableLockRetryMs = 3;

// Calls `attempt` until it returns true or kTableLockAttempts attempts have
// failed; sleeps kTableLockRetryMs between attempts. Returns whether it got
// the lock. `attempts` (optional) receives the number of attempts made.
bool RunTableLockLoop(const std::function<bool()>& attempt, int* attempts = nullptr,
                      int max_attempts = kTableLockAttempts);

// A read slot drawn at random from 0..65535 with 0 replaced by 1, never equal
// to `avoid` (a slot this process already holds on the same file).
uint16_t DrawReadSlot(uint16_t avoid = 0);

}  // namespace strata
