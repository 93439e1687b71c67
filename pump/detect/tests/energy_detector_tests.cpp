#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "pump/detect/band_filter.h"
#include "pump/detect/tests/signals.h"

namespace pump {
namespace {

using detect_test::Db;
using detect_test::Tone;
using detect_test::Wide;

// The filter's response from its coefficients: each section is
// 2^-shift (1 + 2 c z^-1 + z^-2) / (1 - 2 a1 z^-1 - 2 a2 z^-2) with the
// words read as Q31; the input is taken 17 - k bits up and the output 16 down.
double Response(const BandFilterCoefficients& c, double hz) {
  const std::complex<double> z = std::polar(1.0, -2 * std::numbers::pi * hz / 9600);
  const auto q31 = [](std::int32_t v) { return v / 2147483648.0; };
  const std::complex<double> first = std::pow(2.0, -c.m) * 0.5 * (1.0 + 2 * q31(c.c1) * z + z * z) /
                                     (1.0 - 2 * q31(c.c4) * z - 2 * q31(c.c3) * z * z);
  const std::complex<double> second = std::pow(2.0, -c.d - c.o) *
                                      (1.0 + 2 * q31(c.c6) * z + z * z) /
                                      (1.0 - 2 * q31(c.c9) * z - 2 * q31(c.c8) * z * z);
  return std::abs(first * second) * std::pow(2.0, 17 - c.k - 16);
}

// The filter's measured gain at hz: the RMS of its output over 2400 samples
// after it has settled, against the input's over the same samples.
double MeasuredGain(const BandFilterCoefficients& c, double hz, double peak = 8000) {
  constexpr int kSettle = 4000;  // 14 time constants of poles at radius 0.9964
  constexpr int kMeasured = 2400;
  const auto in = Tone({hz}, peak, kSettle + kMeasured);
  BandFilter f{&c, 0, 0, 0, 0, 0, 0};
  std::vector<std::int32_t> out;
  for (const std::int16_t x : in) out.push_back(RunBandFilter(f, x));
  return detect_test::Rms<std::int32_t>(std::span(out).last(kMeasured)) /
         detect_test::Rms<std::int16_t>(std::span(in).last(kMeasured));
}

struct Band {
  double peak_hz = 0;
  double low_hz = 0;
  double high_hz = 0;
};

// The peak and the -3 dB band of a gain curve sampled every `step` Hz.
template <class Gain>
Band BandOf(double centre, double step, Gain gain) {
  std::vector<double> hz, g;
  for (double f = centre - 60; f <= centre + 60; f += step) {
    hz.push_back(f);
    g.push_back(gain(f));
  }
  const std::size_t top = std::max_element(g.begin(), g.end()) - g.begin();
  std::size_t low = top, high = top;
  while (low > 0 && g[low] > g[top] / std::sqrt(2.0)) --low;
  while (high + 1 < g.size() && g[high] > g[top] / std::sqrt(2.0)) ++high;
  return {hz[top], hz[low], hz[high]};
}

TEST(EnergyDetector, EachRecordPeaksAtItsNamedCentreWithTheBandItsCoefficientsGive) {
  struct Case {
    const EnergyRecord& record;
    double named_low, named_high;  // Hz; one centre, or the USB1 band
  };
  const Case cases[] = {{energy::k2100, 2100, 2100}, {energy::k600, 600, 600},
                        {energy::k3000, 3000, 3000}, {energy::k2250, 2225, 2250},
                        {energy::k1650, 1650, 1650}, {energy::k1800, 1800, 1800},
                        {energy::k1300, 1300, 1300}};
  static_assert(std::size(cases) == energy::kAll.size());
  for (const Case& c : cases) {
    const EnergyRecord& record = c.record;
    SCOPED_TRACE(record.centre_hz);
    const Band measured =
        BandOf(record.centre_hz, 1, [&](double f) { return MeasuredGain(record.filter, f); });
    const Band designed =
        BandOf(record.centre_hz, 0.1, [&](double f) { return Response(record.filter, f); });
    EXPECT_GE(measured.peak_hz, c.named_low - 10);
    EXPECT_LE(measured.peak_hz, c.named_high + 10);
    EXPECT_NEAR(measured.low_hz, designed.low_hz, 1.5);
    EXPECT_NEAR(measured.high_hz, designed.high_hz, 1.5);
    EXPECT_NEAR(Db(MeasuredGain(record.filter, measured.peak_hz) /
                   Response(record.filter, measured.peak_hz)),
                0, 0.05);
    const std::string band =
        std::to_string(int(measured.low_hz)) + "-" + std::to_string(int(measured.high_hz));
    ::testing::Test::RecordProperty("band_" + std::to_string(record.centre_hz), band);
    std::printf("%d Hz record: peak %.0f Hz, -3 dB band %s Hz\n", record.centre_hz,
                measured.peak_hz, band.c_str());
  }
}

// The blocks of `signal` (96 samples each) after which the detector reports.
std::vector<bool> Reports(EnergyDetector& d, const std::vector<std::int16_t>& signal,
                          int minimum_count) {
  std::vector<bool> reports;
  const auto wide = Wide(signal);
  for (std::size_t at = 0; at + 96 <= wide.size(); at += 96) {
    reports.push_back(RunEnergyDetector(std::span(wide).subspan(at, 96), d, minimum_count));
  }
  return reports;
}

int FirstReport(const std::vector<bool>& reports) {
  const auto it = std::find(reports.begin(), reports.end(), true);
  return it == reports.end() ? -1 : static_cast<int>(it - reports.begin());
}

TEST(EnergyDetector, ReportsOnceTheLevelStayedAboveForTheMinimumCount) {
  // A tone at the band's centre loud enough to pass the on threshold.
  for (const EnergyRecord* record : energy::kAll) {
    SCOPED_TRACE(record->centre_hz);
    const auto tone = Tone({double(record->centre_hz)}, 6000, 60 * 96);
    EnergyDetector once;
    InitEnergyDetector(once, *record);
    const int first = FirstReport(Reports(once, tone, 1));
    ASSERT_GT(first, 0) << "a single block is too short to reach the level";
    for (const int minimum : {10, 16}) {
      EnergyDetector d;
      InitEnergyDetector(d, *record);
      EXPECT_EQ(FirstReport(Reports(d, tone, minimum)), first + minimum - 1) << minimum;
    }
  }
}

TEST(EnergyDetector, BetweenTheThresholdsNothingChangesAndBelowTheOffThresholdTheReportEnds) {
  const EnergyRecord& record = energy::k1650;
  const double on_peak = 6000;
  // A level between off (480) and on (640): the average's high word of a
  // sine of amplitude A at the peak gain g is about 2 A g / pi.
  const double gain = Response(record.filter, record.centre_hz);
  const double between_peak = (480 + 640) / 2.0 * std::numbers::pi / 2 / gain;
  EnergyDetector d;
  InitEnergyDetector(d, record);
  const auto loud = Reports(d, Tone({1650}, on_peak, 40 * 96), 10);
  ASSERT_TRUE(loud.back());
  Reports(d, Tone({1650}, between_peak, 40 * 96), 10);  // the average settles
  const std::int16_t above = d.above;
  const auto middle = Reports(d, Tone({1650}, between_peak, 40 * 96), 10);
  EXPECT_TRUE(std::all_of(middle.begin(), middle.end(), [](bool r) { return r; }));
  EXPECT_EQ(d.above, above);
  EXPECT_EQ(d.below, 0);
  const auto quiet = Reports(d, std::vector<std::int16_t>(40 * 96, 0), 10);
  EXPECT_FALSE(quiet.back());
  EXPECT_GT(d.below, 0);

  ClearEnergyDetector(d);
  EXPECT_FALSE(Reports(d, Tone({1650}, between_peak, 40 * 96), 1).back())
      << "from a clear detector the middle level never reaches the on threshold";
}

// The rejection filters take this modem's own tone out of what it hears and
// follow their design elsewhere in the band.
TEST(EnergyDetector, RejectionFiltersNotchTheirToneAndPassTheBand) {
  struct Case {
    const BandFilterCoefficients& filter;
    double notch_hz;
  };
  for (const Case& c : {Case{rejection::k1300, 1300}, Case{rejection::k2100, 2100}}) {
    SCOPED_TRACE(c.notch_hz);
    constexpr double kPeak = 30000;
    const double pass = MeasuredGain(c.filter, 400, kPeak);
    EXPECT_GT(Db(pass / std::max(MeasuredGain(c.filter, c.notch_hz, kPeak), 1e-9)), 60)
        << "depth at the tone";
    for (double f = 300; f <= 3400; f += 100) {
      if (std::abs(f - c.notch_hz) < 150) continue;
      EXPECT_NEAR(Db(MeasuredGain(c.filter, f, kPeak) / Response(c.filter, f)), 0, 0.1) << f;
    }
  }
}

}  // namespace
}  // namespace pump
