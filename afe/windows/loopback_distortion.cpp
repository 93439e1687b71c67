#include "afe/windows/loopback_distortion.h"

#include <algorithm>
#include <limits>

namespace afe {
namespace {

constexpr int kMostLags = 100;
constexpr CorrelationSum kPercent = 100;

// Mean square over a block, by integer division.
CorrelationSum MeanSquare(std::span<const std::int64_t> block) {
  CorrelationSum sum = 0;
  for (const std::int64_t x : block) sum += CorrelationSum{x} * x;
  return sum / static_cast<CorrelationSum>(block.size());
}

ULONG Saturated(CorrelationSum value) {
  constexpr CorrelationSum kMost = std::numeric_limits<ULONG>::max();
  return static_cast<ULONG>(std::min(value, kMost));
}

}  // namespace

CorrelationPeak FindCorrelationPeak(std::span<const std::int64_t> r,
                                    std::span<const std::int64_t> s) {
  const int n = static_cast<int>(std::min(r.size(), s.size()));
  const int lags = std::min(2 * n - 1, kMostLags);
  CorrelationPeak peak{0, 0, lags};
  CorrelationSum largest = -1;
  for (int i = 0; i < lags; ++i) {
    const int shift = i + n - lags / 4;  // s[shift - k] meets r[k]
    CorrelationSum sum = 0;
    for (int k = std::max(0, shift - (n - 1)); k < n && k <= shift; ++k) {
      sum += CorrelationSum{r[k]} * s[shift - k];
    }
    const CorrelationSum magnitude = sum < 0 ? -sum : sum;
    if (magnitude >= largest) {
      largest = magnitude;
      peak.index = i;
      peak.value = sum;
    }
  }
  return peak;
}

std::optional<ULONG> LoopbackDistortion(std::span<const SHORT> sent,
                                        std::span<const SHORT> received) {
  if (sent.empty() || sent.size() != received.size() || sent.size() > kLoopbackSamples) {
    return std::nullopt;
  }
  const auto n = static_cast<int>(sent.size());
  std::array<std::int64_t, kLoopbackSamples> s{};
  std::array<std::int64_t, kLoopbackSamples> r{};
  std::copy(sent.begin(), sent.end(), s.begin());
  std::copy(received.begin(), received.end(), r.begin());

  const CorrelationPeak loop = FindCorrelationPeak(std::span(r).first(n), std::span(s).first(n));
  // The signal is odd about its middle, so the sum peaks where the received
  // block lines up with the sent one: at index lags / 4 + d for a delay d.
  // One sample more would misalign the power match below and fail a
  // perfect loop at some delays.
  const int delay = loop.index - loop.lags / 4;
  if (delay < 0 || delay > n - 1) return std::nullopt;  // would read outside the received block
  const auto shared = static_cast<std::size_t>(n - delay);
  const auto returned = std::span<const std::int64_t>(r).subspan(delay, shared);

  const CorrelationSum sent_power = MeanSquare(std::span(s).first(shared));
  const CorrelationSum received_power = MeanSquare(returned);
  if (sent_power == 0) return std::nullopt;
  for (std::size_t k = 0; k < shared; ++k) {
    // |s| < 2^15 and the power < 2^30: the scaled sample fits 64 bits.
    s[k] = static_cast<std::int64_t>(s[k] * received_power / sent_power);
  }
  const auto scaled = std::span<const std::int64_t>(s).first(shared);
  const CorrelationSum a = FindCorrelationPeak(scaled, scaled).value;
  const CorrelationSum x = FindCorrelationPeak(returned, scaled).value;
  if (a == 0) return std::nullopt;  // nothing came back
  const CorrelationSum distortion = (a - x) * kPercent / a;
  return Saturated(distortion < 0 ? -distortion : distortion);
}

}  // namespace afe
