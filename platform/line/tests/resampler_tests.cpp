#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "platform/line/line_port.h"
#include "platform/line/tests/dft.h"

namespace plat::line {
namespace {

using testing::Cosine;
using testing::Db;
using testing::ToneMeter;

constexpr double kAmplitude = 16000.0;
constexpr std::size_t kMeasured = 8192;  // output samples under the DFT
constexpr std::size_t kSettle = 400;     // output samples skipped for the filter to fill

const ResamplerDesigns& Designs() {
  static const ResamplerDesigns designs;
  return designs;
}

double CodecHz(std::uint8_t code) { return RateHz(kCodecRates[code]); }

// One direction of a port at a fixed rate, run over a whole input.
std::vector<std::int16_t> CodecToLine(std::uint8_t code, std::span<const std::int16_t> codec) {
  LinePort port(Designs(), code);
  port.WriteCodec(codec);
  std::int64_t count =
      static_cast<std::int64_t>(codec.size()) * 8000 / static_cast<std::int64_t>(CodecHz(code)) - 2;
  EXPECT_LE(port.CodecSamplesNeeded(count), port.codec_written());
  std::vector<std::int16_t> line(static_cast<std::size_t>(count));
  port.ReadLine(line);
  return line;
}

std::vector<std::int16_t> LineToCodec(std::uint8_t code, std::span<const std::int16_t> line) {
  LinePort port(Designs(), code);
  port.WriteLine(line);
  std::int64_t count =
      static_cast<std::int64_t>(line.size()) * static_cast<std::int64_t>(CodecHz(code)) / 8000 - 2;
  EXPECT_LE(port.LineSamplesNeeded(count), port.line_written());
  std::vector<std::int16_t> codec(static_cast<std::size_t>(count));
  port.ReadCodec(codec);
  return codec;
}

struct Way {
  const char* name;
  bool to_line;
};
constexpr Way kWays[] = {{"codec to line", true}, {"line to codec", false}};

// Folds a frequency into the band [0, rate / 2] that a sample rate can show.
double Fold(double hz, double rate) {
  const double r = std::fmod(hz, rate);
  return r > rate / 2 ? rate - r : r;
}

class LineResampler : public ::testing::TestWithParam<std::uint8_t> {
 protected:
  const CodecRate& rate() const { return kCodecRates[GetParam()]; }
  std::vector<std::int16_t> Run(const Way& way, std::span<const std::int16_t> in) const {
    return way.to_line ? CodecToLine(GetParam(), in) : LineToCodec(GetParam(), in);
  }
  double InHz(const Way& way) const { return way.to_line ? CodecHz(GetParam()) : 8000.0; }
  double OutHz(const Way& way) const { return way.to_line ? 8000.0 : CodecHz(GetParam()); }
  std::size_t InputLength(const Way& way) const {
    return static_cast<std::size_t>((kMeasured + kSettle + 8) * InHz(way) / OutHz(way));
  }
};

// Every input tone: when in the passband it comes out at unit gain within
// +-0.05 dB; every other component the sampling makes of it (an image or an
// alias, at m x input rate +- f on the grid, folded into the output band) and,
// for a tone in the stopband, the tone itself, stays 60 dB down.
TEST_P(LineResampler, TonesAcrossTheBandAreFlatAndAliasesAndImagesStayDown) {
  const ToneMeter meter(kMeasured);
  const double grid = 8000.0 * rate().up;
  for (const Way& way : kWays) {
    const double in_hz = InHz(way);
    const double out_hz = OutHz(way);
    std::vector<double> tones;
    for (double f = 60.0; f < in_hz / 2 - 60.0; f += 211.0) {
      if (f <= rate().pass_hz || f >= rate().stop_hz) tones.push_back(f);
    }
    tones.push_back(rate().pass_hz);
    if (rate().stop_hz < in_hz / 2 - 60.0) tones.push_back(rate().stop_hz);
    if (rate().up == rate().down) tones = {60.0, 1000.0, 2011.0, 3950.0};

    for (double f : tones) {
      SCOPED_TRACE(std::string(way.name) + ", tone " + std::to_string(f) + " Hz");
      const auto in = Cosine(kAmplitude, f, in_hz, InputLength(way));
      const auto out = Run(way, in);
      ASSERT_GE(out.size(), kSettle + kMeasured);
      const std::span<const std::int16_t> measured(out.data() + kSettle, kMeasured);
      const bool wanted = f <= rate().pass_hz;
      if (wanted) {
        const double gain_db = Db(std::abs(meter.At(measured, out_hz, f)) / kAmplitude);
        EXPECT_NEAR(gain_db, 0.0, 0.05);
      }
      std::vector<double> unwanted;
      for (double m = 0; m * in_hz <= grid; ++m) {
        for (double g : {m * in_hz - f, m * in_hz + f}) {
          if (g < rate().stop_hz) continue;  // the tone itself, when wanted
          const double shown = Fold(g, out_hz);
          if (shown < 30.0 || shown > out_hz / 2 - 30.0) continue;
          if (wanted && std::abs(shown - f) < 30.0) continue;
          if (std::any_of(unwanted.begin(), unwanted.end(),
                          [shown](double u) { return std::abs(u - shown) < 1.0; })) {
            continue;
          }
          unwanted.push_back(shown);
          const double level_db = Db(std::abs(meter.At(measured, out_hz, shown)) / kAmplitude);
          EXPECT_LE(level_db, -60.0) << "component from " << g << " Hz shows at " << shown << " Hz";
        }
      }
    }
  }
}

// A linear-phase filter delays every frequency alike: each tone's phase at the
// output is its input phase moved back by the reported delay.
TEST_P(LineResampler, EveryToneIsDelayedByTheReportedGroupDelay) {
  const ToneMeter meter(kMeasured);
  const double delay_s = static_cast<double>(kResamplerDelayNs) * 1e-9;
  for (const Way& way : kWays) {
    for (double f : {200.0, 1500.0, 3100.0}) {
      SCOPED_TRACE(std::string(way.name) + ", tone " + std::to_string(f) + " Hz");
      const auto out = Run(way, Cosine(kAmplitude, f, InHz(way), InputLength(way)));
      const std::span<const std::int16_t> measured(out.data() + kSettle, kMeasured);
      const double start_s = static_cast<double>(kSettle) / OutHz(way);
      const std::complex<double> expected =
          std::polar(1.0, 2.0 * std::numbers::pi * f * (start_s - delay_s));
      const double phase_error = std::arg(meter.At(measured, OutHz(way), f) / expected);
      EXPECT_NEAR(phase_error, 0.0, 1e-4);
    }
  }
}

// A step at instant t0: nothing of it comes out before t0, it crosses half
// height within one output sample of t0 + the group delay, and it settles.
TEST_P(LineResampler, AStepNeverArrivesEarly) {
  constexpr std::int16_t kStep = 10000;
  const double delay_s = static_cast<double>(kResamplerDelayNs) * 1e-9;
  for (const Way& way : kWays) {
    SCOPED_TRACE(way.name);
    const std::size_t start = 1001;  // input sample of the step
    std::vector<std::int16_t> in(start + 4000, 0);
    std::fill(in.begin() + start, in.end(), kStep);
    const auto out = Run(way, in);
    const double t0 = static_cast<double>(start) / InHz(way);
    const double period = 1.0 / OutHz(way);
    for (std::size_t n = 0; n < out.size(); ++n) {
      const double t = static_cast<double>(n) * period;
      // Exact comparison of instants: n / out < start / in.
      if (static_cast<double>(n) * InHz(way) < static_cast<double>(start) * OutHz(way) - 1e-6) {
        ASSERT_EQ(out[n], 0) << "output " << n << " at " << t << " s, step at " << t0 << " s";
      }
      if (t < t0 + delay_s - period) {
        EXPECT_LT(out[n], kStep / 2) << "output " << n;
      }
      if (t > t0 + delay_s + period) {
        EXPECT_GT(out[n], kStep / 2) << "output " << n;
      }
    }
    EXPECT_NEAR(out.back(), kStep, 4);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryCodecRate, LineResampler, ::testing::Range<std::uint8_t>(0, 9),
                         [](const auto& info) {
                           const CodecRate& r = kCodecRates[info.param];
                           return "Rate" + std::to_string(r.hz_num) +
                                  (r.hz_den == 1 ? "" : "over" + std::to_string(r.hz_den));
                         });

TEST(LineResamplerIdentity, The8000HzRatePassesSamplesUnchangedAfterTheCommonDelay) {
  std::vector<std::int16_t> in(1000);
  for (std::size_t i = 0; i < in.size(); ++i)
    in[i] = static_cast<std::int16_t>(i * 7919 % 65536 - 32768);
  for (const auto& out : {CodecToLine(1, in), LineToCodec(1, in)}) {
    for (std::size_t n = 0; n < out.size(); ++n) {
      EXPECT_EQ(out[n], n < kResamplerDelay ? 0 : in[n - kResamplerDelay]) << n;
    }
  }
}

// A rate change while a 1 kHz tone plays through the DAC: the codec samples
// before the change are on the old rate's grid, those after on the new one's,
// both of the same continuous tone. Outside the new filter's span after the
// change the line carries the tone as without a change; within it, the two
// filters' partial outputs add up to the tone less a transient of at most a
// fifth of its amplitude and 5% of its RMS. (Had the two rates not shared
// the span between their samples, a sample's worth of signal would count
// twice or not at all: a click of up to the tone's full amplitude.)
struct Switch {
  std::uint8_t from;
  std::uint8_t to;
};

class LineResamplerSwitch : public ::testing::TestWithParam<Switch> {};

TEST_P(LineResamplerSwitch, ATonePlaysThroughARateChangeWithoutAClick) {
  const Switch s = GetParam();
  constexpr double kHz = 1000.0;
  constexpr std::int64_t kSwitchNs = 100'003'000;  // between two line samples
  const double delay_s = static_cast<double>(kResamplerDelayNs) * 1e-9;
  const CodecRate& from = kCodecRates[s.from];
  const CodecRate& to = kCodecRates[s.to];
  // Grid ticks as the port rounds them; the old rate keeps the samples before the change.
  auto tick = [](std::int64_t ns, std::uint32_t up) { return (ns * up + 62500) / 125000; };
  const std::int64_t old_count = (tick(kSwitchNs, from.up) + from.down - 1) / from.down;
  const double new_start_s = static_cast<double>(tick(kSwitchNs, to.up)) / (8000.0 * to.up);

  const auto before = Cosine(kAmplitude, kHz, RateHz(from), static_cast<std::size_t>(old_count));
  const auto after = Cosine(kAmplitude, kHz, RateHz(to),
                            static_cast<std::size_t>(RateHz(to) * 0.05), new_start_s * RateHz(to));
  LinePort dac(Designs(), s.from);
  dac.SwitchRate(s.to, kSwitchNs);
  dac.WriteCodec(before);
  dac.WriteCodec(after);
  std::int64_t lines = 0;
  while (dac.CodecSamplesNeeded(lines + 1) <= dac.codec_written()) ++lines;
  std::vector<std::int16_t> line(static_cast<std::size_t>(lines));
  dac.ReadLine(line);

  const double switch_line = static_cast<double>(kSwitchNs) / 125000.0;
  double worst_outside = 0.0;
  double worst_inside = 0.0;
  double inside_energy = 0.0;
  int inside_count = 0;
  for (std::size_t n = 2 * kResamplerDelay + 1; n < line.size(); ++n) {
    const double t = static_cast<double>(n) / 8000.0 - delay_s;
    const double error = std::abs(line[n] - kAmplitude * std::cos(2 * std::numbers::pi * kHz * t));
    const bool inside = n >= switch_line && n <= switch_line + 2 * kResamplerDelay + 1;
    (inside ? worst_inside : worst_outside) =
        std::max(inside ? worst_inside : worst_outside, error);
    if (inside) {
      inside_energy += error * error;
      ++inside_count;
    }
  }
  const double rms_ratio = std::sqrt(inside_energy / inside_count) / (kAmplitude / std::sqrt(2.0));
  EXPECT_LE(worst_outside, 3.0);
  EXPECT_LE(worst_inside / kAmplitude, 0.2) << "largest error in the transient, of the amplitude";
  EXPECT_LE(rms_ratio, 0.05) << "RMS error in the transient, of the tone's";

  // The other way the line is continuous and only the sampling instants
  // change: the ADC's output follows the tone through the change.
  LinePort adc(Designs(), s.from);
  adc.SwitchRate(s.to, kSwitchNs);
  adc.WriteLine(Cosine(kAmplitude, kHz, 8000.0, 8000 * 3 / 20));
  std::int64_t codec = 0;
  while (adc.LineSamplesNeeded(codec + 1) <= adc.line_written()) ++codec;
  std::vector<std::int16_t> samples(static_cast<std::size_t>(codec));
  adc.ReadCodec(samples);
  double worst = 0.0;
  for (std::size_t k = 0; k < samples.size(); ++k) {
    const bool old_rate = static_cast<std::int64_t>(k) < old_count;
    const double t = old_rate ? static_cast<double>(k) / RateHz(from)
                              : new_start_s + static_cast<double>(k - old_count) / RateHz(to);
    if (t < 2 * delay_s + 0.001) continue;
    worst = std::max(worst, std::abs(samples[k] - kAmplitude * std::cos(2 * std::numbers::pi * kHz *
                                                                        (t - delay_s))));
  }
  EXPECT_LE(worst, 3.0);
}

std::vector<Switch> AllPairs() {
  std::vector<Switch> pairs;
  for (std::uint8_t from = 0; from < kCodecRates.size(); ++from) {
    for (std::uint8_t to = 0; to < kCodecRates.size(); ++to) {
      if (from != to) pairs.push_back({from, to});
    }
  }
  return pairs;
}

INSTANTIATE_TEST_SUITE_P(Pairs, LineResamplerSwitch, ::testing::ValuesIn(AllPairs()),
                         [](const auto& info) {
                           return "Code" + std::to_string(info.param.from) + "To" +
                                  std::to_string(info.param.to);
                         });

}  // namespace
}  // namespace plat::line
