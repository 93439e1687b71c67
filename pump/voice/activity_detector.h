// Speech activity on one side of the speakerphone, judged per block from
// the block's peak against a learnt noise floor.
#pragma once

#include <cstdint>
#include <span>

namespace pump {

inline constexpr std::int32_t kActivitySettleBlocks = 200;  // the peak is ignored
inline constexpr std::int32_t kActivityLearnBlocks = 200;   // the floor is learnt
inline constexpr std::int32_t kActivityFloorStart = 0x7FFF;
inline constexpr std::int32_t kActivityFloorLeast = 16;  // smaller peaks are not noise
inline constexpr std::int32_t kActivityLongRun = 1000;   // active blocks before the floor doubles

struct ActivityDetector {
  std::int32_t settle;
  std::int32_t learn;
  std::int32_t floor;
  std::uint32_t history;  // one bit per block, newest in bit 0: 1 active
  std::int32_t peak;      // of the last block
  std::int32_t run;       // active blocks in a row
};

void ResetActivityDetector(ActivityDetector& detector);
void RunActivityDetector(ActivityDetector& detector, std::span<const std::int16_t> block);

}  // namespace pump
