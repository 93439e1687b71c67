// One direction of a point-to-point line at 8000 Hz, from the far end to the
// near end: what the near end hears at instant t is
//
//   gain x shift(G.711(far[t - delay])) + noise[t] + ERL x own[t - echo delay]
//
// where shift moves every frequency of the far signal by the direction's
// frequency offset (single sideband: the analytic signal from a 129-tap
// Hilbert transformer, turned by the offset's phasor, in double precision).
// A non-zero offset delays the far signal by kShiftDelaySamples more.
//
// With the two ends' sample clocks apart (clock_ratio, the far end's clock
// rate over the near end's), the near end's sample t hears the far signal at
// far instant clock_ratio x t - delay - kClockLeadSamples, between samples
// by a windowed-sinc interpolator of 2 x kClockHalfTaps taps (double
// precision). The lead lets a fast far clock run ahead of the bulk delay by
// up to kClockLeadSamples - kClockHalfTaps samples (a minute at 200 ppm)
// before causality ends the run; a clock ratio and a frequency offset do
// not combine (fatal).
//
// rounded and limited to 16 bits, or silence while the line is broken. The
// G.711 stage stands for the network's digital path, gain and noise for the
// analog loop, and the echo for the near end's own hybrid returning its own
// output.
//
// Far-end reflection: with `reflection_erl_db` the near end's hybrid also
// returns what arrives from the far end (gain x shift(G.711(far)), before
// noise) toward the far end, this far down; the line feeds those samples
// into the opposite direction (SendReflected), where they join the far
// signal and take that direction's impairments. A sender so hears its far
// echo after the round trip, through both directions' offsets. Only the far
// end's own signal is reflected, not reflections. Both delays are at least one sample, so what the near end hears at t
// depends only on what was sent up to t - 1: either end can be asked for its
// output up to a past instant without regard to the order the ends run in.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/line/g711.h"
#include "platform/line/gaussian_noise.h"
#include "platform/line/sample_window.h"

namespace plat::line {

struct LineDirectionConfig {
  double gain_db = 0.0;
  std::optional<double> noise_dbm0 = std::nullopt;  // white Gaussian noise at this level
  std::int64_t delay_samples = 1;                   // the bulk delay; at least 1
  Companding companding = Companding::kNone;
  std::optional<double> echo_erl_db =
      std::nullopt;  // the near end's hybrid returns its own output this far down
  std::int64_t echo_delay_samples = 1;  // at least 1
  // The near end returns what arrives from the far end toward it this far down.
  std::optional<double> reflection_erl_db = std::nullopt;
  bool far_end_reflects = false;        // set by the line: the far end's reflection joins the far signal
  double frequency_offset_hz = 0.0;     // the far signal's frequencies move by this
  double clock_ratio = 1.0;             // the far end's sample clock over the near end's
  std::uint64_t seed = 0;               // the simulation's seed
  std::uint64_t direction = 0;          // tells the two directions' noise apart
};

// The Hilbert transformer's half length: the delay a frequency offset adds.
inline constexpr std::int64_t kShiftDelaySamples = 64;
// The clock interpolator's half length, and the delay a clock ratio adds.
inline constexpr std::int64_t kClockHalfTaps = 16;
inline constexpr std::int64_t kClockLeadSamples = 128;

class LineDirection {
 public:
  // Fatal for a delay or echo delay below one sample.
  explicit LineDirection(const LineDirectionConfig& config);

  // The near end hears silence at instants [from, to): the line is broken.
  void AddBreak(std::int64_t from, std::int64_t to);
  // White Gaussian noise at `dbm0` (none: no noise) from the next instant
  // received on; the noise sequence runs on unchanged.
  void SetNoise(std::optional<double> dbm0);

  // The far end's next line output samples.
  void SendFar(std::span<const std::int16_t> samples);
  // The near end's own next line output samples, for its echo.
  void SendNear(std::span<const std::int16_t> samples);
  // The far end's reflection of what this direction's near end sends.
  void SendReflected(std::span<const std::int16_t> samples);
  std::int64_t far_sent() const { return far_.end(); }
  std::int64_t reflected_sent() const { return reflected_.end(); }
  std::int64_t near_sent() const { return near_.end(); }

  // Far-end samples needed before instants up to (not including) `end` can be
  // received; the same for the near end's own samples (0 without echo).
  std::int64_t FarSamplesNeeded(std::int64_t end) const;
  std::int64_t NearSamplesNeeded(std::int64_t end) const;

  // The next samples the near end hears; fatal when what they depend on has
  // not been sent yet.
  void Receive(std::span<std::int16_t> out);
  std::int64_t received() const { return received_; }

  // The near end's reflection toward the far end up to (not including)
  // instant `end`, taken once (empty without a reflection). Receive
  // reflects as far as it receives first, so what the reflection reads is
  // never dropped.
  void ReflectUntil(std::int64_t end);
  std::vector<std::int16_t> TakeReflection();
  std::int64_t reflected_until() const { return reflected_until_; }
  bool far_end_reflects() const { return far_end_reflects_; }

 private:
  struct Break {
    std::int64_t from;
    std::int64_t to;
  };

  // The far stream's sample at `index`, companded; with the far end's
  // reflection added when `reflection` says so.
  double FarSample(std::int64_t index, bool reflection) const;
  // The far signal arriving at instant t (shifted or clocked), before gain.
  double Arrived(std::int64_t t, bool reflection) const;
  // The far sample heard at instant t, shifted by the offset, before gain.
  double Far(std::int64_t t, bool reflection) const;
  // The far signal at far instant `at` (fractional), before gain.
  double FarBetween(double at, bool reflection) const;
  // The far instant the near end's instant t hears.
  double ClockedInstant(std::int64_t t) const;
  // Far samples kept behind the newest one read.
  std::int64_t FarHistory() const;

  std::int64_t delay_;
  std::int64_t echo_delay_;
  Companding companding_;
  double offset_radians_;        // per sample; 0: no shift
  double clock_ratio_;
  std::vector<double> sinc_;  // kClockPhases + 1 phases of 2 x kClockHalfTaps taps
  std::vector<double> hilbert_;  // taps for lags 0 .. 2 x kShiftDelaySamples
  std::int64_t gain_q16_;
  std::optional<std::int64_t> echo_q16_;
  std::optional<double> reflection_gain_;  // amplitude, with the direction's gain
  bool far_end_reflects_ = false;
  std::optional<double> noise_rms_q16_;
  GaussianNoise noise_;
  SampleWindow far_;
  SampleWindow near_;
  SampleWindow reflected_;  // the far end's reflection, aligned with far_
  std::vector<std::int16_t> reflection_out_;
  std::int64_t reflected_until_ = 0;
  std::vector<Break> breaks_;
  std::int64_t received_ = 0;
};

}  // namespace plat::line
