// The normalisation flag of every float transform, the same for the FFT and
// the DFT: 1 scales the forward result by 1/N, 2 the inverse result by 1/N,
// 4 both by 1/sqrt N, 8 neither (scale stays 0). Any other flag is refused.
#pragma once

#include <cmath>
#include <cstdint>

namespace qvls::transforms {

// Sets a context's fwd_scaled, inv_scaled and scale for the flag; false for
// a flag that is none of the four. The factor is 1/n or 1/sqrt n formed in
// arithmetic T from n as T holds it, rounded to single once when stored.
template <class T, class Context>
bool SetScaling(Context* context, std::int32_t flag, T n) {
  auto reciprocal = [n](bool square_root) {
    return static_cast<float>(T{1} / (square_root ? std::sqrt(n) : n));
  };
  switch (flag) {
    case 1:
      context->fwd_scaled = 1;
      context->scale = reciprocal(false);
      return true;
    case 2:
      context->inv_scaled = 1;
      context->scale = reciprocal(false);
      return true;
    case 4:
      context->fwd_scaled = context->inv_scaled = 1;
      context->scale = reciprocal(true);
      return true;
    case 8:
      return true;
  }
  return false;
}

}  // namespace qvls::transforms
