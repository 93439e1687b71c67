// Parts of the receiver on their own.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "pump/v32/receiver.h"

namespace pump::v32 {
namespace {

constexpr double kPi = 3.14159265358979323846;

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

}  // namespace
}  // namespace pump::v32
