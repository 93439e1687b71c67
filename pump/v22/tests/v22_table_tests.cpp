// The modem's design tables against what they are for: the transmit
// interpolator is one square-root Nyquist pulse at 600 symbols a second
// (matched with itself it leaves next to no intersymbol interference, and
// it is band-limited to 600 Hz); the receive baseband filter has its gains
// at DC and 300 Hz and its stopband from 600 Hz.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "pump/v22/v22_tables.h"

namespace pump::v22 {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRate = 9600;
constexpr int kSamplesPerSymbol = 16;

// |H(f)| of `taps` (Q15) at `hz`.
double Response(const std::vector<double>& taps, double hz) {
  std::complex<double> sum = 0;
  for (std::size_t n = 0; n < taps.size(); ++n) {
    sum += taps[n] * std::polar(1.0, -2 * kPi * hz * static_cast<double>(n) / kRate);
  }
  return std::abs(sum);
}

double LargestFrom(const std::vector<double>& taps, double from_hz) {
  double largest = 0;
  for (double f = from_hz; f <= kRate / 2; f += 5) largest = std::max(largest, Response(taps, f));
  return largest;
}

std::vector<double> Pulse() {
  std::vector<double> pulse(kInterpolator.size() * kInterpolator[0].size());
  for (std::size_t p = 0; p < kInterpolator.size(); ++p) {
    for (std::size_t k = 0; k < kInterpolator[p].size(); ++k) {
      pulse[kSamplesPerSymbol * k + p] = kInterpolator[p][k] / 32768.0;
    }
  }
  return pulse;
}

TEST(V22Tables, InterpolatorIsOneSquareRootNyquistPulse) {
  const std::vector<double> pulse = Pulse();
  const int n = static_cast<int>(pulse.size());
  auto matched = [&](int lag) {
    double sum = 0;
    for (int k = 0; k < n; ++k) {
      if (k + lag >= 0 && k + lag < n) sum += pulse[k] * pulse[k + lag];
    }
    return sum;
  };
  // The pulse through its matched filter, at whole symbols from the peak.
  const double peak = matched(0);
  for (int m = 1; m < n / kSamplesPerSymbol; ++m) {
    SCOPED_TRACE(m);
    EXPECT_LT(std::abs(matched(m * kSamplesPerSymbol)) / peak, 0.005);
    EXPECT_LT(std::abs(matched(-m * kSamplesPerSymbol)) / peak, 0.005);
  }
  // Its spectrum: none of it from 600 Hz, the symbol rate.
  EXPECT_LT(LargestFrom(pulse, 600) / Response(pulse, 0), 0.002);
  // Half way to 600 Hz, 300 Hz, a square-root Nyquist pulse passes 1/sqrt(2)
  // of its gain at DC.
  EXPECT_NEAR(Response(pulse, 300) / Response(pulse, 0), 1 / std::sqrt(2.0), 0.02);
}

TEST(V22Tables, BasebandFilterMeetsItsResponse) {
  const std::vector<double> taps(kBasebandFilter.begin(), kBasebandFilter.end());
  std::vector<double> q15;
  for (const double t : taps) q15.push_back(t / 32768);
  EXPECT_NEAR(Response(q15, 0), 0.99, 0.002);
  EXPECT_NEAR(Response(q15, 300), 0.70, 0.005);
  EXPECT_LT(LargestFrom(q15, 600), 0.001);
  EXPECT_EQ(kBasebandFilter[62], 2143);
  EXPECT_EQ(kBasebandFilter[63], 2179);
  EXPECT_EQ(kBasebandFilter[64], 2179);
  EXPECT_EQ(kBasebandFilter[65], 2143);
}

}  // namespace
}  // namespace pump::v22
