// The multiply by a constant: the product of two singles rounded once, in
// either form.
#pragma once

#include <xmmintrin.h>

#include <cstddef>
#include <cstdint>

#include "siglib/frame/unaligned.h"
#include "siglib/memory/alignment.h"

namespace qvls::float_fft {

inline void MultiplyOne(float value, float* data, std::size_t i) {
  StoreAt(data, i, static_cast<float>(static_cast<double>(LoadAt(data, i)) * value));
}

inline void MulConstScalar(float value, float* data, std::int32_t count) {
  if (count <= 0) return;
  const auto n = static_cast<std::size_t>(count);
  std::size_t i = 0;
  for (; n - i >= 4; i += 4) {
    for (std::size_t k = 0; k < 4; ++k) MultiplyOne(value, data, i + k);
  }
  for (; i < n; ++i) MultiplyOne(value, data, i);
}

// Elements i..i+7 times the constant, through 16-byte loads and stores.
template <bool kAligned>
void MultiplyEight(__m128 value, float* p) {
  if constexpr (kAligned) {
    _mm_store_ps(p, _mm_mul_ps(_mm_load_ps(p), value));
    _mm_store_ps(p + 4, _mm_mul_ps(_mm_load_ps(p + 4), value));
  } else {
    _mm_storeu_ps(p, _mm_mul_ps(_mm_loadu_ps(p), value));
    _mm_storeu_ps(p + 4, _mm_mul_ps(_mm_loadu_ps(p + 4), value));
  }
}

// From the end: singly until the end lies on a 16-byte boundary, blocks of
// eight backwards, the rest singly. Data not on a 4-byte boundary never
// reach one: they go in blocks throughout, unaligned.
inline void MulConstVector(float value, float* data, std::int32_t count) {
  if (count <= 0) return;
  const __m128 factor = _mm_set1_ps(value);
  auto single = [&](std::size_t i) { StoreAt(data, i, LoadAt(data, i) * value); };
  auto* bytes = reinterpret_cast<std::uint8_t*>(data);
  std::size_t end = static_cast<std::size_t>(count);
  if (IsOnBoundary(data, 4)) {
    while (end > 0 && !IsOnBoundary(bytes + 4 * end, 16)) single(--end);
    for (; end >= 8; end -= 8) MultiplyEight<true>(factor, data + end - 8);
  } else {
    for (; end >= 8; end -= 8) MultiplyEight<false>(factor, data + end - 8);
  }
  while (end > 0) single(--end);
}

}  // namespace qvls::float_fft
