#include "pump/idle/level_step.h"

#include <algorithm>
#include <cstdlib>

namespace pump {
namespace {

constexpr std::int16_t kStartHold = 11520;
constexpr std::int16_t kBlanking = 4320;
constexpr std::int16_t kStepHold = 9600;
constexpr std::int64_t kStepThreshold = 7680;

std::int16_t CountDown(std::int16_t value, std::size_t n) {
  return static_cast<std::int16_t>(std::max<std::int64_t>(0, value - static_cast<std::int64_t>(n)));
}

}  // namespace

void InitLevelStep(LevelStepDetector& detector) {
  detector.start_hold = kStartHold;
  detector.blanking = kBlanking;
  detector.step_hold = 0;
  detector.slow = 0;
  detector.fast = 0;
}

void RunLevelStep(LevelStepDetector& detector, std::span<const std::int16_t> samples) {
  detector.start_hold = CountDown(detector.start_hold, samples.size());
  detector.step_hold = CountDown(detector.step_hold, samples.size());
  // 64-bit arithmetic: the states stay within 32 bits once settled, and a
  // wild start wraps instead of overflowing.
  std::int64_t a = detector.a;
  std::int64_t b = detector.b;
  std::int64_t slow = detector.slow;
  std::int64_t fast = detector.fast;
  for (const std::int16_t x : samples) {
    if (detector.blanking > 0) --detector.blanking;
    const std::int64_t c = (std::int64_t{x} << 14) - 3 * (a + b);
    a += c >> 4;
    b += a >> 3;
    const std::int64_t magnitude = std::llabs(c >> 6);
    slow += (magnitude - slow) >> 9;
    fast += (magnitude - fast) >> 8;
    if (detector.blanking == 0 && std::llabs(slow - fast) > kStepThreshold) {
      detector.step_hold = kStepHold;
    }
  }
  detector.a = static_cast<std::int32_t>(a);
  detector.b = static_cast<std::int32_t>(b);
  detector.slow = static_cast<std::int32_t>(slow);
  detector.fast = static_cast<std::int32_t>(fast);
}

bool TakeLevelStep(LevelStepDetector& detector) {
  if (detector.start_hold != 0 || detector.step_hold <= 0) return false;
  // The averages need the blanking time to settle on the new level; without
  // it the same step would be found again on every block until they meet.
  detector.blanking = kBlanking;
  detector.step_hold = 0;
  return true;
}

}  // namespace pump
