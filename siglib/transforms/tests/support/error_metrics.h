// How far a transform's output lies from the exact values.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>

namespace qvls_test::transforms {

// The largest |out[i] - exact[i]|, with the exact values first saturated to
// the 16-bit range as the operation saturates them: in units of the last
// place (LSB) of the 16-bit result.
inline long double MaxLsbError(std::span<const std::int16_t> out,
                               std::span<const long double> exact) {
  long double worst = 0;
  for (std::size_t i = 0; i < out.size() && i < exact.size(); ++i) {
    const long double target = std::clamp<long double>(exact[i], -32768, 32767);
    worst = std::max(worst, std::fabs(static_cast<long double>(out[i]) - target));
  }
  return worst;
}

// The largest |out[i] - round-half-even(exact[i])|, the exact value
// saturated to 16 bits first: in LSB of the 16-bit result.
inline long double MaxRoundedError(std::span<const std::int16_t> out,
                                   std::span<const long double> exact) {
  long double worst = 0;
  for (std::size_t i = 0; i < out.size() && i < exact.size(); ++i) {
    const long double target = std::clamp<long double>(std::nearbyint(exact[i]), -32768, 32767);
    worst = std::max(worst, std::fabs(static_cast<long double>(out[i]) - target));
  }
  return worst;
}

// The largest |out[i] - exact[i]| without saturation (internal units of a
// kernel's 32-bit data).
template <class T>
long double MaxAbsError(std::span<const T> out, std::span<const long double> exact) {
  long double worst = 0;
  for (std::size_t i = 0; i < out.size() && i < exact.size(); ++i) {
    worst = std::max(worst, std::fabs(static_cast<long double>(out[i]) - exact[i]));
  }
  return worst;
}

// sqrt(Σ (out - exact)^2 / Σ exact^2): the error's energy relative to the
// signal's (0 when both are 0).
template <class T>
long double RelativeRmsError(std::span<const T> out, std::span<const long double> exact) {
  long double error = 0;
  long double signal = 0;
  for (std::size_t i = 0; i < out.size() && i < exact.size(); ++i) {
    const long double d = static_cast<long double>(out[i]) - exact[i];
    error += d * d;
    signal += exact[i] * exact[i];
  }
  if (signal == 0) return error == 0 ? 0 : INFINITY;
  return std::sqrt(error / signal);
}

}  // namespace qvls_test::transforms
