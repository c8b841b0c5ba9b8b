// The engine's byte scrambling of encrypted tables: records, descriptors,
// texts and blob blocks are stored scrambled, and scrambling an area twice
// gives the original bytes back.
//
// Two forms exist side by side until the data file and blob file layers
// settle on one: the seed as {low byte, high byte} (data file) and the seed
// as a 16-bit number (blob file).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace strata {

using TScrambleSeed = std::array<uint8_t, 2>;  // {low byte, high byte} of the state

// The data file's two fixed seeds: descriptor area and record slots, and the
// description and password texts of the data file header.
constexpr TScrambleSeed kRecordSeed = {0x5B, 0xC3};
constexpr TScrambleSeed kTextSeed = {0x2E, 0x97};

// Each byte in turn is XORed with the state's low and high byte; then the
// low byte is incremented and the high byte decremented (each wrapping
// within 8 bits). Every area is scrambled whatever its length.
void Scramble(uint8_t* data, size_t length, const TScrambleSeed& seed);

// Fixed two-byte seeds of the blob file: low byte = seed & 0xFF.
constexpr uint16_t kRecordScrambleSeed = 0x5AC3;  // records, descriptors, blob files
constexpr uint16_t kTextScrambleSeed = 0x2E97;    // description and password texts

// Scrambles (and, being its own inverse, unscrambles) `length` bytes in place.
// A 16-bit state starts as the seed (low byte = seed & 0xFF, high byte =
// seed >> 8); the steps are those above. An area whose length is a multiple
// of 65536 (including the empty area) is left unchanged.
void Scramble(uint8_t* data, size_t length, uint16_t seed);

}  // namespace strata
