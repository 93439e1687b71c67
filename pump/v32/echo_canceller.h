// The V.32 echo canceller: the history of our own transmitted symbols
// (each turned by the carrier phase at which it was sent), a near set of
// taps for the hybrid's echo and a far set for the echo that comes back
// from the far end after the round trip. The far estimate is turned by a
// rotator whose frequency and phase follow the far echo's carrier offset
// (a second-order loop on the phase between the far echo heard and the one
// estimated). The taps model the signal that cancels the echo: the
// receiver's sample is the line sample plus the estimate.
#pragma once

#include <array>
#include <cstdint>

#include "pump/v32/baseband.h"
#include "pump/v32/signal_sets.h"

namespace pump::v32 {

inline constexpr std::uint32_t kEchoHistoryEntries = 8192;  // two per symbol: 4096 symbols
inline constexpr std::uint32_t kEchoIndexMask = kEchoHistoryEntries - 1;
inline constexpr int kEchoTaps = 32;  // symbols spanned by each set, per sample phase
inline constexpr int kEchoPhases = 3;

// Steps of the tap adaptation (Q15, negative: the taps move against the error).
inline constexpr std::int32_t kEchoStepTraining = -8192;
inline constexpr std::int32_t kEchoStepSettling = -4096;
// The far rotator's loop gains (Q31 on a phase of 2^32 a turn): while the
// taps train, then in data (the frequency held).
inline constexpr std::int32_t kFarPhaseGainTraining = 0x200000;
inline constexpr std::int32_t kFarFrequencyGainTraining = 0x800;
inline constexpr std::int32_t kFarPhaseGainData = 0x40000;
// A far-echo frequency below this at the end of training (about 0.2 Hz, in
// 2^32 a turn per sample at 7200 Hz) is taken as no offset at all.
inline constexpr std::int32_t kFarFrequencyFloor = 0x1E000;

// One set of taps: per sample phase 32 complex taps, real and imaginary
// interleaved; the high 16 bits are the Q15 value.
using EchoTapSet = std::array<std::array<std::int32_t, 2 * kEchoTaps>, kEchoPhases>;

struct FarRotator {
  std::int32_t phase = 0;      // 2^32 a turn
  std::int32_t frequency = 0;  // added to the phase each sample
  std::int32_t frequency_gain = 0;
  std::int32_t phase_gain = 0;
};

struct EchoCanceller {
  std::array<std::int32_t, kEchoHistoryEntries> history{};  // real, imaginary per symbol
  std::uint32_t newest = 0;      // entry of the newest symbol's real part
  std::uint32_t near_delay = 0;  // entries from the newest symbol to the near taps' first
  std::uint32_t far_delay = 0;   // and to the far taps' first
  EchoTapSet near_taps{};
  EchoTapSet far_taps{};
  std::int32_t near_step = 0;
  std::int32_t far_step = 0;
  FarRotator rotator;
  // The current symbol's three samples: the cancelling estimate, the far
  // part of it (complex), the error each left.
  std::array<std::int16_t, kEchoPhases> estimate{};
  std::array<Complex, kEchoPhases> far_estimate{};
  std::array<std::int32_t, kEchoPhases> error{};
  std::int32_t turn_cos = 32767;  // the rotator's turn while this symbol's estimates were formed
  std::int32_t turn_sin = 0;
  // Far-echo phase measurement: the errors for the Hilbert pair and the
  // far estimates of the last nine samples (the pair's delay).
  std::array<std::int16_t, 19> error_ring{};
  std::array<Complex, 9> far_ring{};
  std::uint32_t far_ring_next = 0;
  std::int64_t far_power = 0;
  std::int64_t far_power_average = 0;  // 1/256 each estimate
  std::uint8_t adapt = 0;
  std::uint8_t output_enabled = 0;
};

// Clears taps, histories and loops; the near taps start `near_delay`
// entries (even) behind the newest symbol, the far taps there too until the
// round trip is measured. Output disabled, steps 0.
void ResetEchoCanceller(EchoCanceller& ec, std::uint32_t near_delay, bool adapt);
// The far taps start `far_delay` entries (even) behind the newest symbol.
void SetFarEchoDelay(EchoCanceller& ec, std::uint32_t far_delay);
void SetEchoSteps(EchoCanceller& ec, std::int32_t near_step, std::int32_t far_step);
void SetFarLoopGains(EchoCanceller& ec, std::int32_t frequency_gain, std::int32_t phase_gain);
// The end of training: steps 0, the rotator on its data gains, and a
// frequency below the floor cleared with the far step (the phase the far
// taps trained against stays, or the far estimate would turn away).
void EndEchoTraining(EchoCanceller& ec);

// A transmitted symbol, sent from carrier phase `carrier` (27 bits a turn),
// into the history; then the estimates of the three samples it starts.
void PushEchoSymbol(EchoCanceller& ec, Point symbol, std::uint32_t carrier);
// The received sample of sample phase 0..2: the error is kept (and tracks
// the far echo's phase); returns the error when the output is enabled,
// else the sample itself.
std::int16_t CancelEcho(EchoCanceller& ec, int phase, std::int16_t sample);
// Moves the taps by the three errors of the symbol (when adapting).
void AdaptEcho(EchoCanceller& ec);

// The angle of (dot, cross) in 2^32 a turn, by the arctangent series
// x - 0.3318 x^3 + 0.1845 x^5 - 0.0794 x^7 on the smaller ratio.
std::int32_t PhaseOf(std::int64_t dot, std::int64_t cross);

}  // namespace pump::v32
