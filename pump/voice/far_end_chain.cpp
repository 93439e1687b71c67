#include "pump/voice/far_end_chain.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <limits>

namespace pump {
namespace {

constexpr std::int32_t kRatioMax = 0x7FFF;
constexpr std::int32_t kMinBRaise = 11585;  // minB / B below 1/sqrt(8): minB takes B
constexpr std::int32_t kOpenRatio = 0x4800;  // E2 / E1 from 0.5625: far-end speech
constexpr std::int32_t kOpenMinRatio = 1024;
constexpr std::int64_t kGainLeast = static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min()) + 1;
constexpr std::int64_t kGainMost = std::numeric_limits<std::int32_t>::max();

std::int32_t Saturate32(std::int64_t v) {
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(), kGainMost));
}

// Pre-emphasis, rectification and a fast-attack, slow-release average.
void EnvelopeStep(Envelope& envelope, std::int32_t v) {
  const std::int64_t now = std::int64_t{v} << 15;
  const std::int64_t before = std::int64_t{envelope.previous} << 15;
  envelope.previous = v;
  const std::int64_t w = Saturate32(2 * (now - before + (before >> 5)));
  const std::int64_t e = std::abs(w);
  const std::int64_t decayed = std::int64_t{envelope.value >> 15};
  envelope.value = e >= envelope.value ? Saturate32(decayed * 0x7E00 + (e >> 6))
                                       : Saturate32(decayed * 0x7F00 + (e >> 7));
}

// The fast floor follows the envelope down at once and rises by half
// after a hold; the slow floor creeps up by one per lower sample.
void FloorStep(NoiseFloor& floor, std::int32_t e) {
  if (e < floor.fast) {
    floor.fast = e;
    floor.slow = floor.slow < e ? floor.slow + 1 : e;
    floor.hold = kFarEndHoldStart;
  } else if (++floor.hold >= 0) {
    floor.hold = kFarEndHoldStart;
    floor.fast = Saturate32(std::int64_t{floor.fast} + (floor.fast >> 1));
  }
  if (floor.fast <= kFarEndFloorStart) {
    floor.fast = kFarEndFloorStart;
    floor.slow = kFarEndFloorStart;
  }
}

void ResetEnvelope(Envelope& envelope) {
  envelope = {0, 0, {kFarEndFloorStart, kFarEndFloorStart, kFarEndHoldStart}};
}

void TakeMinimum(std::int32_t& minimum, std::int32_t ratio) {
  if (ratio != 0 && ratio < minimum) minimum = ratio;
}

}  // namespace

std::int32_t RatioQ15(std::int32_t num, std::int32_t den) {
  if (num >= den) return kRatioMax;
  if (num < 0) return 0;
  const int shift = std::max(0, static_cast<int>(std::bit_width(static_cast<std::uint32_t>(den))) - 15);
  const std::int64_t n = num >> shift;
  const std::int64_t d = den >> shift;
  return static_cast<std::int32_t>(((n << 16) / d + 1) >> 1);
}

std::int16_t NlpGain(FarEndChain& chain, std::int16_t sample) {
  const std::int32_t d = RatioQ15(chain.min_a, chain.min_b);
  const std::int32_t g = RatioQ15(chain.ratio_a, chain.ratio_b);
  if (RatioQ15(chain.min_b, chain.ratio_b) < kMinBRaise) chain.min_b = chain.ratio_b;
  if (chain.bypass != 0) return sample;

  const std::int64_t rounding = (chain.gain & 0x7FFF8000) == 0x7FFF8000 ? 0 : 0x8000;
  const std::int64_t rounded = (chain.gain + rounding) >> 16;
  std::int64_t next = 0;
  if (chain.ratio_a > kFarEndShutRatio || chain.ratio_b > kFarEndShutRatio) {
    next = 0;
  } else if (g >= kOpenRatio && d >= kOpenMinRatio) {
    next = rounded * 32736 * 2 + 0x3FFFFFF;
  } else {
    next = rounded * 0x7FF0 * 2;
  }
  chain.gain = static_cast<std::int32_t>(std::clamp(next, kGainLeast, kGainMost));

  std::int64_t p = std::int64_t{sample} * (chain.gain >> 16);
  if ((p & 0x7FFFC000) != 0x7FFFC000) p += 0x4000;
  return static_cast<std::int16_t>(std::clamp<std::int64_t>(p >> 15, -32767, 32767));
}

void ResetFarEndChain(FarEndChain& chain) {
  chain.control = kFarEndControlStart;
  chain.bypass = 0;
  chain.dc_out = 0;
  chain.dc_in = 0;
  ResetEnvelope(chain.before);
  ResetEnvelope(chain.after);
  chain.ratio_a = kRatioMax;
  chain.ratio_b = kRatioMax;
  chain.min_a = kRatioMax;
  chain.min_b = kRatioMax;
  chain.gain = 0;
  ResetPeakAgc(chain.speaker, kSpeakerFloors, kSpeakerAgcLimits);
}

void RunFarEndChain(FarEndChain& chain, std::span<const std::int16_t> uncancelled,
                    std::span<std::int16_t> line) {
  const int speaker_index = (chain.control >> 8) & 0xF;
  const std::size_t n = std::min(uncancelled.size(), line.size());
  for (std::size_t i = 0; i < n; ++i) {
    const std::int32_t x = line[i];
    chain.dc_out = std::clamp(chain.dc_out - (chain.dc_out >> 3) + x - chain.dc_in, -32767, 32767);
    chain.dc_in = x;
    EnvelopeStep(chain.before, uncancelled[i]);
    EnvelopeStep(chain.after, chain.dc_out);
    FloorStep(chain.before.floor, chain.before.value);
    FloorStep(chain.after.floor, chain.after.value);
    const std::int32_t s2 = chain.after.floor.slow;
    chain.ratio_a = RatioQ15(s2, chain.before.value);
    chain.ratio_b = RatioQ15(s2, chain.after.value);
    TakeMinimum(chain.min_a, chain.ratio_a);
    TakeMinimum(chain.min_b, chain.ratio_b);
    const std::int16_t leveled =
        RunPeakAgc(chain.speaker, static_cast<std::int16_t>(chain.dc_out), speaker_index);
    line[i] = NlpGain(chain, leveled);
  }
}

}  // namespace pump
