#include "siglib/transforms/tests/support/dft_reference.h"

#include <cmath>
#include <numbers>

namespace qvls_test::transforms {
namespace {

// e^(-2πi·r/N) for r = 0..N-1.
std::vector<Complex> Roots(std::size_t n) {
  std::vector<Complex> roots(n);
  for (std::size_t r = 0; r < n; ++r) roots[r] = Root(r, n);
  return roots;
}

std::vector<long double> Layout(const std::vector<Complex>& bins, long double scale) {
  std::vector<long double> out;
  out.reserve(2 * bins.size());
  for (const Complex& x : bins) {
    out.push_back(x.real() * scale);
    out.push_back(x.imag() * scale);
  }
  return out;
}

// Bin k of the DFT of x with the roots of its length. The products written
// out: the library's complex multiplication checks for infinities and is
// many times slower.
Complex Bin(std::span<const Complex> x, const std::vector<Complex>& roots, std::size_t k) {
  const std::size_t n = x.size();
  long double re = 0;
  long double im = 0;
  for (std::size_t m = 0; m < n; ++m) {
    const Complex& a = x[m];
    const Complex& w = roots[(m * k) % n];
    re += a.real() * w.real() - a.imag() * w.imag();
    im += a.real() * w.imag() + a.imag() * w.real();
  }
  return {re, im};
}

}  // namespace

// The quarter turns exactly, so that transforms of 4 points or fewer have an
// exact reference.
Complex Root(std::size_t r, std::size_t n) {
  if ((4 * r) % n == 0) {
    const Complex quarter_turns[] = {{1, 0}, {0, -1}, {-1, 0}, {0, 1}};
    return quarter_turns[4 * r / n];
  }
  const long double angle = 2 * std::numbers::pi_v<long double> * static_cast<long double>(r) /
                            static_cast<long double>(n);
  return {std::cos(angle), -std::sin(angle)};
}

std::vector<Complex> NaiveDft(std::span<const Complex> x) {
  const std::vector<Complex> roots = Roots(x.size());
  std::vector<Complex> spectrum(x.size());
  for (std::size_t k = 0; k < x.size(); ++k) spectrum[k] = Bin(x, roots, k);
  return spectrum;
}

std::vector<Complex> NaiveDftBins(std::span<const Complex> x, std::span<const std::size_t> bins) {
  const std::vector<Complex> roots = Roots(x.size());
  std::vector<Complex> spectrum;
  spectrum.reserve(bins.size());
  for (std::size_t k : bins) spectrum.push_back(Bin(x, roots, k));
  return spectrum;
}

std::vector<Complex> NaiveRealDft(std::span<const long double> x) {
  const std::vector<Complex> z(x.begin(), x.end());
  std::vector<Complex> spectrum = NaiveDft(z);
  spectrum.resize(x.size() / 2 + 1);
  return spectrum;
}

long double ForwardScale(std::int32_t flag, std::int32_t order, std::int32_t sf) {
  const long double n = std::ldexp(1.0L, order);
  const long double normalisation = flag == 1 ? 1 / n : flag == 4 ? 1 / std::sqrt(n) : 1;
  return normalisation * std::ldexp(1.0L, -sf);
}

std::vector<long double> ExactComplexOutput(std::span<const std::int16_t> src, std::int32_t order,
                                            std::int32_t flag, std::int32_t sf) {
  const std::vector<Complex> x = FromInterleaved(src);
  return Layout(NaiveDft(x), ForwardScale(flag, order, sf));
}

std::vector<long double> ExactRealOutput(std::span<const std::int16_t> src, std::int32_t order,
                                         std::int32_t flag, std::int32_t sf) {
  const std::vector<long double> x = FromReal(src);
  return Layout(NaiveRealDft(x), ForwardScale(flag, order, sf));
}

}  // namespace qvls_test::transforms
