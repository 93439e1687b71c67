// The discrete Fourier transform by its definition, in long double, as the
// reference of every transform test: X(k) = Σ x(m)·e^(-2πi·mk/N), with the
// exponent reduced exactly to (m·k mod N) in integers before any angle is
// formed, so that no error grows with the product m·k.
#pragma once

#include <complex>
#include <cstdint>
#include <span>
#include <vector>

namespace qvls_test::transforms {

using Complex = std::complex<long double>;

// e^(-2πi·r/N) for 0 <= r < N, the quarter turns exact.
Complex Root(std::size_t r, std::size_t n);

// The N-point forward DFT of x (N = x.size(), any length).
std::vector<Complex> NaiveDft(std::span<const Complex> x);

// Bins k of the N-point forward DFT of x, for the k given only (spot checks
// of long transforms): the same sums as NaiveDft.
std::vector<Complex> NaiveDftBins(std::span<const Complex> x, std::span<const std::size_t> bins);

// Bins 0..N/2 of the DFT of N real samples.
std::vector<Complex> NaiveRealDft(std::span<const long double> x);

// Interleaved {re, im} values as complex numbers; real values as they are.
template <class T>
std::vector<Complex> FromInterleaved(std::span<const T> values) {
  std::vector<Complex> z(values.size() / 2);
  for (std::size_t i = 0; i < z.size(); ++i) {
    z[i] = {static_cast<long double>(values[2 * i]), static_cast<long double>(values[2 * i + 1])};
  }
  return z;
}
template <class T>
std::vector<long double> FromReal(std::span<const T> values) {
  return std::vector<long double>(values.begin(), values.end());
}

// The factor a forward transform with this normalisation flag and scale
// factor applies: 1/N (flag 1), 1/sqrt N (flag 4) or 1 (flags 2 and 8),
// times 2^-sf.
long double ForwardScale(std::int32_t flag, std::int32_t order, std::int32_t sf);

// What a 16-bit forward transform should give before rounding: the scaled
// spectrum in the operation's output layout. Complex: 2N values {re, im};
// real: N + 2 values, bins 0..N/2 as {re, im} pairs.
std::vector<long double> ExactComplexOutput(std::span<const std::int16_t> src, std::int32_t order,
                                            std::int32_t flag, std::int32_t sf);
std::vector<long double> ExactRealOutput(std::span<const std::int16_t> src, std::int32_t order,
                                         std::int32_t flag, std::int32_t sf);

}  // namespace qvls_test::transforms
