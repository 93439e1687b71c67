// The spectral tone classifier: a 64-point FFT of each block, averaged bin
// powers, the two strongest peaks matched against a table of single tones
// and tone pairs, and the duration of the matched tone. A tone whose
// duration lay within its entry's limits is reported when it ends, with
// DP_TONE_DETECTION_RESULTS {0x80 + id}.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace pump {

struct DspContext;
struct VoiceResources;

struct ToneClassifierEntry {
  std::int32_t id;
  std::int32_t f1, f2;          // Hz; f2 0 for a single tone
  std::int32_t min_ms, max_ms;  // reported when strictly between
};

inline constexpr std::array<ToneClassifierEntry, 8> kToneClassifierTable = {{
    {0, 1375, 2002, 200, 500},
    {1, 1529, 2225, 200, 500},
    {2, 650, 0, 50, 350},
    {3, 1150, 0, 50, 350},
    {4, 400, 0, 50, 350},
    {5, 1900, 0, 50, 350},
    {6, 980, 0, 50, 350},
    {7, 1650, 0, 50, 350},
}};

static_assert(
    [] {
      for (std::size_t i = 0; i < kToneClassifierTable.size(); ++i) {
        if (kToneClassifierTable[i].id != static_cast<std::int32_t>(i)) return false;
      }
      return true;
    }(),
    "an entry's id is its index");

inline constexpr int kToneClassifierBins = 32;  // of 150 Hz each
inline constexpr std::uint8_t kToneReportBase = 0x80;

struct ToneClassifier {
  std::int32_t power[kToneClassifierBins];  // averaged bin powers
  std::int32_t id;                          // of the tone being matched, -1 none
  std::int16_t duration_ms;
  std::uint8_t unsent;  // a report the packet area refused, 0 when none
};

// No tone, no spectrum, nothing to report.
void ResetToneClassifier(ToneClassifier& classifier);

// One block (at least 64 samples; the first 64 are analysed): the report due
// at this block (0x80 + id), 0 when none. Without the voice resources' FFT,
// or on fewer samples, nothing changes.
std::uint8_t ClassifyTones(ToneClassifier& classifier, const VoiceResources& voice,
                           std::span<const std::int32_t> samples);

// ClassifyTones on the context's classifier and FFT, posting the report. A
// report the packet area refuses is posted on a later block (a newer report
// takes the place of one still waiting).
void RunToneClassifier(DspContext& context, std::span<const std::int32_t> samples);

}  // namespace pump
