// The engine's byte scrambling of encrypted tables: records, descriptors,
// texts and blob blocks are stored scrambled, and scrambling an area twice
// gives the original bytes back. Each byte in turn is XORed with a 16-bit
// state's low byte and with its high byte; then the low byte is incremented
// and the high byte decremented, both wrapping within 8 bits.
//
// Two forms exist side by side (one per file layer that brought it); they
// are to be unified by their owners:
//  - the blob file's: seed as a 16-bit value (low byte = seed & 0xFF), and an
//    area whose length is a multiple of 65536 is left unchanged;
//  - the data file's: seed as {low byte, high byte}, every area scrambled.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace strata {

// Fixed two-byte seeds of the blob file: low byte first, high byte second.
constexpr uint16_t kRecordScrambleSeed = 0x5AC3;  // records, descriptors, blob files
constexpr uint16_t kTextScrambleSeed = 0x2E97;    // description and password texts

void Scramble(uint8_t* data, size_t length, uint16_t seed);

using TScrambleSeed = std::array<uint8_t, 2>;  // {low byte, high byte} of the state

// The data file's seeds: descriptor area and record slots, and the
// description and password texts of the data file header.
constexpr TScrambleSeed kRecordSeed = {0x5B, 0xC3};
constexpr TScrambleSeed kTextSeed = {0x2E, 0x97};

void Scramble(uint8_t* data, size_t length, const TScrambleSeed& seed);

}  // namespace strata
