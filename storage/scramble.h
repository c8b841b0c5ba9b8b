// Scrambling of encrypted tables: a byte-wise XOR with a 16-bit running
// state. Scrambling and unscrambling are the same operation.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace strata {

using TScrambleSeed = std::array<uint8_t, 2>;  // {low byte, high byte} of the state

// The engine's two fixed seeds: descriptor area and record slots, and the
// description and password texts of the data file header.
constexpr TScrambleSeed kRecordSeed = {0x5B, 0xC3};
constexpr TScrambleSeed kTextSeed = {0x2E, 0x97};

// Each byte in turn is XORed with the state's low and high byte; then the
// low byte is incremented and the high byte decremented (each wrapping
// within 8 bits). Every area is scrambled whatever its length.
void Scramble(uint8_t* data, size_t length, const TScrambleSeed& seed);

}  // namespace strata
