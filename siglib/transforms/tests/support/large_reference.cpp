#include "siglib/transforms/tests/support/large_reference.h"

#include <algorithm>

namespace qvls_test::transforms {
namespace {

constexpr std::size_t kBlock = 1024;

Complex RootOf(std::size_t r, std::size_t n, Way way) {
  const Complex w = Root(r % n, n);
  return way == Way::kForward ? w : std::conj(w);
}

// Written out: the library's complex product checks for infinities and is
// many times slower.
Complex Times(const Complex& a, const Complex& b) {
  return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

}  // namespace

Complex DirectBin(std::span<const float> x, Layout layout, std::size_t k, Way way) {
  const bool complex = layout == Layout::kComplex;
  const std::size_t n = complex ? x.size() / 2 : x.size();
  const std::size_t block = std::min(n, kBlock);
  std::vector<Complex> inner(block);
  for (std::size_t l = 0; l < block; ++l) inner[l] = RootOf(k * l, n, way);
  Complex sum = 0;
  for (std::size_t h = 0; h < n; h += block) {
    long double re = 0;
    long double im = 0;
    const std::size_t length = std::min(block, n - h);
    for (std::size_t l = 0; l < length; ++l) {
      const long double a = complex ? x[2 * (h + l)] : x[h + l];
      const long double b = complex ? x[2 * (h + l) + 1] : 0.0f;
      const Complex& w = inner[l];
      re += a * w.real() - b * w.imag();
      im += a * w.imag() + b * w.real();
    }
    sum += Times(RootOf(k * h, n, way), Complex(re, im));
  }
  return sum;
}

RootWalk::RootWalk(std::size_t n, Way way, std::size_t f)
    : n_(n), way_(way), f_(f % n), step_(RootOf(f_, n, way)) {}

Complex RootWalk::Next() {
  current_ = k_ % kBlock == 0 ? RootOf(k_ % n_ * f_, n_, way_) : Times(current_, step_);
  ++k_;
  return current_;
}

std::vector<std::size_t> SpotBins(std::size_t n, std::size_t random, Rng& rng) {
  std::vector<std::size_t> bins = {0, 1, n / 2, n - 1};
  while (bins.size() < random + 4) {
    const auto k = static_cast<std::size_t>(rng.Range(0, static_cast<std::int64_t>(n) - 1));
    if (std::find(bins.begin(), bins.end(), k) == bins.end()) bins.push_back(k);
  }
  std::sort(bins.begin(), bins.end());
  return bins;
}

long double Energy(std::span<const float> x) {
  long double sum = 0;
  for (float v : x) sum += static_cast<long double>(v) * v;
  return sum;
}

}  // namespace qvls_test::transforms
