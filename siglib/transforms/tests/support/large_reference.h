// The reference of the long transforms (thousands to hundreds of millions
// of points), where a table of N roots or the whole naive DFT would cost
// too much: single bins by the direct sum in long double, the roots walked
// in order, and the spot bins a test checks.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "siglib/tests/support/random.h"
#include "siglib/transforms/tests/support/dft_reference.h"
#include "siglib/transforms/tests/support/float_fft_calls.h"

namespace qvls_test::transforms {

// Bin k of a transform's interleaved complex output.
inline Complex BinOf(std::span<const float> out, std::size_t k) { return {out[2 * k], out[2 * k + 1]}; }

// Bin k of the DFT of N complex values (interleaved) or N real samples:
// Σ x(j)·e^(∓2πi·jk/N), - forward, + inverse, summed directly in long
// double. Each root is that of the exponent jk reduced exactly mod N,
// formed as the product of the roots of k·(j mod 1024) (a table of 1024)
// and of k·(j - j mod 1024) (one per block), so that a bin costs N products
// and about N/1024 + 1024 roots.
Complex DirectBin(std::span<const float> x, Layout layout, std::size_t k, Way way);

// e^(∓2πi·k·f/N) for k = 0, 1, .. in turn (- forward, + inverse): each
// step a product with the root of f, each 1024th root computed afresh from
// its exponent reduced mod N.
class RootWalk {
 public:
  RootWalk(std::size_t n, Way way, std::size_t f = 1);
  Complex Next();

 private:
  std::size_t n_;
  Way way_;
  std::size_t f_;
  std::size_t k_ = 0;
  Complex step_;
  Complex current_;
};

// 0, 1, N/2, N - 1 and `random` bins drawn from rng, ascending, each once.
std::vector<std::size_t> SpotBins(std::size_t n, std::size_t random, Rng& rng);

// Σ |x(j)|² of interleaved complex values or real samples.
long double Energy(std::span<const float> x);

}  // namespace qvls_test::transforms
