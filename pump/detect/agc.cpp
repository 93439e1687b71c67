#include "pump/detect/agc.h"

#include <algorithm>

#include "pump/core/fixed_point.h"

namespace pump {
namespace {

constexpr std::int32_t kOutputLimit = 32767;

// x mantissa 2^exponent / 32768, truncated; exponents beyond the AGC's own
// range (only InitAgcGain can set one) shift as far as the value allows.
std::int64_t Scale(std::int32_t x, const AgcGain& agc) {
  const std::int64_t product = std::int64_t{x} * agc.mantissa;
  const int shift = 15 - agc.exponent;
  if (shift >= 0) return product >> std::min(shift, 63);
  return product * (std::int64_t{1} << std::min(-shift, 16));
}

void Adapt(AgcGain& agc, std::int32_t y) {
  const std::int32_t level = AbsOnesComplement(y);
  agc.average = std::min<std::int32_t>(
      static_cast<std::int32_t>((std::int64_t{level} * 7680 + std::int64_t{agc.average} * 0x7000) >>
                                15),
      0x7FFF);
  // In 32 bits: a rise past 0x7FFF is held there, a fall below 0 meets the floor.
  std::int32_t mantissa = agc.mantissa + ((agc.average * -3) >> 4) + kAgcRise;
  mantissa = std::clamp<std::int32_t>(mantissa, kAgcMantissaFloor, 0x7FFF);
  if (mantissa > kAgcMantissaHigh && agc.exponent < kAgcExponentMax) {
    mantissa >>= 1;
    ++agc.exponent;
  } else if (mantissa < kAgcMantissaLow && agc.exponent > kAgcExponentMin) {
    mantissa <<= 1;
    --agc.exponent;
  }
  agc.mantissa = static_cast<std::int16_t>(mantissa);
}

}  // namespace

void InitAgcGain(AgcGain& agc, int exponent, int mantissa) {
  agc.exponent = static_cast<std::int16_t>(exponent);
  agc.mantissa = static_cast<std::int16_t>(mantissa);
  agc.average = 0;
  agc.freeze = 0;
}

void FreezeAgc(AgcGain& agc) { agc.freeze = 1; }

void RunAgc(AgcGain& agc, std::span<const std::int32_t> input, std::span<std::int32_t> output) {
  const std::size_t n = std::min(input.size(), output.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto y = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(Scale(input[i], agc), -kOutputLimit, kOutputLimit));
    output[i] = y;
    if (agc.freeze == 0) Adapt(agc, y);
  }
}

}  // namespace pump
