// The speakerphone's peak-normalising gain stage: a sample's output is the
// sample 10 places back scaled so that the recent peak reaches the target.
// The gain changes only at a zero crossing of the delayed signal, so no
// step is heard inside a half-wave.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace pump {

inline constexpr int kPeakAgcDelay = 10;
inline constexpr int kPeakAgcMute = 15;  // the level index that silences

// Peak floors by level index: the louder the index, the higher the floor,
// so a quiet input is raised less.
using PeakFloors = std::array<std::int32_t, 15>;
inline constexpr PeakFloors kMicFloorsSpeakerphone = {
    1463, 2067, 2920, 4125, 5826, 8230, 11626, 16384, 23197, 32767, 32767, 32767, 32767, 32767, 32767};
inline constexpr PeakFloors kMicFloorsOther = {
    184, 260, 367, 519, 733, 1036, 1463, 2067, 2920, 4125, 4125, 4125, 4125, 4125, 4125};
// Speaker volume 0-9; indexes 10-14 play as 9.
inline constexpr PeakFloors kSpeakerFloors = {
    924, 1436, 1980, 3004, 4092, 6140, 8316, 12412, 16764, 24956, 24956, 24956, 24956, 24956, 24956};

struct PeakAgcLimits {
  std::int32_t target;
  std::int32_t high;
  std::int32_t low;
};
inline constexpr PeakAgcLimits kMicAgcLimits = {24964, 24963, -24964};
inline constexpr PeakAgcLimits kSpeakerAgcLimits = {32767, 32767, -32767};

struct PeakAgc {
  const PeakFloors* floors;
  PeakAgcLimits limits;
  std::int32_t peak;
  std::int32_t applied;  // the peak the output is scaled by
  std::array<std::int16_t, kPeakAgcDelay> history;
  std::int32_t at;  // the oldest history sample, the next to leave
};

// An empty history and both peaks at entry 5 of the floor table.
void ResetPeakAgc(PeakAgc& agc, const PeakFloors& floors, const PeakAgcLimits& limits);
std::int16_t RunPeakAgc(PeakAgc& agc, std::int16_t x, int index);
void RunPeakAgc(PeakAgc& agc, std::span<std::int16_t> samples, int index);

}  // namespace pump
