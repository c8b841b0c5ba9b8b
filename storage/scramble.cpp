#include "storage/scramble.h"

namespace strata {

void Scramble(uint8_t* data, size_t length, uint16_t seed) {
  if (length % 65536 == 0) return;
  uint8_t low = static_cast<uint8_t>(seed);
  uint8_t high = static_cast<uint8_t>(seed >> 8);
  for (size_t i = 0; i < length; ++i) {
    data[i] ^= low;
    data[i] ^= high;
    ++low;
    --high;
  }
}

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
