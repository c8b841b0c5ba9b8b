#include "app/random_choice.h"

namespace banner {

TRandomSource TRandomSource::FromTimeOfDay(const platform::DateTime& utc) {
  const uint32_t seconds = (static_cast<uint32_t>(utc.hour) * 60 + utc.minute) * 60 + utc.second;
  return TRandomSource(seconds * 1000 + static_cast<uint32_t>(utc.millisecond));
}

int32_t TRandomSource::Below(int32_t n) {
  state_ = state_ * 134775813u + 1u;
  if (n <= 0) return 0;
  return static_cast<int32_t>((static_cast<uint64_t>(static_cast<uint32_t>(n)) * state_) >> 32);
}

int32_t ChooseCandidate(TRandomSource& random, int32_t candidates) {
  const int32_t r = random.Below(67);
  if (r % 2 == 1) return random.Below(candidates / 3 * 2);
  return random.Below(candidates);
}

}  // namespace banner
