// The twiddle matrix of one split level, in the order the level reads it.
#pragma once

#include <cstdint>

#include "siglib/transforms/bitrev/bitrev_lists.h"
#include "siglib/transforms/fft_context/fft_tables.h"

namespace qvls::fft_large {

enum class MatrixLayout { kPairs, kGroups };

// A level of order n that splits off s: P = 2^s sub-transforms of B =
// 2^(n-s) values. For each group of four columns k = 4g..4g+3 and each
// sub-transform i, the four values W^(rev_s(i)·k) (W = e^(-2πi/N)), as
// interleaved pairs (px, m6) or as four real parts then four imaginary
// parts (a6, w7): N values, 8N bytes. rev_s(i)·k < N, so each value is a
// copy or negation of one entry of the sine table of order r.
template <MatrixLayout kLayout>
float* BuildSplitMatrix(std::int32_t n, std::int32_t s, const float* sine, std::int32_t r) {
  const std::int64_t size = std::int64_t{1} << n;
  const std::int64_t p = std::int64_t{1} << s;
  float* matrix = float_fft::NewFloats(2 * size);
  if (matrix == nullptr) return nullptr;
  const float_fft::QuarterWave wave(sine, n, r);
  float* out = matrix;
  for (std::int64_t k0 = 0; k0 < size / p; k0 += 4) {
    bitrev::ReversedCounter reversed(static_cast<std::int32_t>(p));
    for (std::int64_t i = 0; i < p; ++i, out += 8) {
      const std::int64_t rev = i == 0 ? 0 : reversed.Next();
      for (std::int64_t u = 0; u < 4; ++u) {
        const float_fft::Twiddle w = wave.Root(rev * (k0 + u));
        if constexpr (kLayout == MatrixLayout::kPairs) {
          out[2 * u] = w.re;
          out[2 * u + 1] = w.im;
        } else {
          out[u] = w.re;
          out[4 + u] = w.im;
        }
      }
    }
  }
  return matrix;
}

}  // namespace qvls::fft_large
