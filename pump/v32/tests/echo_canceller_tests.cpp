// The echo canceller on a synthetic echo path: our transmitter's samples
// return through a known FIR (the hybrid) and, delayed by the round trip,
// frequency-shifted in double precision (the far echo); the canceller trains
// on the step schedule and is then measured with its taps frozen.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <deque>
#include <random>
#include <vector>

#include "pump/v32/echo_canceller.h"
#include "pump/v32/transmitter.h"

namespace pump::v32 {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSampleRate = 7200.0;

// The analytic signal of a real stream: a Blackman-windowed Hilbert FIR of
// 50 samples a side, the real part delayed to match.
class AnalyticStream {
 public:
  AnalyticStream() : taps_(2 * kSide + 1, 0.0), ring_(2 * kSide + 1, 0.0) {
    for (int k = 1; k <= kSide; k += 2) {
      const double w = 0.42 + 0.5 * std::cos(kPi * k / (kSide + 1)) + 0.08 * std::cos(2 * kPi * k / (kSide + 1));
      taps_[kSide + k] = 2.0 / (kPi * k) * w;
      taps_[kSide - k] = -taps_[kSide + k];
    }
  }
  // Returns the analytic value kSide samples late.
  std::complex<double> Step(double x) {
    ring_.pop_front();
    ring_.push_back(x);
    double q = 0;
    for (std::size_t k = 0; k < taps_.size(); ++k) q += taps_[k] * ring_[taps_.size() - 1 - k];
    return {ring_[kSide], q};
  }
  static constexpr int kSide = 50;

 private:
  std::vector<double> taps_;
  std::deque<double> ring_;
};

struct EchoPath {
  std::vector<double> near_fir;  // the hybrid's response, after near_delay samples
  int near_delay;                // samples
  int far_delay;                 // samples of round trip (the Hilbert's 50 included)
  double far_gain;
  double far_offset_hz;
};

// Transmits random training symbols through our modulator into the echo
// path; the canceller follows the symbols and cancels the echo.
class EchoRig {
 public:
  explicit EchoRig(const EchoPath& path) : path_(path), tx_(1 << 14, 0.0) {}

  // One symbol: modulated, its symbol into the canceller, the three echo
  // samples through it, the echo's and the residual's energies summed.
  void Symbol(EchoCanceller& ec, bool adapt_now) {
    const Point symbol = kFourPointSet[random_() & 3];
    const std::uint32_t carrier = modulator_.carrier;
    std::int16_t out[3];
    ModulateSymbol(modulator_, symbol, std::span<std::int16_t, 3>(out, 3));
    PushEchoSymbol(ec, symbol, carrier);
    for (int p = 0; p < 3; ++p) {
      tx_[n_ & kMask] = out[p];
      const double echo = NearEcho() + FarEcho();
      const auto x = static_cast<std::int16_t>(std::lround(echo));
      const std::int16_t residual = CancelEcho(ec, p, x);
      echo_energy += echo * echo;
      residual_energy += static_cast<double>(residual) * residual;
      ++n_;
    }
    if (adapt_now) AdaptEcho(ec);
  }

  double echo_energy = 0;
  double residual_energy = 0;

 private:
  static constexpr std::size_t kMask = (1 << 14) - 1;

  double Tx(std::size_t back) const { return back > n_ ? 0.0 : tx_[(n_ - back) & kMask]; }

  double NearEcho() const {
    double y = 0;
    for (std::size_t j = 0; j < path_.near_fir.size(); ++j) y += path_.near_fir[j] * Tx(path_.near_delay + j);
    return y;
  }

  // The far echo: the transmitted stream's analytic value turned by the
  // offset, its real part, after the round trip.
  double FarEcho() {
    const std::complex<double> a = analytic_.Step(Tx(path_.far_delay - AnalyticStream::kSide));
    const double turn = 2 * kPi * path_.far_offset_hz * static_cast<double>(n_) / kSampleRate;
    return path_.far_gain * (a * std::polar(1.0, turn)).real();
  }

