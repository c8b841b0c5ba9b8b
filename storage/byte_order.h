// Little- and big-endian integer access to byte buffers, used by every file
// format reader and writer of the engine.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace strata {

inline uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline int32_t GetI32(const uint8_t* p) { return static_cast<int32_t>(GetU32(p)); }
inline uint64_t GetU64(const uint8_t* p) {
  return static_cast<uint64_t>(GetU32(p)) | (static_cast<uint64_t>(GetU32(p + 4)) << 32);
}
inline double GetF64(const uint8_t* p) {
  uint64_t bits = GetU64(p);
  double value;
  std::memcpy(&value, &bits, 8);
  return value;
}

inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutI32(uint8_t* p, int32_t v) { PutU32(p, static_cast<uint32_t>(v)); }
inline void PutU64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutF64(uint8_t* p, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, 8);
  PutU64(p, bits);
}

// Big-endian, for index keys whose bytes compare in numeric order.
inline void PutBigEndian(uint8_t* p, uint64_t v, int width) {
  for (int i = 0; i < width; ++i) p[i] = static_cast<uint8_t>(v >> (8 * (width - 1 - i)));
}
inline uint64_t GetBigEndian(const uint8_t* p, int width) {
  uint64_t v = 0;
  for (int i = 0; i < width; ++i) v = (v << 8) | p[i];
  return v;
}

// Length-prefixed text of at most `capacity` characters in a field of
// capacity + 1 bytes.
inline std::string GetShortString(const uint8_t* p, size_t capacity) {
  size_t length = p[0] <= capacity ? p[0] : capacity;
  return std::string(reinterpret_cast<const char*>(p + 1), length);
}
inline void PutShortString(uint8_t* p, size_t capacity, const std::string& text) {
  size_t length = text.size() <= capacity ? text.size() : capacity;
  std::memset(p, 0, capacity + 1);
  p[0] = static_cast<uint8_t>(length);
  std::memcpy(p + 1, text.data(), length);
}

}  // namespace strata
