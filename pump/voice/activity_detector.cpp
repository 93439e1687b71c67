#include "pump/voice/activity_detector.h"

#include <algorithm>
#include <cstdlib>

namespace pump {
namespace {

constexpr std::int32_t kFloorDoublingLimit = 0x3FFF;

void TakeFloor(ActivityDetector& detector) {
  if (detector.peak > kActivityFloorLeast && detector.peak < detector.floor) {
    detector.floor = detector.peak;
  }
}

}  // namespace

void ResetActivityDetector(ActivityDetector& detector) {
  detector = {kActivitySettleBlocks, kActivityLearnBlocks, kActivityFloorStart, 0, 0, 0};
}

void RunActivityDetector(ActivityDetector& detector, std::span<const std::int16_t> block) {
  std::int32_t peak = 0;
  for (std::int16_t x : block) peak = std::max(peak, std::abs(std::int32_t{x}));
  detector.peak = std::min<std::int32_t>(peak, 0x7FFF);
  if (detector.settle > 0) {
    --detector.settle;
    detector.peak = 0x7FFF;
  } else if (detector.learn > 0) {
    --detector.learn;
    TakeFloor(detector);
    if (detector.learn == 0 && detector.floor == kActivityFloorStart) {
      detector.floor = kActivityFloorLeast;
    }
  } else {
    TakeFloor(detector);
  }

  detector.history <<= 1;
  // Quiet below 2.5 times the floor.
  if (2 * detector.peak < 5 * detector.floor) {
    detector.run = 0;
    return;
  }
  detector.history |= 1;
  if (++detector.run >= kActivityLongRun) {
    detector.run = 0;
    if (detector.floor < kFloorDoublingLimit) detector.floor *= 2;
  }
}

}  // namespace pump
