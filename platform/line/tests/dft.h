// Measurement helpers of the line tests: a naive single-frequency DFT under a
// 4-term Blackman-Harris window (sidelobes 92 dB down), scaled so that a sine
// of amplitude A measures A.
#pragma once

#include <complex>
#include <cstdint>
#include <span>
#include <vector>

namespace plat::line::testing {

class ToneMeter {
 public:
  explicit ToneMeter(std::size_t length);

  // The complex amplitude of `hz` in the first `length` samples taken at
  // `rate_hz`: a cos(2 pi hz t + phi), t = 0 at samples[0], measures a e^(i phi).
  std::complex<double> At(std::span<const std::int16_t> samples, double rate_hz, double hz) const;
  std::size_t length() const { return window_.size(); }

 private:
  std::vector<double> window_;
  double weight_ = 0.0;
};

// `count` samples of amplitude x cos(2 pi hz t + phase), rounded, with sample n
// at t = (n + first) / rate_hz.
std::vector<std::int16_t> Cosine(double amplitude, double hz, double rate_hz, std::size_t count,
                                 double first = 0.0, double phase = 0.0);

double Db(double ratio);

}  // namespace plat::line::testing
