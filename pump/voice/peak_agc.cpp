#include "pump/voice/peak_agc.h"

#include <algorithm>
#include <cstdlib>

namespace pump {
namespace {

constexpr int kResetIndex = 5;
constexpr std::int32_t kPeakDecay = 32632;  // per sample, Q15

}  // namespace

void ResetPeakAgc(PeakAgc& agc, const PeakFloors& floors, const PeakAgcLimits& limits) {
  agc.floors = &floors;
  agc.limits = limits;
  agc.peak = floors[kResetIndex];
  agc.applied = floors[kResetIndex];
  agc.history.fill(0);
  agc.at = 0;
}

std::int16_t RunPeakAgc(PeakAgc& agc, std::int16_t x, int index) {
  if (index == kPeakAgcMute) return 0;
  const int k = std::clamp(index, 0, static_cast<int>(agc.floors->size()) - 1);
  agc.peak = std::max({(*agc.floors)[static_cast<std::size_t>(k)], agc.peak * kPeakDecay / 32768,
                       static_cast<std::int32_t>(std::abs(x))});
  const std::int16_t delayed = agc.history[static_cast<std::size_t>(agc.at)];
  agc.history[static_cast<std::size_t>(agc.at)] = x;
  agc.at = (agc.at + 1) % kPeakAgcDelay;
  const std::int16_t next = agc.history[static_cast<std::size_t>(agc.at)];
  if ((delayed < 0) != (next < 0)) agc.applied = agc.peak;
  const std::int32_t out = delayed * agc.limits.target / agc.applied;
  return static_cast<std::int16_t>(std::clamp(out, agc.limits.low, agc.limits.high));
}

void RunPeakAgc(PeakAgc& agc, std::span<std::int16_t> samples, int index) {
  for (std::int16_t& x : samples) x = RunPeakAgc(agc, x, index);
}

}  // namespace pump
