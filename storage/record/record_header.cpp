#include "storage/record/record_header.h"

#include <limits>

namespace strata {

int32_t NextRowNumber(int32_t last_auto_increment) {
  if (last_auto_increment < 0 || last_auto_increment == std::numeric_limits<int32_t>::max()) {
    return 1;
  }
  return last_auto_increment + 1;
}

}  // namespace strata
