// The exact results a float transform is measured against: the naive DFT in
// long double of the very floats it was given, at every output up to 4096
// points and at spot bins above, and the error bound of the float engine.
#pragma once

#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "siglib/tests/support/random.h"
#include "siglib/transforms/tests/support/dft_reference.h"
#include "siglib/transforms/tests/support/float_fft_calls.h"

namespace qvls_test::transforms {

// The longest transform checked at every bin.
inline constexpr std::size_t kLargestNaive = 4096;

// Exact values at some output floats of a transform.
struct Reference {
  std::vector<std::size_t> positions;
  std::vector<long double> values;
};

// The forward spectrum of complex values or real samples, at every bin up
// to kLargestNaive points, else at spot bins (0, 1, N/2 and seeded others,
// with N - k beside every k, so that the inverse can be read off it too).
class ExactSpectrum {
 public:
  ExactSpectrum(Layout layout, std::span<const float> x);

  // The transform's exact output times `scale`: complex forward X(k), or
  // inverse X(N - k) (the inverse DFT of x); real bins 0..N/2 as {re, im}.
  Reference Output(Way way, long double scale) const;

 private:
  Layout layout_;
  std::size_t n_;
  std::vector<std::size_t> bins_;
  std::vector<Complex> values_;
};

// sqrt(Σ (out - exact)^2 / Σ exact^2) over the reference's positions.
long double RelativeRmsAt(std::span<const float> out, const Reference& reference);

// The engine's bound for N points, log2_n = log2(N): 3·log2(N)·2^-24.
inline long double ErrorBound(long double log2_n) { return 3 * log2_n * std::ldexp(1.0L, -24); }

// The factor a flag applies to a transform of N = 2^order points in one
// direction: 1/N, 1/sqrt N or 1.
long double FlagScale(std::int32_t flag, Way way, std::int32_t order);

// count floats uniform in (-1, 1), 24 significant bits.
std::vector<float> RandomFloats(Rng& rng, std::size_t count);

}  // namespace qvls_test::transforms
