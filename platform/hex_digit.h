// Hexadecimal digits as texts write them: 0-9, then A-F in either letter case.
#pragma once

namespace platform {

// The value 0..15 of a hexadecimal digit, -1 for any other character.
constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace platform
