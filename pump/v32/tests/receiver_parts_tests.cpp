// Parts of the receiver on their own.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "pump/v32/agc.h"
#include "pump/v32/receiver.h"
#include "pump/v32/timing.h"
#include "pump/v32/timing_loop.h"
#include "pump/v32/tone_detectors.h"
#include "pump/v32/transmitter.h"

namespace pump::v32 {
namespace {

constexpr double kPi = 3.14159265358979323846;

// The gain control brings a baseband tone of any level from -50 dB to full
// scale to the target power within 1 dB, in 1000 samples, its mantissa
// within range; silence, or a tone too weak for the highest gain (96),
// drives the gain to its top and no further; a full-scale input at the
// highest gain stays within the clip.
TEST(V32ReceiverParts, GainControlReachesItsTargetFromAnyLevel) {
  struct Case {
    double amplitude;  // of the complex tone
    bool settles;
  };
  const Case cases[] = {{0, false}, {32, false}, {104, true}, {1000, true}, {10000, true}, {32767, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "amplitude " << c.amplitude);
    Agc agc;
    double power = 0;
    int clipped_above = 0;
    for (int n = 0; n < 1000; ++n) {
      const std::complex<double> x = std::polar(c.amplitude, 2 * kPi * 1200 * n / 7200.0);
      const Complex out = AgcStep(agc, {static_cast<std::int32_t>(std::lround(x.real())), static_cast<std::int32_t>(std::lround(x.imag()))});
      AgcAdapt(agc);
      clipped_above += std::abs(out.re) > agc.clip || std::abs(out.im) > agc.clip;
      if (n >= 900) power += static_cast<double>(out.re) * out.re + static_cast<double>(out.im) * out.im;
      EXPECT_GT(agc.mantissa, 0x30000000 - 1);
      EXPECT_LE(agc.mantissa, 0x60000000);
      EXPECT_LE(agc.exponent, 7);
    }
    EXPECT_EQ(clipped_above, 0);
    if (c.settles) {
      EXPECT_NEAR(10 * std::log10(power / 100 / kComplexAgcTarget), 0.0, 1.0);
    } else {
      EXPECT_EQ(agc.exponent, 7);
      EXPECT_EQ(agc.mantissa, 0x60000000);
    }
  }
  // The loudest input at the highest gain: every part at the clip.
  Agc loud;
  loud.exponent = 7;
  const Complex out = AgcStep(loud, {32767, -32768});
  EXPECT_EQ(out.re, 24000);
  EXPECT_EQ(out.im, -24000);
}

// The Hilbert pair and the quarter-rate demodulation turn a real tone at
// 1800 + f Hz into a baseband tone at +f Hz, with the mirror at -f rejected.
TEST(V32ReceiverParts, HilbertFrontEndRejectsTheImage) {
  for (const double offset : {-1200.0, -600.0, -300.0, 300.0, 600.0, 1200.0}) {
    FrontEnd f;
    std::vector<std::complex<double>> base;
    for (int n = 0; n < 7200; ++n) {
      const double x = 12000 * std::cos(2 * kPi * (1800 + offset) * n / 7200.0);
      const Complex z = FrontEndStep(f, static_cast<std::int16_t>(std::lround(x)));
      if (n >= 100) base.emplace_back(z.re, z.im);
    }
    auto power_at = [&](double hz) {
      std::complex<double> sum = 0;
      for (std::size_t n = 0; n < base.size(); ++n) sum += base[n] * std::polar(1.0, -2 * kPi * hz * static_cast<double>(n) / 7200.0);
      return std::norm(sum);
    };
    const double wanted = power_at(offset);
    const double image = power_at(-offset);
    EXPECT_GT(10 * std::log10(wanted / image), 30.0) << "offset " << offset << " Hz";
  }
}

// The cubic interpolator against the exact value of a complex tone between
// samples: the middle sample itself at mu 0, and within a bound that grows
// with the tone's frequency (the baseband signal lies within +-1350 Hz).
TEST(V32ReceiverParts, InterpolatorMatchesAnExactFractionalDelay) {
  struct Case {
    double hz;
    double bound;  // of the error, against an amplitude of 10000
  };
  const Case cases[] = {{0, 2}, {300, 70}, {-600, 90}, {900, 200}, {-1200, 450}};
  for (const Case& c : cases) {
    for (int step = -8; step <= 8; ++step) {
      const double mu = step / 16.0;
      std::array<Complex, 9> history{};
      const double phase0 = 0.7;
      for (int k = 0; k < 9; ++k) {
        const std::complex<double> v = std::polar(10000.0, 2 * kPi * c.hz * k / 7200.0 + phase0);
        history[static_cast<std::size_t>(k)] = {static_cast<std::int32_t>(std::lround(v.real())),
                                                static_cast<std::int32_t>(std::lround(v.imag()))};
      }
      const Complex y = Interpolate(history, static_cast<std::int32_t>(std::lround(mu * 32768)));
      const std::complex<double> exact = std::polar(10000.0, 2 * kPi * c.hz * (4 + mu) / 7200.0 + phase0);
      EXPECT_LT(std::abs(std::complex<double>(y.re, y.im) - exact), c.bound) << c.hz << " Hz, mu " << mu;
      if (step == 0) {
        EXPECT_EQ(y.re, history[4].re);
        EXPECT_EQ(y.im, history[4].im);
      }
    }
  }
}

// The start-up notches from their frequency: zeros on the unit circle,
// poles at radius 0.9, at 7200 Hz (all in units of 1/32767).
TEST(V32ReceiverParts, NotchCoefficientsFollowFromFrequencyAndRadius) {
  for (const NotchSet* set : {&kNotch1800, &kNotch600, &kNotch3000}) {
    const double w = 2 * kPi * set->hz / 7200.0;
    const double r = 0.9;
    EXPECT_EQ(set->rate_hz, 7200);
    EXPECT_EQ(set->c[0], 32767);
    EXPECT_EQ(set->c[2], 32767);
    EXPECT_NEAR(set->c[1], -2 * std::cos(w) * 32767, 1.0) << set->hz;
    EXPECT_NEAR(set->c[3], 2 * r * std::cos(w) * 32767, 1.0) << set->hz;
    EXPECT_NEAR(set->c[4], -r * r * 32767, 1.0) << set->hz;
  }
}

// Our transmitter's start-up signals through the tone detectors with a
// window of 256 samples: AA and CC fire the carrier notch, AC and CA the
// sideband pair, and neither fires on silence, S, training or data.
TEST(V32ReceiverParts, ToneDetectorsTellTheStartUpSignalsApart) {
  struct Case {
    TxSignal signal;
    bool carrier;
    bool sidebands;
  };
  const Case cases[] = {{TxSignal::kAA, true, false},   {TxSignal::kCC, true, false},
                        {TxSignal::kAC, false, true},   {TxSignal::kCA, false, true},
                        {TxSignal::kSilence, false, false}, {TxSignal::kS, false, false},
                        {TxSignal::kTrn4, false, false}, {TxSignal::kData, false, false}};
  for (const Case& c : cases) {
    TxSymbolState tx;
    Modulator modulator;
    ToneDetectors detectors;
    InitToneDetectors(detectors);
    if (c.signal == TxSignal::kTrn4) StartTraining(tx);
    if (c.signal == TxSignal::kData) StartData(tx, DataRate::k14400);
    ToneResult seen;
    std::uint32_t data = 12345;
    for (int symbol = 0; symbol < 600; ++symbol) {
      data = data * 1103515245 + 12345;
      bool took = false;
      std::int16_t samples[3];
      ModulateSymbol(modulator, NextSymbol(tx, c.signal, (data >> 16) & 0x3F, &took), samples);
      for (const std::int16_t x : samples) {
        const ToneResult r = StepToneDetectors(detectors, x, 256);
        seen.carrier = seen.carrier || r.carrier;
        seen.sidebands = seen.sidebands || r.sidebands;
      }
    }
    EXPECT_EQ(seen.carrier, c.carrier) << static_cast<int>(c.signal);
    EXPECT_EQ(seen.sidebands, c.sidebands) << static_cast<int>(c.signal);
  }
}

// The tone path on our transmitter's AA and AC from full scale down to
// -50 dB: its gain brings the tone to the path's level (within 1 dB of the
// target over the last 1000 of 3000 samples; at -50 dB the gain is at its
// top) and the right detector fires every 256-sample window, the other
// never; the bare detectors fed the -50 dB line miss it.
TEST(V32ReceiverParts, TonePathHearsTheStartUpTonesAtAnyLevel) {
  struct Case {
    TxSignal signal;
    double level_db;
  };
  const Case cases[] = {{TxSignal::kAA, 0},   {TxSignal::kAA, -30}, {TxSignal::kAA, -50},
                        {TxSignal::kAC, 0},   {TxSignal::kAC, -30}, {TxSignal::kAC, -50}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "signal " << static_cast<int>(c.signal) << " at " << c.level_db << " dB");
    const bool aa = c.signal == TxSignal::kAA;
    const bool weak = c.level_db < -40;
    TxSymbolState tx;
    Modulator modulator;
    TonePath path;
    InitTonePath(path);
    ToneDetectors bare;
    InitToneDetectors(bare);
    const double scale = std::pow(10.0, c.level_db / 20);
    int wanted = 0, other = 0, bare_hits = 0;
    double power = 0;
    for (int symbol = 0; symbol < 1000; ++symbol) {
      std::int16_t samples[3];
      ModulateSymbol(modulator, NextSymbol(tx, c.signal), samples);
      for (const std::int16_t sample : samples) {
        const auto x = static_cast<std::int16_t>(std::lround(sample * scale));
        const ToneResult r = TonePathStep(path, x, 256);
        wanted += aa ? r.carrier : r.sidebands;
        other += aa ? r.sidebands : r.carrier;
        const ToneResult b = StepToneDetectors(bare, x, 256);
        bare_hits += aa ? b.carrier : b.sidebands;
        if (symbol >= 1000 - 1000 / 3) {
          const double y = x * static_cast<double>(path.agc.mantissa >> 16) * std::pow(2.0, path.agc.exponent - 15);
          power += y * y;
        }
      }
    }
    EXPECT_GE(wanted, 3000 / 256 - 1);
    EXPECT_EQ(other, 0);
    if (weak) {
      EXPECT_EQ(bare_hits, 0);
      EXPECT_EQ(path.agc.exponent, 7);
      EXPECT_EQ(path.agc.mantissa, 0x60000000);
    } else {
      EXPECT_NEAR(10 * std::log10(power / 999 / kToneAgcTarget), 0.0, 1.0);
    }
  }
}

// The timing detector on our transmitter's TRN: with the reference taken at
// one instant, sampling later or earlier by d samples turns the band-edge
// beat by 2 pi d / 3 (its symbol-rate cycle), and the mean error is that
// angle's sine in Q15, positive for a later instant.
TEST(V32ReceiverParts, TimingErrorIsTheSineOfTheInstantsOffset) {
  // The mean error over TRN's symbols 100..999 sampled `offset` samples
  // late, with the reference taken at offset 0 (or taken, when none given).
  auto run = [](double offset, TimingLoop& loop, bool take_reference) {
    TxSymbolState tx;
    StartTraining(tx);
    Modulator modulator;
    FrontEnd front;
    TimingInstant timing;
    timing.instant = static_cast<std::int64_t>(offset * static_cast<double>(kTimingOne));
    double sum = 0;
    int outputs = 0;
    for (int symbol = 0; symbol < 1000; ++symbol) {
      std::int16_t samples[3];
      ModulateSymbol(modulator, NextSymbol(tx, symbol < 256 ? TxSignal::kTrn2 : TxSignal::kTrn4), samples);
      for (const std::int16_t x : samples) {
        Complex out[2];
        const int n = TimingStep(timing, FrontEndStep(front, x), out);
        for (int k = 0; k < n; ++k) {
          BandEdgeStep(loop, out[k]);
          if (++outputs % 2 != 0 || symbol < 100) continue;
          if (take_reference) {
            AddToReference(loop);
          } else {
            sum += TimingError(loop);
          }
        }
      }
    }
    return sum / 900;
  };
  TimingLoop reference;
  run(0, reference, true);
  CloseReference(reference);
  ASSERT_GT(reference.reference_power, 0);
  for (const double offset : {-0.3, -0.1, 0.0, 0.1, 0.3}) {
    TimingLoop loop = reference;
    const double expected = 32768 * std::sin(2 * kPi * offset / 3);
    EXPECT_NEAR(run(offset, loop, false), expected, 2500 + 0.15 * std::abs(expected)) << "offset " << offset;
  }
}

}  // namespace
}  // namespace pump::v32
