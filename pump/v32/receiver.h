// The V.32/V.32bis receiver core at 7200 Hz: the Hilbert front end and the
// quarter-rate demodulation, S and S-bar detection, a fractionally spaced
// complex equaliser (48 taps half a symbol apart) trained on TRN, a
// decision-directed carrier loop, a cubic interpolator between the front end
// and the equaliser steered by the band-edge timing loop, the slicers and the Viterbi decoder,
// differential decoding and the descrambler; the rate word and E between
// training and data.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "pump/v32/agc.h"
#include "pump/v32/baseband.h"
#include "pump/v32/rate_words.h"
#include "pump/v32/scrambler.h"
#include "pump/v32/signal_sets.h"
#include "pump/v32/timing.h"
#include "pump/v32/timing_loop.h"
#include "pump/v32/tone_detectors.h"
#include "pump/v32/viterbi.h"

namespace pump::v32 {

// Hilbert coefficients on every second sample of the 19-sample ring (oldest first).
inline constexpr std::array<std::int32_t, 10> kHilbertTaps = {-478,  -1290, -2804, -6061, -20551,
                                                             20551, 6061,  2804,  1290,  478};

struct FrontEnd {
  std::array<std::int16_t, 19> ring{};
  std::uint32_t quarter = 0;
};

// One line sample in, one baseband sample out (delayed by nine samples).
Complex FrontEndStep(FrontEnd& f, std::int16_t x);

inline constexpr int kEqualiserTaps = 48;

enum class RxStage : std::uint8_t { kWaitS, kInS, kSbar, kTrain, kRateWord, kAwaitE, kData };

struct ReceiverConfig {
  Polynomial far_polynomial = Polynomial::kCaller;  // the far transmitter's scrambler
  std::int32_t trn2_symbols = 256;
  std::int32_t trn4_symbols = 1024;
};

// Taps of the phase-jitter predictor: the last 120 symbols' phases.
inline constexpr int kJitterTaps = 120;

struct Receiver {
  ReceiverConfig config;
  FrontEnd front;
  RxStage stage = RxStage::kWaitS;
  TimingInstant timing;
  TimingLoop timing_loop;
  std::array<Complex, 2 * kEqualiserTaps> line{};  // doubled delay line
  std::uint32_t line_pos = 0;
  std::array<std::int64_t, kEqualiserTaps> tap_re{};  // 1.0 = 2^24
  std::array<std::int64_t, kEqualiserTaps> tap_im{};
  std::array<Complex, 6> recent{};  // baseband samples for the S correlation
  std::array<std::int64_t, 6> products{};  // z[n] z*[n-6] of the last six samples
  std::array<std::int64_t, 6> powers{};
  std::uint32_t product_index = 0;
  std::int64_t correlation = 0;  // their sums
  std::int64_t power = 0;
  Agc agc;  // on the baseband path
  TonePath tone;  // the start-up tones' gain and detectors (a connection's first states)
  std::int32_t count = 0;         // samples or symbols in the stage
  std::uint32_t sample_phase = 0; // of the interpolated outputs, 0 or 1; a symbol is decided at 0
  std::int32_t symbol = 0;        // symbols since the start of TRN
  std::uint32_t carrier = 0;      // 27-bit phase
  std::int32_t frequency = 0;
  Scrambler reference;            // TRN reference: the far scrambler from zero
  Scrambler descrambler;
  std::uint8_t previous_pair = 0;
  Viterbi viterbi;
  RateWordDetector words;
  std::uint16_t rate_word = 0;  // the confirmed rate word
  std::uint16_t e_word = 0;
  DataRate rate = DataRate::k4800;  // from E
  std::int64_t error_average = 0;
  std::int32_t ones_left = 128;
  // The phase-jitter predictor.
  std::array<std::int64_t, kJitterTaps> jitter_history{};  // phase around its mean, newest at jitter_pos
  std::array<std::int64_t, kJitterTaps> jitter_taps{};     // 1.0 = 2^24
  std::uint32_t jitter_pos = 0;
  std::int64_t jitter_power = 0;  // sum of the history's squares
  std::int64_t jitter_mean = 0;   // 2^6 finer
  std::int64_t prediction = 0;   // phase added to the carrier's for this symbol
};

void ResetReceiver(Receiver& r, const ReceiverConfig& config);

struct RxOutput {
  std::uint32_t bits;
  int count;
};

// One line sample; returns the bits of a symbol once data is delivered.
std::optional<RxOutput> ReceiverStep(Receiver& r, std::int16_t x);

}  // namespace pump::v32
