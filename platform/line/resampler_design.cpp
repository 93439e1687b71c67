#include "platform/line/resampler_design.h"

#include <cmath>
#include <string>

#include "platform/diag/fatal.h"
#include "platform/line/det_math.h"

namespace plat::line {
namespace {

// Kaiser's empirical rules: the stopband attenuation a window of `taps` reaches
// over a transition of `transition` (radians per sample), and its shape for it.
double KaiserAttenuationDb(std::int64_t taps, double transition) {
  return 2.285 * transition * static_cast<double>(taps - 1) + 7.95;
}

// Every design here reaches well over 50 dB, where the rule is linear.
double KaiserBeta(double attenuation_db) { return 0.1102 * (attenuation_db - 8.7); }

// sin(pi x) / (pi x).
double Sinc(double x) {
  if (x == 0.0) return 1.0;
  return SinPi(x) / (3.14159265358979323846 * x);
}

}  // namespace

PolyphaseBank::PolyphaseBank(std::span<const double> prototype, int phases, double gain)
    : phases_(phases),
      taps_(static_cast<int>((prototype.size() + phases - 1) / phases)),
      coefficients_(static_cast<std::size_t>(phases) * taps_, 0) {
  constexpr double kScale = static_cast<double>(std::int64_t{1} << kCoefficientBits);
  // Phase r holds prototype[r + phases * i] for i = 0, 1, ...; tap i multiplies
  // the input i steps older than the newest, so it is stored at taps - 1 - i.
  for (int r = 0; r < phases; ++r) {
    for (int i = 0; i < taps_; ++i) {
      const std::size_t m = static_cast<std::size_t>(r) + static_cast<std::size_t>(phases) * i;
      if (m >= prototype.size()) break;
      coefficients_[static_cast<std::size_t>(r) * taps_ + (taps_ - 1 - i)] =
          static_cast<std::int32_t>(std::nearbyint(prototype[m] * gain * kScale));
    }
  }
}

ResamplerDesign::ResamplerDesign(const CodecRate& rate) : rate_(rate) {
  if (rate.up == rate.down) {
    // The line's own rate: a pure delay, so samples pass unchanged.
    lead_ = kResamplerDelay;
    prototype_ = {1.0};
  } else {
    const std::int64_t centre = std::int64_t{kResamplerDelay} * rate.up;
    const std::int64_t taps = 2 * centre + 1;
    const double grid_hz = static_cast<double>(kLineRateHz) * rate.up;
    const double cutoff = (rate.pass_hz + rate.stop_hz) / 2.0 / grid_hz;  // cycles per tick
    const double transition =
        2.0 * 3.14159265358979323846 * (rate.stop_hz - rate.pass_hz) / grid_hz;
    beta_ = KaiserBeta(KaiserAttenuationDb(taps, transition));
    const double window_norm = BesselI0(beta_);
    prototype_.resize(static_cast<std::size_t>(taps));
    double sum = 0.0;
    for (std::int64_t m = 0; m < taps; ++m) {
      const double offset = static_cast<double>(m - centre);
      const double x = offset / static_cast<double>(centre);
      const double window = BesselI0(beta_ * std::sqrt(1.0 - x * x)) / window_norm;
      const double h = 2.0 * cutoff * Sinc(2.0 * cutoff * offset) * window;
      prototype_[static_cast<std::size_t>(m)] = h;
      sum += h;
    }
    for (double& h : prototype_) h /= sum;
  }
  // Interpolation fills `up` grid ticks per input sample and decimation keeps
  // one output in `down`: each phase bank carries that factor as its gain.
  to_codec_ = PolyphaseBank(prototype_, static_cast<int>(rate.up), rate.up);
  to_line_ = PolyphaseBank(prototype_, static_cast<int>(rate.down), rate.down);
}

ResamplerDesigns::ResamplerDesigns() {
  designs_.reserve(kCodecRates.size());
  for (const CodecRate& rate : kCodecRates) designs_.emplace_back(rate);
}

const ResamplerDesign& ResamplerDesigns::ForCode(std::uint8_t code) const {
  if (code >= designs_.size()) {
    diag::Fatal("line-port-rate", "no codec rate has code " + std::to_string(code));
  }
  return designs_[code];
}

}  // namespace plat::line
