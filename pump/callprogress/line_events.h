// The two line watchers of call progress that work on the raw input
// samples: the burst-cadence detector (ring bursts: loud samples that come
// back periodically) and the peak detector (a long run of full-scale
// samples of one sign). Each call takes a block and returns what it found.
#pragma once

#include <cstdint>
#include <span>

#include "pump/context/dsp_context.h"

namespace pump {

inline constexpr std::int16_t kBurstLevel = 18001;
inline constexpr std::int32_t kBurstLimitAtStart = 900;  // samples
inline constexpr std::int16_t kPeakLevel = 29953;
inline constexpr std::int32_t kPeakRunLength = 384;  // samples

// The time stamp of a sample count: ms, wrapping with the 16-bit count.
constexpr std::uint16_t CadenceStamp(std::uint16_t clock) {
  return static_cast<std::uint16_t>(clock * 10 / 96);
}

struct CadenceReport {
  bool started;
  bool ended;
  std::uint16_t start_stamp;
  std::uint16_t end_stamp;
  std::uint16_t bursts;  // of the train that ended
};

// Cleared, with the limit at 900 samples; the clock runs on.
void RestartBurstCadence(BurstCadence& cadence);
CadenceReport RunBurstCadence(BurstCadence& cadence, std::span<const std::int16_t> samples);

void ClearPeakRun(PeakRun& peak);
// True when a run ended in this block.
bool RunPeakRun(PeakRun& peak, std::span<const std::int16_t> samples);

}  // namespace pump
