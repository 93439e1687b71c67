#include "pump/detect/band_classifier.h"

#include <algorithm>
#include <array>

#include "pump/context/dsp_context.h"
#include "pump/detect/saturate.h"
#include "siglib/qvls.h"

namespace pump {
namespace {

constexpr int kBlock = 96;
constexpr int kWindow = 80;
constexpr int kFftPoints = 64;
constexpr std::int32_t kFftScale = 6;
constexpr int kOffsets[] = {0, 16};
constexpr std::int32_t kQuietPeakToPeak = 1400;
constexpr std::int16_t kCallsPerDecision = 51;
constexpr std::int32_t kAverageLength = 50;
constexpr int kLowFirst = 1, kLowLast = 7;      // 150-1050 Hz
constexpr int kHighFirst = 10, kHighLast = 24;  // 1500-3600 Hz
constexpr std::int16_t kStarted = 2;
constexpr std::int16_t kStopped = 3;
constexpr std::int16_t kNoResult = 3;

bool Quiet(const std::int16_t* block) {
  std::int16_t high = 0;
  std::int16_t low = 0;
  if (qvlsMax_i16(block, kWindow, &high) != QVLS_OK ||
      qvlsMin_i16(block, kWindow, &low) != QVLS_OK) {
    return true;
  }
  return std::int32_t{high} - low < kQuietPeakToPeak;
}

// Both spectra into the averages; false when the library refused a step.
bool Accumulate(BandClassifier& c, const VoiceResources& voice, const std::int16_t* block) {
  for (const int offset : kOffsets) {
    std::array<std::int16_t, kWindow> windowed;
    // Bins 0 to 32, (re, im) each.
    std::array<std::int16_t, kFftPoints + 2> spectrum;
    if (qvlsWinHann_i16(block + offset, windowed.data(), kWindow) != QVLS_OK ||
        qvlsFFTFwd_i16_sc(windowed.data(), spectrum.data(), voice.fft, kFftScale, voice.fft_work) !=
            QVLS_OK) {
      return false;
    }
    for (int i = 0; i < kBandClassifierBins; ++i) {
      const std::int64_t re = spectrum[2 * i];
      const std::int64_t im = spectrum[2 * i + 1];
      c.average[i] = Saturate32(c.average[i] - c.average[i] / kAverageLength + re * re + im * im);
    }
  }
  return true;
}

std::int64_t Sum(const BandClassifier& c, int first, int last) {
  std::int64_t sum = 0;
  for (int i = first; i <= last; ++i) sum += c.average[i];
  return sum;
}

void Clear(BandClassifier& c) {
  std::fill(std::begin(c.average), std::end(c.average), 0);
  c.count = 0;
}

}  // namespace

std::int32_t ClassifyBand(BandClassifier& c, const VoiceResources& voice,
                          std::span<const std::int16_t> samples) {
  std::array<std::int16_t, kBlock> block{};
  std::copy_n(samples.begin(), std::min<std::size_t>(samples.size(), kBlock), block.begin());
  c.result = kNotBroadband;
  if (Quiet(block.data())) {
    c.last_class = kNotBroadband;
    return kNotBroadband;
  }
  if (voice.fft == nullptr || !Accumulate(c, voice, block.data())) return kNotBroadband;
  if (++c.count >= kCallsPerDecision) {
    c.count = 0;
    const std::int64_t low = Sum(c, kLowFirst, kLowLast);
    const std::int64_t high = Sum(c, kHighFirst, kHighLast);
    c.last_class = low / 4 < high ? kBroadband : kNotBroadband;
  }
  // Before the first decision of a classifier never started, not broadband.
  const std::int32_t decided = c.last_class == kBroadband ? kBroadband : kNotBroadband;
  c.result = static_cast<std::int16_t>(decided);
  return decided;
}

void StartBandClassifier(DspContext& context) {
  BandClassifier& c = context.detectors.band_classifier;
  Clear(c);
  c.enable = kStarted;
  c.result = kNoResult;
  c.last_class = kNotBroadband;
}

void StopBandClassifier(DspContext& context) {
  BandClassifier& c = context.detectors.band_classifier;
  Clear(c);
  c.enable = kStopped;
}

}  // namespace pump
