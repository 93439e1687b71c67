// The start-up tone detectors at 7200 Hz: AA and CC (1800 Hz) by one notch,
// AC and CA (600 and 3000 Hz together) by two notches in series; each fires
// when the tone has held its notch ratio for the caller's window of samples.
// The tone path runs them behind their own gain control, so that a weak
// line gives them the same level as a strong one.
#pragma once

#include <cstdint>

#include "pump/detect/coefficients.h"
#include "pump/detect/notch_detector.h"
#include "pump/v32/agc.h"

namespace pump::v32 {

// Notches {b0, b1, b2, a1, a2}: zeros on the unit circle at the tone, poles
// at radius 0.9 (b1 = -2 cos w, a1 = 2 r cos w, a2 = -r^2, times 32767).
inline constexpr NotchSet kNotch1800{1800, 7200, {32767, 0, 32767, 0, -26541}};
inline constexpr NotchSet kNotch600{600, 7200, {32767, -56754, 32767, 51079, -26541}};
inline constexpr NotchSet kNotch3000{3000, 7200, {32767, 56754, 32767, -51079, -26541}};

inline constexpr int kToneOnRatio = 3;
inline constexpr int kToneOffRatio = 1;

struct ToneDetectors {
  NotchDetector carrier;    // AA, CC
  NotchDetector2 sidebands; // AC, CA
};

void InitToneDetectors(ToneDetectors& d);

struct ToneResult {
  bool carrier = false;
  bool sidebands = false;
};

// One line sample; either detector reports once its tone has held for
// `window` samples (and then counts afresh).
ToneResult StepToneDetectors(ToneDetectors& d, std::int16_t sample, int window);

struct TonePath {
  Agc agc{.target = kToneAgcTarget};
  ToneDetectors detectors;
};

void InitTonePath(TonePath& path);

// One line sample: scaled by the tone path's gain (which adapts every
// sample), then through the detectors.
ToneResult TonePathStep(TonePath& path, std::int16_t sample, int window);

}  // namespace pump::v32
