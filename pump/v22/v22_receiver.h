// The V.22/V.22bis receiver core: per input sample the fractional timing
// and the mixer; per tick (16 a symbol) the three-point interpolator and
// one step of the symbol's work: the baseband filter with the AGC, the
// 22-tap equaliser at two samples a symbol, the decision and the carrier
// loop, the pattern detectors, decoding and descrambling into the framer,
// the timing loop and the S1 watch in data.
#pragma once

#include <cstdint>
#include <span>

#include "pump/context/dsp_context.h"

namespace pump {

inline constexpr std::int16_t kV22SampleFraction = 23100;  // mu of one input sample
inline constexpr std::int16_t kV22AgcTarget = 8192;
inline constexpr std::int32_t kV22LossSymbols = 600;
inline constexpr std::int16_t kV22AcquisitionTicks = 512;

// The point the receiver decides on, in its scale (inner 1843, outer 5529).
struct V22Decision {
  std::uint16_t point;  // the transmitter's index
  std::int16_t i;
  std::int16_t q;
  std::int16_t weight;
};

// 4 points (one a quadrant) or 16.
V22Decision V22Decide(bool sixteen, std::int16_t i, std::int16_t q);

// One decoded group (bits 3-2 the quadrant change, 1-0 the point's) through
// the descrambler: `bits` of them, bit 3 first, out first bit lowest.
std::uint32_t V22Descramble(V22RxRecord& rx, std::uint32_t group, int bits);

// The AGC's scaling of one filtered value by exponent and mantissa.
std::int16_t V22AgcScale(const V22RxRecord& rx, std::int32_t x);

// The equaliser's taps at the training restart, from the acquisition sums.
void V22LoadInitialTaps(V22RxRecord& rx);

// The timing loop's reference from the current correlation.
void V22TakeTimingReference(V22RxRecord& rx);

// Before training afresh: 4-point decisions at 2 bits a symbol, nothing to
// the framer, the AGC adapting, the last training's ones and counts gone,
// and the timing loop off and at rest.
void V22ForgetTraining(V22RxRecord& rx);

// Runs the core over `samples`, the block's received samples.
void V22ReceiveSamples(DspContext& context, std::span<const std::int16_t> samples);

// The receive sequence's entries the core restarts it at.
inline constexpr std::int32_t kV22RxUsb1OffIndex = 3;
inline constexpr std::int32_t kV22RxS1DetIndex = 4;
inline constexpr std::int32_t kV22RxSamplePickIndex = 5;
inline constexpr std::int32_t kV22RxEndIndex = 15;

}  // namespace pump