  EchoPath path_;
  std::vector<double> tx_;
  std::size_t n_ = 0;
  Modulator modulator_;
  AnalyticStream analytic_;
  std::mt19937 random_{2024};
};

double FrequencyHz(const EchoCanceller& ec) {
  return ec.rotator.frequency * kSampleRate / 4294967296.0;
}

double EnhancementDb(const EchoRig& rig) { return 10 * std::log10(rig.echo_energy / rig.residual_energy); }

// The hybrid: about 9 dB of return loss spread over a few samples.
const std::vector<double> kHybrid = {0.22, -0.14, 0.09, -0.05, 0.03, 0.02};

// The step schedule of a training of `symbols`: -8192, then -4096 from
// 2080 symbols on, then frozen; the rotator's training gains throughout
// (or no rotator at all).
void Train(EchoRig& rig, EchoCanceller& ec, int symbols, bool track = true) {
  if (track) SetFarLoopGains(ec, kFarFrequencyGainTraining, kFarPhaseGainTraining);
  ec.output_enabled = 1;
  for (int s = 0; s < symbols; ++s) {
    if (s == 0) SetEchoSteps(ec, kEchoStepTraining, kEchoStepTraining);
    if (s == 2080) SetEchoSteps(ec, kEchoStepSettling, kEchoStepSettling);
    rig.Symbol(ec, true);
  }
  EndEchoTraining(ec);
}

struct EchoCase {
  double far_delay_ms;
  double far_offset_hz;
  double far_gain;
};

// Trains on the schedule, then returns the enhancement over a second of
// "data" with the taps frozen.
double TrainedEnhancementDb(const EchoCase& c, EchoCanceller& ec, bool track) {
  const int far_delay = static_cast<int>(c.far_delay_ms * kSampleRate / 1000);
  EchoRig rig({kHybrid, 4, far_delay, c.far_gain, c.far_offset_hz});
  ResetEchoCanceller(ec, 0, true);
  // The far taps' span starts a symbol ahead of the round trip.
  SetFarEchoDelay(ec, 2 * static_cast<std::uint32_t>(far_delay / 3 - 1));
  Train(rig, ec, 8164, track);
  if (!track) SetFarLoopGains(ec, 0, 0);
  rig.echo_energy = rig.residual_energy = 0;
  for (int s = 0; s < 2400; ++s) rig.Symbol(ec, true);
  return EnhancementDb(rig);
}

// Near echo at about 9 dB and a far echo 10 to 80 ms late, shifted by up
// to 3 Hz: after the TRN4-long schedule the rotator holds the offset within
// 0.1 Hz, and with the taps frozen a second of "data" keeps the echo at
// least 40 dB down.
TEST(V32EchoCanceller, CancelsNearAndFarEchoAndTracksTheFarOffset) {
  const EchoCase cases[] = {
      {10, 1.5, 0.1},
      {40, -3.0, 0.2},
      {80, 2.0, 0.05},
  };
  for (const EchoCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.far_delay_ms << " ms, " << c.far_offset_hz << " Hz");
    EchoCanceller ec;
    const double erle = TrainedEnhancementDb(c, ec, true);
    std::printf("echo return loss enhancement %.1f dB (far %.0f ms, %+.1f Hz), far estimate %+.3f Hz\n", erle,
                c.far_delay_ms, c.far_offset_hz, FrequencyHz(ec));
    EXPECT_NEAR(FrequencyHz(ec), c.far_offset_hz, 0.1);
    EXPECT_GT(erle, 40.0);
  }
}

// The rotator is what holds the far echo in data: taps trained without it
// follow the shifted far echo only while they adapt, and once frozen lose it.
TEST(V32EchoCanceller, WithoutTheRotatorTheFarEchoReturns) {
  EchoCanceller ec;
  const double erle = TrainedEnhancementDb({40, -3.0, 0.2}, ec, false);
  std::printf("echo return loss enhancement %.1f dB without the far rotator\n", erle);
  EXPECT_LT(erle, 20.0);
}

// A far offset under the 0x1E000 floor (about 0.2 Hz) is dropped at the
// end of training: no frequency, no far step; above it, it is kept.
TEST(V32EchoCanceller, ClearsAFarOffsetBelowTheFloor) {
  struct Row {
    double offset_hz;
    bool kept;
  };
  for (const Row row : {Row{0.1, false}, Row{0.5, true}}) {
    SCOPED_TRACE(row.offset_hz);
    EchoRig rig({kHybrid, 4, 288, 0.1, row.offset_hz});
    EchoCanceller ec;
    ResetEchoCanceller(ec, 0, true);
    SetFarEchoDelay(ec, 2 * (288 / 3 - 1));
    Train(rig, ec, 8164);
    if (row.kept) {
      EXPECT_NEAR(FrequencyHz(ec), row.offset_hz, 0.1);
    } else {
      EXPECT_EQ(ec.rotator.frequency, 0);
      EXPECT_EQ(ec.far_step, 0);
    }
    EXPECT_EQ(ec.near_step, 0);
    EXPECT_EQ(ec.rotator.phase_gain, kFarPhaseGainData);
    EXPECT_EQ(ec.rotator.frequency_gain, 0);
  }
}

