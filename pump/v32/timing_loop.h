// The symbol timing loop: band-edge filters at +-1200 Hz on the
// interpolator's outputs, whose beat at the symbol rate has a phase that
// moves with the sampling instant. The beat is averaged into a reference
// while the far end sends TRN's two points; from then on the loop steers
// the instant so that the beat keeps the reference's phase, the equaliser
// seeing the line as it was trained. A proportional term and an integrator
// (which learns the far clock's offset) act once per symbol, wider while
// TRN lasts and narrower in data.
#pragma once

#include <cstdint>

#include "pump/v32/baseband.h"

namespace pump::v32 {

struct TimingLoop {
  std::int64_t upper_re = 0, upper_im = 0;  // +1200 Hz band edge, 2^8 per sample unit
  std::int64_t lower_re = 0, lower_im = 0;  // -1200 Hz band edge
  std::int64_t reference_re = 0;            // the beat summed over the reference symbols, then their mean
  std::int64_t reference_im = 0;
  std::int32_t reference_symbols = 0;
  int reference_shift = 0;                  // brings the mean (and each beat) below 2^24
  std::int64_t reference_power = 0;         // |mean|^2 >> 15; 0 until the loop runs
  std::int64_t integrator = 0;              // timing units (2^32 a sample) per symbol
};

// One interpolated output through the band-edge filters.
void BandEdgeStep(TimingLoop& loop, Complex z);

// At a symbol's end: the beat joins the reference.
void AddToReference(TimingLoop& loop);

// Ends the reference: the loop runs from the next symbol (a reference
// without a beat leaves it idle).
void CloseReference(TimingLoop& loop);

// At a symbol's end once the loop runs: the detector's error, Q15 of the
// sine of the beat's phase from the reference's (scaled by the beat's level),
// positive when the instant is late.
std::int32_t TimingError(const TimingLoop& loop);

// The change of the sampling instant (timing units) for this symbol, with
// the wider gains while the far end still trains.
std::int64_t TimingCorrection(TimingLoop& loop, bool training);

}  // namespace pump::v32
