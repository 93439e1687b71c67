#include "pump/v32/agc.h"

#include <algorithm>

namespace pump::v32 {
namespace {

constexpr std::int32_t kHighMantissa = 0x60000000;
constexpr std::int32_t kLowMantissa = 0x30000000;
constexpr std::int32_t kHighestExponent = 7;
constexpr std::int32_t kLowestExponent = -8;

std::int32_t Scale(const Agc& agc, std::int32_t x) {
  const std::int64_t product = std::int64_t{x} * (agc.mantissa >> 16);
  const int shift = 15 - agc.exponent;
  const std::int64_t scaled = product >> shift;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(scaled, -agc.clip, agc.clip));
}

}  // namespace

Complex AgcStep(Agc& agc, Complex x) {
  const Complex out{Scale(agc, x.re), Scale(agc, x.im)};
  const std::int64_t power = std::int64_t{out.re} * out.re + std::int64_t{out.im} * out.im;
  agc.power += (power - agc.power) >> 4;
  return out;
}

void AgcAdapt(Agc& agc) {
  // The clip bounds the power, so one step moves the mantissa by less than
  // a third of its lowest value and one halving or doubling brings it back.
  std::int64_t mantissa = agc.mantissa + ((agc.target - agc.power) >> 16) * agc.rate;
  if (mantissa > kHighMantissa) {
    mantissa >>= 1;
    ++agc.exponent;
  } else if (mantissa <= kLowMantissa && agc.exponent > kLowestExponent) {
    mantissa <<= 1;
    --agc.exponent;
  }
  if (agc.exponent > kHighestExponent) {
    mantissa = kHighMantissa;
    agc.exponent = kHighestExponent;
  }
  agc.mantissa = static_cast<std::int32_t>(std::clamp<std::int64_t>(mantissa, 1, kHighMantissa));
}

}  // namespace pump::v32
