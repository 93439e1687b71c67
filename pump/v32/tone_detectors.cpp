#include "pump/v32/tone_detectors.h"

namespace pump::v32 {

void InitToneDetectors(ToneDetectors& d) {
  InitNotchDetector(d.carrier, kNotch1800, kToneOnRatio, kToneOffRatio);
  InitNotchDetector2(d.sidebands, kNotch600, kNotch3000, kToneOnRatio, kToneOffRatio);
}

ToneResult StepToneDetectors(ToneDetectors& d, std::int16_t sample, int window) {
  return {StepNotchDetector(d.carrier, sample, window) != 0, StepNotchDetector2(d.sidebands, sample, window) != 0};
}

void InitTonePath(TonePath& path) {
  path = TonePath{};
  InitToneDetectors(path.detectors);
}

ToneResult TonePathStep(TonePath& path, std::int16_t sample, int window) {
  const Complex scaled = AgcStep(path.agc, {sample, 0});
  AgcAdapt(path.agc);
  return StepToneDetectors(path.detectors, static_cast<std::int16_t>(scaled.re), window);
}

}  // namespace pump::v32
