// BestEffort: a clean-up step whose failure cannot be reported, because it
// runs in a destructor or on a path where an error is already on its way
// (that error is the one that matters). Whatever the step throws is dropped;
// code that wants to see a failure calls the step itself.
#pragma once

namespace strata {

template <class Step>
void BestEffort(Step&& step) noexcept {
  try {
    step();
  } catch (...) {
    // dropped: see above
  }
}

}  // namespace strata
