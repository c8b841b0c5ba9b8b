// The engine's byte scrambling of encrypted tables: records, descriptors,
// texts and blob blocks are stored scrambled, and scrambling an area twice
// gives the original bytes back.
#pragma once

#include <cstddef>
#include <cstdint>

namespace strata {

// Fixed two-byte seeds: low byte first, high byte second.
constexpr uint16_t kRecordScrambleSeed = 0x5AC3;  // records, descriptors, blob files
constexpr uint16_t kTextScrambleSeed = 0x2E97;    // description and password texts

// Scrambles (and, being its own inverse, unscrambles) `length` bytes in place.
// A 16-bit state starts as the seed (low byte = seed & 0xFF, high byte =
// seed >> 8). Each byte in turn is XORed with the state's low byte and with
// its high byte; then the low byte is incremented and the high byte
// decremented, both wrapping within 8 bits. An area whose length is a
// multiple of 65536 (including the empty area) is left unchanged.
void Scramble(uint8_t* data, size_t length, uint16_t seed);

}  // namespace strata
