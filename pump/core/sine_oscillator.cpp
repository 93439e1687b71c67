#include "pump/core/sine_oscillator.h"

namespace pump::sine_detail {
namespace {

constexpr bool RotationStaysInRange() {
  for (std::uint32_t phase = 0; phase < 65536; ++phase) {
    const Rotated r = Rotate(static_cast<std::uint16_t>(phase));
    if (r.cos < -32767 || r.cos > 32767 || r.sin < -32767 || r.sin > 32767) return false;
  }
  return true;
}
static_assert(RotationStaysInRange(), "SineOscillator's outputs fit 16 bits");

}  // namespace
}  // namespace pump::sine_detail
