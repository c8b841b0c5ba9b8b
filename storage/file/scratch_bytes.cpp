#include "storage/file/scratch_bytes.h"

#include <array>
#include <cstddef>

namespace strata {

std::vector<uint8_t>& ScratchBytes(TScratchUse use) {
  thread_local std::array<std::vector<uint8_t>, static_cast<std::size_t>(TScratchUse::kCount)>
      buffers;
  return buffers[static_cast<std::size_t>(use)];
}

}  // namespace strata
