#include "siglib/convert/float_rules.h"

#include <bit>
#include <cstring>

namespace qvls::convert {

double PowerOfTwoFactor(std::int32_t sf) {
  const double step = sf > 0 ? 0.5 : 2.0;
  double factor = 1.0;
  std::int32_t steps = sf > 0 ? sf : -sf;
  for (; steps >= 5; steps -= 5) factor = factor * step * step * step * step * step;
  for (; steps > 0; --steps) factor *= step;
  return factor;
}

std::uint32_t SaturationThresholdBits(bool nearest, std::int32_t sf) {
  // The threshold is m · 2^e: 65535 · 2^(sf - 1) or 1 · 2^(15 + sf).
  const std::uint32_t m = nearest ? 65535 : 1;
  const std::int32_t e = nearest ? sf - 1 : 15 + sf;
  const int width = 32 - std::countl_zero(m);
  const std::int32_t exponent = e + width - 1;  // of the leading bit
  if (exponent > 127) return kInfinityBits;
  if (exponent >= -126) {
    const std::uint32_t fraction = (m << (24 - width)) & 0x7FFFFF;
    return static_cast<std::uint32_t>(exponent + 127) << 23 | fraction;
  }
  // Below the normal range: in units of 2^-149, rounded up.
  const std::int32_t shift = e + 149;
  if (shift >= 0) return m << shift;
  return (m + (1u << -shift) - 1) >> -shift;
}

namespace {

float HalvedOrDoubled(std::int32_t sf) {
  const float step = sf > 0 ? 0.5f : 2.0f;
  float factor = 1.0f;
  for (std::int32_t steps = sf > 0 ? sf : -sf; steps > 0; --steps) factor *= step;
  return factor;
}

}  // namespace

SingleFactors SplitFactor(std::int32_t sf) {
  constexpr std::int32_t kNormalLimit = 126;
  const std::int32_t first = std::clamp(sf, -kNormalLimit, kNormalLimit);
  const std::int32_t second = sf - first;
  return {HalvedOrDoubled(first), HalvedOrDoubled(second), sf == 0 ? 0 : (second == 0 ? 1 : 2)};
}

}  // namespace qvls::convert
