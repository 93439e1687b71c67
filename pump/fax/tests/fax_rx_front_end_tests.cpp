// The fax receiver's front end against mathematics: the DC filter's gain,
// the demodulator's image rejection and carrier sense, the interpolator
// against an exact fractional delay, the matched filter against its taps'
// Fourier transform, and the gain law.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <vector>

#include "pump/fax/fax_rx_front_end.h"
#include "pump/fax/fax_shaping.h"

namespace pump {
namespace {

constexpr double kFrontEndRate = 9600;

// The DC filter's gain from its difference equations in the z domain:
// a = 16384 x - 3 z^-1 (t1 + t2), t1 = a / (16 (1 - z^-1)), t2 = t1 / (8 (1 - z^-1)),
// y = a / 16384.
double DcFilterGainDb(double hz) {
  const std::complex<double> zi = std::polar(1.0, -2 * std::numbers::pi * hz / kFrontEndRate);
  const std::complex<double> integrator = 1.0 / (1.0 - zi);
  const std::complex<double> h = 1.0 / (1.0 + 3.0 * zi * (integrator / 16.0 + integrator * integrator / 128.0));
  return 20 * std::log10(std::abs(h));
}

// A DC level decays to nothing; tones across the band pass with the gain
// of the filter's transfer function (within 0.1 dB), flat within 0.3 dB
// from 600 to 3000 Hz.
TEST(FaxRxFrontEnd, DcRemovalAgainstItsTransferFunction) {
  FaxDcState dc{};
  int last = 0;
  for (int n = 0; n < 9600; ++n) last = FaxDcRemove(dc, 12000);
  EXPECT_LE(std::abs(last), 2);
  for (const double hz : {100.0, 300.0, 600.0, 1000.0, 1800.0, 2400.0, 3000.0}) {
    FaxDcState state{};
    double in = 0;
    double out = 0;
    for (int n = 0; n < 9600; ++n) {
      const double x = 16000 * std::sin(2 * std::numbers::pi * hz * n / kFrontEndRate);
      const int y = FaxDcRemove(state, static_cast<std::int16_t>(std::lround(x)));
      if (n >= 4800) {
        in += x * x;
        out += static_cast<double>(y) * y;
      }
    }
    EXPECT_NEAR(10 * std::log10(out / in), DcFilterGainDb(hz), 0.1) << hz << " Hz";
    if (hz >= 600) {
      EXPECT_NEAR(DcFilterGainDb(hz), DcFilterGainDb(1800), 0.3) << hz << " Hz";
    }
  }
}

// A tone at carrier + f comes out of the demodulator and the matched
// filter as e^(j 2 pi f t) (s = I cos - Q sin); the mirrored sense and the
// image at -(2 carrier + f) are at least 30 dB below it.
TEST(FaxRxFrontEnd, DemodulatorImageRejectionAndCarrierSense) {
  struct Row {
    const char* name;
    std::uint8_t modulation;
    double carrier;
    const FaxPrototype* taps;
    std::int32_t gain;
  };
  const Row rows[] = {
      {"V.29", 0x10, 11605.0 * kFrontEndRate / 65536, &kV29V17Shaping, 8192},
      {"V.17", 0x20, 1800, &kV29V17Shaping, 8192},
      {"V.27ter", 0x00, 1800, &kV27ter4800Shaping, 4096},
  };
  for (const Row& row : rows) {
    for (const double offset : {-400.0, -150.0, 0.0, 150.0, 400.0}) {
      SCOPED_TRACE(std::string(row.name) + " offset " + std::to_string(offset));
      FaxRxRecord rx{};
      rx.modulation = row.modulation;
      rx.matched = row.taps->data();
      rx.matched_gain = row.gain;
      std::vector<std::complex<double>> out;
      for (int block = 0; block < 10; ++block) {
        std::int16_t samples[96];
        for (int n = 0; n < 96; ++n) {
          const double t = (block * 96 + n) / kFrontEndRate;
          samples[n] = static_cast<std::int16_t>(std::lround(12000 * std::cos(2 * std::numbers::pi * (row.carrier + offset) * t)));
        }
        rx.demod_fill = 0;
        FaxDemodulate(rx, samples);
        for (int n = 0; n < 96; ++n) {
          FaxPushInterpolated(rx, rx.demod_i[n], rx.demod_q[n]);
          const FaxComplex y = FaxMatchedFilter(rx);
          if (block >= 2) out.emplace_back(y.i, y.q);
        }
      }
      const auto project = [&](double hz) {
        std::complex<double> sum = 0;
        for (std::size_t n = 0; n < out.size(); ++n) sum += out[n] * std::polar(1.0, -2 * std::numbers::pi * hz * static_cast<double>(n) / kFrontEndRate);
        return std::abs(sum) / static_cast<double>(out.size());
      };
      const double wanted = project(offset);
      const double image = project(-(2 * row.carrier + offset));
      EXPECT_GT(wanted, 1e5);
      EXPECT_GT(20 * std::log10(wanted / image), 30);
      if (offset != 0) {
        EXPECT_GT(20 * std::log10(wanted / project(-offset)), 30) << "mirrored";
      }
    }
  }
}

// The three-point interpolation at mu is the signal half a sample before
// k + mu: after the smoothing's gain (at least 0.97 up to 600 Hz) the
// residual against the exactly delayed signal is within 0.2 % of full scale.
TEST(FaxRxFrontEnd, InterpolationAgainstAnExactFractionalDelay) {
  for (const double hz : {100.0, 300.0, 600.0}) {
    for (const double mu : {0.0, 0.125, 0.25, 0.5, 0.75, 0.999}) {
      const auto x = [&](double n) { return 16000 * std::sin(2 * std::numbers::pi * hz * n / kFrontEndRate + 0.3); };
      std::vector<double> got;
      std::vector<double> exact;
      for (int k = 1; k < 200; ++k) {
        const auto phase = static_cast<std::int32_t>(mu * 0x40000000);
        got.push_back(FaxInterpolate(static_cast<std::int32_t>(std::lround(x(k - 1))), static_cast<std::int32_t>(std::lround(x(k))),
                                     static_cast<std::int32_t>(std::lround(x(k + 1))), phase));
        exact.push_back(x(k - 0.5 + mu));
      }
      double cross = 0;
      double power = 0;
      for (std::size_t k = 0; k < got.size(); ++k) {
        cross += got[k] * exact[k];
        power += exact[k] * exact[k];
      }
      const double gain = cross / power;
      double worst = 0;
      for (std::size_t k = 0; k < got.size(); ++k) worst = std::max(worst, std::abs(got[k] - gain * exact[k]));
      EXPECT_GT(gain, 0.97) << hz << " Hz, mu " << mu;
      EXPECT_LE(gain, 1.0005) << hz << " Hz, mu " << mu;
      EXPECT_LT(worst, 65) << hz << " Hz, mu " << mu;
    }
  }
}

// The matched filter's measured gain for baseband tones equals its taps'
// Fourier transform (times the filter's scale) within 1 %.
TEST(FaxRxFrontEnd, MatchedFilterMeasuredResponse) {
  struct Row {
    const char* name;
    const FaxPrototype* taps;
    std::int32_t gain;
  };
  for (const Row row : {Row{"V.29/V.17", &kV29V17Shaping, 8192}, Row{"V.27ter 4800", &kV27ter4800Shaping, 4096},
                        Row{"V.27ter 2400", &kV27ter2400Shaping, 4096}}) {
    for (const double hz : {0.0, 200.0, 600.0, 1000.0}) {
      FaxRxRecord rx{};
      rx.matched = row.taps->data();
      rx.matched_gain = row.gain;
      std::complex<double> expected = 0;
      for (int k = 0; k < 32; ++k) {
        expected += (static_cast<double>((*row.taps)[static_cast<std::size_t>(k)]) * row.gain / 32768) *
                    std::polar(1.0, -2 * std::numbers::pi * hz * k / kFrontEndRate);
      }
      double measured = 0;
      int count = 0;
      for (int n = 0; n < 400; ++n) {
        const std::complex<double> x = std::polar(8000.0, 2 * std::numbers::pi * hz * n / kFrontEndRate);
        FaxPushInterpolated(rx, static_cast<std::int32_t>(std::lround(x.real())), static_cast<std::int32_t>(std::lround(x.imag())));
        const FaxComplex y = FaxMatchedFilter(rx);
        if (n >= 64) {
          measured += std::abs(std::complex<double>(y.i, y.q)) / 8000;
          ++count;
        }
      }
      EXPECT_NEAR(measured / count, std::abs(expected), 0.01 * std::abs(expected) + 1) << row.name << " " << hz << " Hz";
    }
  }
}

// A frozen gain still rises 6 dB a symbol (the shift falls by one) while
// the level average is below 8192, down to shift 0.
TEST(FaxRxFrontEnd, FrozenGainStillRisesWhileTheLevelIsLow) {
  FaxRxRecord rx{};
  rx.gain_mantissa = kFaxGainUnity;
  rx.gain_shift = 16;
  rx.gain_rate = 0;
  for (int symbol = 1; symbol <= 20; ++symbol) {
    FaxComplex pair[2] = {{100, 50}, {-80, 20}};
    FaxGainStep(rx, pair);
    EXPECT_EQ(rx.gain_shift, std::max(0, 16 - symbol)) << symbol;
    EXPECT_EQ(rx.gain_mantissa, kFaxGainUnity);
  }
}

// With the gain adapting, the level in dB follows the input's level within
// 1 dB over 51 dB (relative to the level at the top of the range), from
// the gain a quiet line leaves; below the range the level average is under
// 8192 and the gain rises to its limit.
TEST(FaxRxFrontEnd, LevelInDbFollowsTheInput) {
  double top = 0;
  for (int step = 0; step <= 51; step += 3) {
    const double magnitude = 1.2e8 * std::pow(10.0, -step / 20.0);
    FaxRxRecord rx{};
    rx.gain_mantissa = kFaxGainUnity;
    rx.gain_shift = 0;  // as the quiet line before a burst leaves it
    rx.gain_rate = 0x20000000;
    rx.gain_rate_decay = 5;
    for (int symbol = 0; symbol < 3000; ++symbol) {
      const double a = (symbol & 1) != 0 ? 1 : -1;
      FaxComplex pair[2] = {{static_cast<std::int32_t>(a * magnitude), 0}, {0, static_cast<std::int32_t>(a * magnitude)}};
      FaxGainStep(rx, pair);
    }
    if (step == 0) top = rx.level_db;
    EXPECT_NEAR(rx.level_db - top, -step, 1.0) << "input " << -step << " dB";
  }
}

}  // namespace
}  // namespace pump
