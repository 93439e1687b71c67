// Notch-ratio detectors: the input's power against the power left after a
// notch; a high ratio means the energy lies at the notch frequency. The
// ratio, averaged per sample, counts up while it reaches the on ratio and
// clears when it falls below the off ratio; the detector fires when the
// count passes the caller's limit (in samples), and then counts again from 0.
//
// One section (NotchDetector) or two in series (NotchDetector2, for a pair
// of tones: it fires on either, and on both). Samples are the receive front
// end's 32-bit output; a sample of magnitude above 0xFFFF is an overload.
#pragma once

#include <cstdint>
#include <span>

#include "pump/detect/coefficients.h"

namespace pump {

struct NotchSection {
  std::int32_t x1, x2;  // input history
  std::int32_t y1, y2;  // output history
};

struct NotchDetector {
  const NotchSet* set;
  NotchSection section;
  std::int32_t input_power;
  std::int32_t output_power;  // at least 1
  std::int32_t on_ratio;
  std::int32_t off_ratio;
  std::int32_t shift;  // of the power averages
  std::int32_t count;
};

struct NotchDetector2 {
  const NotchSet* sets[2];
  NotchSection sections[2];
  std::int32_t input_power;
  std::int32_t output_power;
  std::int32_t on_ratio;
  std::int32_t off_ratio;
  std::int32_t shift;
  std::int32_t count;
};

// Clears the state: output power 1, averaging shift 6.
void InitNotchDetector(NotchDetector& detector, const NotchSet& set, int on_ratio, int off_ratio);

// The samples until the detector fires: then the ratio, else 0 at the end of
// the block. An overload sample ends the block at once with 0 and leaves the
// state as it was.
std::int32_t RunNotchDetector(NotchDetector& detector, std::span<const std::int32_t> samples,
                              int limit);
std::int32_t StepNotchDetector(NotchDetector& detector, std::int32_t sample, int limit);

// The two-section variant: averaging shift 3, input power 10 at the start.
// An overload sample starts its sections and powers afresh and ends the
// block with 0. (Its output power, like the single section's, is held
// between 1 and the 32-bit range, so it never turns non-positive, which is
// the other condition that would start it afresh.)
void InitNotchDetector2(NotchDetector2& detector, const NotchSet& first, const NotchSet& second,
                        int on_ratio, int off_ratio);
std::int32_t RunNotchDetector2(NotchDetector2& detector, std::span<const std::int32_t> samples,
                               int limit);
std::int32_t StepNotchDetector2(NotchDetector2& detector, std::int32_t sample, int limit);

// The pair of the V.32 watch: notch sets 2400 and 800 Hz, on ratio 5, off ratio 2.
void InitNotchPair(NotchDetector& n2400, NotchDetector& n800);

}  // namespace pump
