#include "platform/line/tests/dft.h"

#include <cmath>
#include <numbers>

namespace plat::line::testing {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

ToneMeter::ToneMeter(std::size_t length) : window_(length) {
  constexpr double a0 = 0.35875, a1 = 0.48829, a2 = 0.14128, a3 = 0.01168;
  for (std::size_t n = 0; n < length; ++n) {
    const double x = kTwoPi * static_cast<double>(n) / static_cast<double>(length);
    window_[n] = a0 - a1 * std::cos(x) + a2 * std::cos(2 * x) - a3 * std::cos(3 * x);
    weight_ += window_[n];
  }
}

std::complex<double> ToneMeter::At(std::span<const std::int16_t> samples, double rate_hz,
                                   double hz) const {
  std::complex<double> sum = 0.0;
  const double step = -kTwoPi * hz / rate_hz;
  const std::complex<double> rotate = std::polar(1.0, step);
  std::complex<double> phasor = 1.0;
  for (std::size_t n = 0; n < window_.size(); ++n) {
    if (n % 256 == 0) phasor = std::polar(1.0, step * static_cast<double>(n));  // no drift
    sum += window_[n] * samples[n] * phasor;
    phasor *= rotate;
  }
  return 2.0 * sum / weight_;
}

std::vector<std::int16_t> Cosine(double amplitude, double hz, double rate_hz, std::size_t count,
                                 double first, double phase) {
  std::vector<std::int16_t> out(count);
  for (std::size_t n = 0; n < count; ++n) {
    const double t = (static_cast<double>(n) + first) / rate_hz;
    out[n] = static_cast<std::int16_t>(std::lround(amplitude * std::cos(kTwoPi * hz * t + phase)));
  }
  return out;
}

double Db(double ratio) { return 20.0 * std::log10(ratio); }

}  // namespace plat::line::testing
