// The far-end chain on the line block before the speaker: DC removal,
// envelopes of the line before and after the line-echo canceller, their
// noise floors, and a suppression gain that opens only for far-end speech
// (the cancelled signal about as strong as the uncancelled one and well
// above the noise) and shuts for echo and noise.
#pragma once

#include <cstdint>
#include <span>

#include "pump/voice/peak_agc.h"

namespace pump {

inline constexpr std::int32_t kFarEndFloorStart = 0x10000;
inline constexpr std::int32_t kFarEndHoldStart = -8000;  // samples before a floor rises
inline constexpr std::int32_t kFarEndShutRatio = 20480;  // Q15: envelope below 1.6 x the floor
inline constexpr std::uint16_t kFarEndControlStart = 0x5500;  // bits 8-11: speaker index 5

struct NoiseFloor {
  std::int32_t fast;
  std::int32_t slow;
  std::int32_t hold;  // counts up to 0
};

struct Envelope {
  std::int32_t previous;  // the last input sample
  std::int32_t value;
  NoiseFloor floor;
};

struct FarEndChain {
  std::uint16_t control;
  std::uint32_t bypass;  // the suppression gain is skipped
  std::int32_t dc_out;   // the DC-removal filter's last output
  std::int32_t dc_in;    // and input
  Envelope before;       // E1: the line before the canceller
  Envelope after;        // E2: the DC-free line after it
  std::int32_t ratio_a;  // Q15: S2 / E1
  std::int32_t ratio_b;  // Q15: S2 / E2
  std::int32_t min_a;
  std::int32_t min_b;
  std::int32_t gain;  // Q31 of the suppression gain
  PeakAgc speaker;
};

void ResetFarEndChain(FarEndChain& chain);
// `uncancelled` is the line before the canceller; `line` holds the line
// after it and receives the speaker's samples.
void RunFarEndChain(FarEndChain& chain, std::span<const std::int16_t> uncancelled,
                    std::span<std::int16_t> line);
// num / den in Q15, rounded; 0x7FFF when num is not below den.
std::int32_t RatioQ15(std::int32_t num, std::int32_t den);
// The suppression gain's step for one sample with the current ratios.
std::int16_t NlpGain(FarEndChain& chain, std::int16_t sample);

}  // namespace pump
