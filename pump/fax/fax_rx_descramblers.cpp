#include "pump/fax/fax_rx_descramblers.h"

#include "pump/fax/fax_scramblers.h"
#include "pump/v32/scrambler.h"

namespace pump {

// The polynomial is V.32's calling-modem one, with its register layout.
std::uint32_t FaxDescramble(FaxRxRecord& rx, std::uint32_t bits, int count) {
  v32::Scrambler s{rx.descrambler};
  const std::uint32_t out = v32::Descramble(s, bits, count, v32::Polynomial::kCaller);
  rx.descrambler = s.reg;
  return out;
}

std::uint32_t V27terDescramble(FaxRxRecord& rx, std::uint32_t bits, int count) {
  std::uint32_t out = 0;
  for (int k = 0; k < count; ++k) {
    const std::uint32_t h = rx.descrambler;  // bit k: the bit received k + 1 bits ago
    const std::uint32_t in = (bits >> k) & 1;
    out |= ((in ^ rx.v27_carry ^ (h >> 5) ^ (h >> 6)) & 1) << k;
    V27terGuardStep(h, in, rx.v27_guard, rx.v27_carry);
    rx.descrambler = ((h << 1) | in) & 0xFFF;
  }
  return out;
}

}  // namespace pump
