#include "storage/file/scratch_bytes.h"

#include <array>
#include <cstddef>

namespace strata {

std::vector<uint8_t>& ScratchBytes(TScratchUse use) {
  thread_local std::array<std::vector<uint8_t>, static_cast<std::size_t>(TScratchUse::kCount)>
      buffers;
  return buffers[static_cast<std::size_t>(use)];
}

// What a buffer may keep between runs: a run of a few records or blocks.
constexpr std::size_t kKeptScratchBytes = 1024;

void ReleaseLargeScratch(std::vector<uint8_t>& buffer) {
  if (buffer.capacity() > kKeptScratchBytes) std::vector<uint8_t>().swap(buffer);
}

}  // namespace strata
