// The direction of a transform: forward X(k) = Σ x(m)·e^(-2πi·mk/N), inverse
// the same with e^(+2πi·mk/N); neither divides by N.
#pragma once

namespace qvls::transforms {

enum class Direction { kForward, kInverse };

// A routine by direction.
template <class Fn>
struct ByDirection {
  Fn* forward;
  Fn* inverse;

  template <Direction D>
  Fn* Get() const {
    return D == Direction::kForward ? forward : inverse;
  }
};

}  // namespace qvls::transforms
