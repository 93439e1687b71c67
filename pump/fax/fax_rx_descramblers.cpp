#include "pump/fax/fax_rx_descramblers.h"

namespace pump {
namespace {

// Received bits in a row that repeat the bit 8, 9 or 12 before, after
// which the transmitter inverted the next one.
constexpr std::uint32_t kV27terGuardRun = 33;

}  // namespace

std::uint32_t FaxDescramble(FaxRxRecord& rx, std::uint32_t bits, int count) {
  const std::uint32_t mask = (1u << count) - 1;
  const std::uint32_t in = bits & mask;
  const std::uint32_t out = (rx.descrambler ^ (rx.descrambler >> 5) ^ in) & mask;
  rx.descrambler = (rx.descrambler | in << 23) >> count;
  return out;
}

std::uint32_t V27terDescramble(FaxRxRecord& rx, std::uint32_t bits, int count) {
  std::uint32_t out = 0;
  for (int k = 0; k < count; ++k) {
    const std::uint32_t h = rx.descrambler;  // bit k: the bit received k + 1 bits ago
    const std::uint32_t in = (bits >> k) & 1;
    out |= ((in ^ rx.v27_carry ^ (h >> 5) ^ (h >> 6)) & 1) << k;
    const bool differs_from_all = (((h >> 7) ^ in) & ((h >> 8) ^ in) & ((h >> 11) ^ in) & 1) != 0;
    rx.v27_guard = differs_from_all || rx.v27_carry != 0 ? 0 : rx.v27_guard + 1;
    rx.v27_carry = rx.v27_guard >= kV27terGuardRun ? 1 : 0;
    rx.descrambler = ((h << 1) | in) & 0xFFF;
  }
  return out;
}

}  // namespace pump
