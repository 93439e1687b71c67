#include "pump/v32/tone_detectors.h"

namespace pump::v32 {

void InitToneDetectors(ToneDetectors& d) {
  InitNotchDetector(d.carrier, kNotch1800, kToneOnRatio, kToneOffRatio);
  InitNotchDetector2(d.sidebands, kNotch600, kNotch3000, kToneOnRatio, kToneOffRatio);
}

ToneResult StepToneDetectors(ToneDetectors& d, std::int16_t sample, int window) {
  return {StepNotchDetector(d.carrier, sample, window) != 0, StepNotchDetector2(d.sidebands, sample, window) != 0};
}

}  // namespace pump::v32
