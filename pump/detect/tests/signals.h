// Test signals at the data pump's 9600 Hz (or any rate): tones from their
// formula, seeded Gaussian noise, and their levels.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <numbers>
#include <span>
#include <vector>

#include "platform/line/gaussian_noise.h"

namespace pump::detect_test {

inline constexpr double kRate = 9600.0;

// One 10 ms block of samples at kRate.
inline constexpr std::size_t kBlock = 96;

// The sum of sines of `peak` each, every one starting at its own phase.
inline std::vector<std::int16_t> Tone(std::initializer_list<double> hz, double peak, std::size_t n,
                                      double rate = kRate) {
  std::vector<std::int16_t> out(n);
  for (std::size_t i = 0; i < n; ++i) {
    double v = 0;
    int k = 0;
    for (const double f : hz) {
      v += peak * std::sin(2 * std::numbers::pi * f * static_cast<double>(i) / rate + 0.7 * ++k);
    }
    out[i] = static_cast<std::int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
  }
  return out;
}

inline std::vector<std::int16_t> Noise(std::uint64_t seed, double rms, std::size_t n) {
  plat::line::GaussianNoise noise(seed, 0);
  std::vector<std::int16_t> out(n);
  for (std::int16_t& s : out) {
    s = static_cast<std::int16_t>(std::clamp(std::lround(rms * noise.Next()), -32768L, 32767L));
  }
  return out;
}

// a + b, saturated, over the shorter.
inline std::vector<std::int16_t> Mix(std::span<const std::int16_t> a,
                                     std::span<const std::int16_t> b) {
  std::vector<std::int16_t> out(std::min(a.size(), b.size()));
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<std::int16_t>(std::clamp(a[i] + b[i], -32768, 32767));
  }
  return out;
}

inline std::vector<std::int16_t> Concat(std::initializer_list<std::vector<std::int16_t>> parts) {
  std::vector<std::int16_t> out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

inline std::vector<std::int32_t> Wide(std::span<const std::int16_t> samples) {
  return {samples.begin(), samples.end()};
}

template <class T>
double Rms(std::span<const T> samples) {
  double sum = 0;
  for (const T s : samples) sum += static_cast<double>(s) * static_cast<double>(s);
  return samples.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

inline double Db(double ratio) { return 20.0 * std::log10(ratio); }

// The amplitude of the component at hz, by a single DFT bin over the samples.
template <class T>
double Amplitude(std::span<const T> samples, double hz, double rate = kRate) {
  double re = 0, im = 0;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double w = 2 * std::numbers::pi * hz * static_cast<double>(i) / rate;
    re += static_cast<double>(samples[i]) * std::cos(w);
    im -= static_cast<double>(samples[i]) * std::sin(w);
  }
  return 2 * std::hypot(re, im) / static_cast<double>(samples.size());
}

template <class T>
double Mean(std::span<const T> samples) {
  double sum = 0;
  for (const T s : samples) sum += static_cast<double>(s);
  return samples.empty() ? 0.0 : sum / static_cast<double>(samples.size());
}

}  // namespace pump::detect_test