// Until the output is enabled the receiver gets the line sample itself,
// though the canceller already trains on its error; once enabled, the
// error. Without adaptation (the loopback's canceller) nothing moves.
TEST(V32EchoCanceller, OutputWaitsForItsEnableAndAdaptationForItsFlag) {
  EchoRig rig({kHybrid, 4, 288, 0.0, 0.0});
  EchoCanceller ec;
  ResetEchoCanceller(ec, 0, true);
  SetEchoSteps(ec, kEchoStepTraining, kEchoStepTraining);
  for (int s = 0; s < 400; ++s) rig.Symbol(ec, true);
  // Raw samples out: the residual is the echo, within rounding.
  EXPECT_NEAR(EnhancementDb(rig), 0.0, 0.05);
  ec.output_enabled = 1;
  for (int s = 0; s < 400; ++s) rig.Symbol(ec, true);
  rig.echo_energy = rig.residual_energy = 0;
  for (int s = 0; s < 400; ++s) rig.Symbol(ec, true);
  EXPECT_GT(EnhancementDb(rig), 30.0);

  EchoCanceller idle;
  ResetEchoCanceller(idle, 0, false);
  SetEchoSteps(idle, kEchoStepTraining, kEchoStepTraining);
  idle.output_enabled = 1;
  EchoRig idle_rig({kHybrid, 4, 288, 0.0, 0.0});
  for (int s = 0; s < 400; ++s) idle_rig.Symbol(idle, true);
  EXPECT_EQ(idle.near_taps, EchoTapSet{});
  EXPECT_NEAR(EnhancementDb(idle_rig), 0.0, 0.05);
}

// The arctangent series against atan2 around the circle (the series is
// good to about 0.7 degrees at 45 degrees).
TEST(V32EchoCanceller, PhaseOfFollowsTheAngleAroundTheCircle) {
  for (int degrees = -179; degrees <= 180; degrees += 7) {
    const double a = degrees * kPi / 180;
    const auto dot = static_cast<std::int64_t>(std::llround(1e9 * std::cos(a)));
    const auto cross = static_cast<std::int64_t>(std::llround(1e9 * std::sin(a)));
    const double got = static_cast<double>(PhaseOf(dot, cross)) * 2 * kPi / 4294967296.0;
    EXPECT_NEAR(std::remainder(got - a, 2 * kPi), 0.0, 0.014) << degrees;
  }
  EXPECT_EQ(PhaseOf(0, 0), 0);
}

// Hostile lines: a full-scale square wave unrelated to what we send, and
// delays far beyond the history (a wild round-trip count). The taps
// saturate instead of wrapping, every history index stays in bounds (the
// sanitizer build checks), and the output stays a clean 16-bit sample.
TEST(V32EchoCanceller, FullScaleInputAndWildDelaysStayInBounds) {
  struct Row {
    std::uint32_t near_delay;
    std::uint32_t far_delay;
  };
  for (const Row row : {Row{0, 0}, Row{8190, 8191}, Row{0xFFFFFFFF, 123457}}) {
    SCOPED_TRACE(row.far_delay);
    EchoCanceller ec;
    ResetEchoCanceller(ec, row.near_delay, true);
    SetFarEchoDelay(ec, row.far_delay);
    EXPECT_LT(ec.near_delay, kEchoHistoryEntries);
    EXPECT_EQ(ec.far_delay % 2, 0u);
    SetEchoSteps(ec, kEchoStepTraining, kEchoStepTraining);
    SetFarLoopGains(ec, kFarFrequencyGainTraining, kFarPhaseGainTraining);
    ec.output_enabled = 1;
    Modulator modulator;
    std::mt19937 random(5);
    for (int s = 0; s < 3000; ++s) {
      const Point symbol = kFourPointSet[random() & 3];
      std::int16_t out[3];
      const std::uint32_t carrier = modulator.carrier;
      ModulateSymbol(modulator, symbol, std::span<std::int16_t, 3>(out, 3));
      PushEchoSymbol(ec, symbol, carrier);
      for (int p = 0; p < 3; ++p) {
        const std::int16_t x = (s / 7) % 2 == 0 ? 32767 : -32768;
        const std::int16_t y = CancelEcho(ec, p, x);
        EXPECT_EQ(y, std::clamp<std::int32_t>(std::int32_t{x} + ec.estimate[p], -32768, 32767));
      }
      AdaptEcho(ec);
    }
  }
}

}  // namespace
}  // namespace pump::v32
