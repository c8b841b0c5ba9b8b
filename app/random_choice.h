// The random choice of a banner among the candidates of a page: a seeded
// 32-bit linear congruential source, and the pick that favours the least
// shown candidates.
#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace banner {

// A pseudo-random source with a 32-bit state. Each draw first advances the
// state (state * 134775813 + 1, modulo 2^32) and then scales it to the range:
// the upper 32 bits of n * state. Owns nothing but its state.
class TRandomSource {
 public:
  explicit TRandomSource(uint32_t seed) : state_(seed) {}
  // Seeded with the time of day in UTC, in milliseconds since midnight.
  static TRandomSource FromTimeOfDay(const platform::DateTime& utc);

  // A number in 0 to n - 1; 0 for n <= 0.
  int32_t Below(int32_t n);
  uint32_t state() const { return state_; }

 private:
  uint32_t state_;
};

// The number of rows to move forward from the first of `candidates` rows,
// which come ordered by impressions, fewest first: with an odd first draw
// (33 of 67) evenly among the least shown (candidates / 3) * 2 of them (the
// first alone when there are only one or two), else evenly among all.
// Always below `candidates` when there is at least one; 0 when there is none.
int32_t ChooseCandidate(TRandomSource& random, int32_t candidates);

}  // namespace banner
