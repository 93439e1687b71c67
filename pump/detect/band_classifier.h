// The band classifier: whether the line carries broadband sound (class 1)
// or not (class 2: quiet, or its energy below 1050 Hz). Each call analyses
// 96 samples as two Hann-windowed 64-point spectra at offsets 0 and 16,
// averages the powers of bins 0-24 (150 Hz each), and every 51st analysed
// call decides from them; in between it answers its last decision. The
// call-progress filter bank uses it to veto its tone reports.
#pragma once

#include <cstdint>
#include <span>

namespace pump {

struct DspContext;
struct VoiceResources;

inline constexpr int kBandClassifierBins = 25;
inline constexpr std::int32_t kBroadband = 1;
inline constexpr std::int32_t kNotBroadband = 2;

struct BandClassifier {
  std::int32_t average[kBandClassifierBins];
  std::int16_t count;  // analysed calls since the last decision
  std::int32_t last_class;
  std::int16_t enable;  // 2 started, 3 stopped
  std::int16_t result;  // of the latest call; 3 until the first
};

// The first 96 samples (fewer are taken as padded with zeros): 1 or 2. A
// peak-to-peak below 1400 over the first 80 is quiet: class 2 at once, and
// the last decision becomes 2. Without the voice resources' FFT, or when the
// library refuses a step, the call answers 2 and changes nothing else.
std::int32_t ClassifyBand(BandClassifier& classifier, const VoiceResources& voice,
                          std::span<const std::int16_t> samples);

// The context's classifier: started (enable 2, result 3, last class 2) or
// stopped (enable 3); both clear the averages and the call count.
void StartBandClassifier(DspContext& context);
void StopBandClassifier(DspContext& context);

}  // namespace pump
