#include "pump/detect/tone_classifier.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "pump/context/dsp_context.h"
#include "pump/core/host_transfer.h"
#include "pump/detect/saturate.h"
#include "pump/packets/dp_packets.h"
#include "siglib/qvls.h"

namespace pump {
namespace {

constexpr int kFftPoints = 64;
constexpr std::int32_t kFftScale = 4;
constexpr std::int32_t kBinHz = 150;
constexpr std::int64_t kPeakFloor = 50;
constexpr std::int32_t kMatchHz = 100;
constexpr std::int16_t kLongestMs = 32000;

using Bins = std::array<std::int64_t, kToneClassifierBins>;

// The bin powers of the first 64 samples, (re^2 + im^2) >> 8; false when the
// transform failed.
bool BinPowers(const VoiceResources& voice, std::span<const std::int32_t> samples, Bins& p) {
  std::array<std::int16_t, kFftPoints> input;
  std::transform(samples.begin(), samples.begin() + kFftPoints, input.begin(),
                 [](std::int32_t x) { return Saturate16(x); });
  // Bins 0 to 32, (re, im) each.
  std::array<std::int16_t, kFftPoints + 2> spectrum;
  if (qvlsFFTFwd_i16_sc(input.data(), spectrum.data(), voice.fft, kFftScale, voice.fft_work) !=
      QVLS_OK) {
    return false;
  }
  for (int i = 0; i < kToneClassifierBins; ++i) {
    const std::int64_t re = spectrum[2 * i];
    const std::int64_t im = spectrum[2 * i + 1];
    p[i] = (re * re + im * im) >> 8;
  }
  return true;
}

// The three-bin sum centred on bin i.
template <class T>
std::int64_t Sum3(const T* power, int i) {
  return std::int64_t{power[i - 1]} + power[i] + power[i + 1];
}

// The centroid of the three bins around i, in Hz.
std::int32_t PeakHz(const std::int32_t* power, int i) {
  const std::int64_t weighted = std::int64_t{i - 1} * power[i - 1] + std::int64_t{i} * power[i] +
                                std::int64_t{i + 1} * power[i + 1];
  return static_cast<std::int32_t>(weighted * kBinHz / Sum3(power, i));
}

// Two peaks of the averaged spectrum: the bins their sums centre on (-1
// for none) and their frequencies (0 for none).
struct Peaks {
  int bin1 = -1, bin2 = -1;
  std::int32_t f1 = 0, f2 = 0;
};

Peaks FindPeaks(const std::int32_t* power) {
  constexpr int kFirst = 1;
  constexpr int kLast = kToneClassifierBins - 2;
  int first = kFirst;
  for (int i = kFirst; i <= kLast; ++i) {
    if (Sum3(power, i) > Sum3(power, first)) first = i;
  }
  // The second is a peak of its own: at least two bins away, and a sum
  // above the one before it and not below the one after it (a sum on the
  // flank of the first peak still holds its strongest bin).
  int second = -1;
  for (int i = kFirst; i <= kLast; ++i) {
    if (std::abs(i - first) < 2) continue;
    if (i > kFirst && Sum3(power, i) <= Sum3(power, i - 1)) continue;
    if (i < kLast && Sum3(power, i) < Sum3(power, i + 1)) continue;
    if (second < 0 || Sum3(power, i) > Sum3(power, second)) second = i;
  }
  Peaks peaks;
  const std::int64_t s1 = Sum3(power, first);
  if (s1 <= kPeakFloor) return peaks;
  peaks.bin1 = first;
  peaks.f1 = PeakHz(power, first);
  if (second >= 0) {
    const std::int64_t s2 = Sum3(power, second);
    if (s2 > kPeakFloor && 4 * s2 >= s1) {
      peaks.bin2 = second;
      peaks.f2 = PeakHz(power, second);
    }
  }
  return peaks;
}

// Whether this block's own spectrum still holds the averaged peaks: at
// each, at least a quarter of the averaged sum. The average takes many
// blocks to forget a tone; without this a tone would last as long again
// as its average decays, and that tail would count as the tone's duration.
bool Carried(const Peaks& peaks, const std::int32_t* average, const Bins& block) {
  for (const int bin : {peaks.bin1, peaks.bin2}) {
    if (bin >= 0 && 4 * Sum3(block.data(), bin) < Sum3(average, bin)) return false;
  }
  return true;
}

bool Near(std::int32_t a, std::int32_t b) { return std::abs(a - b) < kMatchHz; }

std::int32_t Match(const Peaks& peaks) {
  for (const ToneClassifierEntry& e : kToneClassifierTable) {
    if ((Near(e.f1, peaks.f1) && Near(e.f2, peaks.f2)) ||
        (Near(e.f1, peaks.f2) && Near(e.f2, peaks.f1))) {
      return e.id;
    }
  }
  return -1;
}

}  // namespace

void ResetToneClassifier(ToneClassifier& classifier) {
  classifier = {};
  classifier.id = -1;
}

std::uint8_t ClassifyTones(ToneClassifier& c, const VoiceResources& voice,
                           std::span<const std::int32_t> samples) {
  if (voice.fft == nullptr || samples.size() < kFftPoints) return 0;
  Bins p;
  if (!BinPowers(voice, samples, p)) return 0;
  for (int i = 0; i < kToneClassifierBins; ++i) {
    c.power[i] = Saturate32(c.power[i] + (p[i] - c.power[i]) / 3);
  }
  const Peaks peaks = FindPeaks(c.power);
  const std::int32_t id = Carried(peaks, c.power, p) ? Match(peaks) : -1;

  std::uint8_t report = 0;
  if (id != c.id) {
    if (c.id >= 0 && c.id < static_cast<std::int32_t>(kToneClassifierTable.size())) {
      const ToneClassifierEntry& last = kToneClassifierTable[c.id];
      if (c.duration_ms > last.min_ms && c.duration_ms < last.max_ms) {
        report = static_cast<std::uint8_t>(kToneReportBase + c.id);
      }
    }
    c.duration_ms = 0;
    c.id = id;
  }
  if (id >= 0) {
    const std::int64_t block_ms = (static_cast<std::int64_t>(samples.size()) * 10 + 48) / 96;
    c.duration_ms =
        static_cast<std::int16_t>(std::min<std::int64_t>(c.duration_ms + block_ms, kLongestMs));
  }
  return report;
}

void RunToneClassifier(DspContext& context, std::span<const std::int32_t> samples) {
  ToneClassifier& c = context.detectors.tone_classifier;
  const auto post = [&](std::uint8_t result) {
    const DpPacketBytes packet = BuildDpPacket(DpToneDetectionPayload{result});
    return PostDpPacket(*context.host, packet.code, packet.Payload());
  };
  if (c.unsent != 0 && post(c.unsent)) c.unsent = 0;
  const std::uint8_t report = ClassifyTones(c, context.resources.voice, samples);
  if (report != 0 && (c.unsent != 0 || !post(report))) c.unsent = report;
}

}  // namespace pump
