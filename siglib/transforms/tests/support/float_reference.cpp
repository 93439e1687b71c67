#include "siglib/transforms/tests/support/float_reference.h"

#include <algorithm>

namespace qvls_test::transforms {
namespace {

std::vector<std::size_t> SpotBins(std::size_t n) {
  std::vector<std::size_t> bins = {0, 1, 2, n / 4, n / 2};
  Rng rng(n);
  for (int i = 0; i < 24; ++i) bins.push_back(static_cast<std::size_t>(rng.Range(0, n - 1)));
  const std::size_t count = bins.size();
  for (std::size_t i = 0; i < count; ++i) bins.push_back((n - bins[i]) % n);
  std::sort(bins.begin(), bins.end());
  bins.erase(std::unique(bins.begin(), bins.end()), bins.end());
  return bins;
}

}  // namespace

ExactSpectrum::ExactSpectrum(Layout layout, std::span<const float> x)
    : layout_(layout), n_(layout == Layout::kComplex ? x.size() / 2 : x.size()) {
  const std::vector<Complex> z =
      layout == Layout::kComplex ? FromInterleaved(x) : std::vector<Complex>(x.begin(), x.end());
  if (n_ <= kLargestNaive) {
    values_ = NaiveDft(z);
    for (std::size_t k = 0; k < n_; ++k) bins_.push_back(k);
  } else {
    bins_ = SpotBins(n_);
    values_ = NaiveDftBins(z, bins_);
  }
}

Reference ExactSpectrum::Output(Way way, long double scale) const {
  Reference reference;
  auto at = [&](std::size_t k) {
    const auto found = std::lower_bound(bins_.begin(), bins_.end(), k);
    return values_[found - bins_.begin()];
  };
  for (std::size_t k : bins_) {
    if (layout_ == Layout::kReal && k > n_ / 2) break;
    const Complex x = way == Way::kForward ? at(k) : at((n_ - k) % n_);
    reference.positions.insert(reference.positions.end(), {2 * k, 2 * k + 1});
    reference.values.insert(reference.values.end(), {x.real() * scale, x.imag() * scale});
  }
  return reference;
}

long double RelativeRmsAt(std::span<const float> out, const Reference& reference) {
  long double error = 0;
  long double signal = 0;
  for (std::size_t i = 0; i < reference.positions.size(); ++i) {
    const long double exact = reference.values[i];
    const long double d = static_cast<long double>(out[reference.positions[i]]) - exact;
    error += d * d;
    signal += exact * exact;
  }
  if (signal == 0) return error == 0 ? 0 : INFINITY;
  return std::sqrt(error / signal);
}

long double FlagScale(std::int32_t flag, Way way, std::int32_t order) {
  const long double n = std::ldexp(1.0L, order);
  const bool scaled_by_n = way == Way::kForward ? flag == 1 : flag == 2;
  return scaled_by_n ? 1 / n : flag == 4 ? 1 / std::sqrt(n) : 1;
}

std::vector<float> RandomFloats(Rng& rng, std::size_t count) {
  std::vector<float> values(count);
  constexpr std::int64_t kScale = std::int64_t{1} << 24;
  for (float& v : values) {
    v = static_cast<float>(
        std::ldexp(static_cast<double>(rng.Range(-kScale + 1, kScale - 1)), -24));
  }
  return values;
}

}  // namespace qvls_test::transforms
