#include "storage/scramble.h"

namespace strata {

void Scramble(uint8_t* data, size_t length, const TScrambleSeed& seed) {
  uint8_t low = seed[0];
  uint8_t high = seed[1];
  for (size_t i = 0; i < length; ++i) {
    data[i] ^= static_cast<uint8_t>(low ^ high);
    ++low;
    --high;
  }
}

}  // namespace strata
