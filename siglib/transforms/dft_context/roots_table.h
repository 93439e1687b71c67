// The DFT's roots of unity. A roots table of length T holds W_T^k =
// {cos 2πk/T, -sin 2πk/T}, k = 0..T-1, as complex singles. Only one segment
// is computed with trigonometry; the rest are copies with exact sign
// changes, so the table is exactly symmetric (element T - k is the conjugate
// of element k, bit for bit). Every variant builds the same values.
#pragma once

#include <cmath>
#include <cstdint>

#include "siglib/frame/unaligned.h"
#include "siglib/transforms/dft_context/dft_context.h"
#include "siglib/transforms/dft_context/table_blocks.h"

namespace qvls::dft {

// 2π as the double constant the angles are formed from.
inline constexpr double kTwoPi = 6.283185307179586;

// Element k of interleaved complex singles.
struct Root {
  float re, im;
};
inline Root RootAt(const float* table, std::int64_t k) {
  return {LoadAt(table, 2 * k), LoadAt(table, 2 * k + 1)};
}
inline void PutRoot(float* table, std::int64_t k, Root w) {
  StoreAt(table, 2 * k, w.re);
  StoreAt(table, 2 * k + 1, w.im);
}

// Elements 0..last computed: the angle k·(2π/T) in long double, its cosine
// and negated sine rounded to single. Element 0 is {1, -0}.
inline void ComputeRoots(float* table, std::int32_t t, std::int32_t last) {
  const long double step = static_cast<long double>(kTwoPi) / t;
  for (std::int32_t k = 0; k <= last; ++k) {
    const long double angle = step * k;
    PutRoot(table, k, {static_cast<float>(std::cos(angle)), static_cast<float>(-std::sin(angle))});
  }
}

// The roots table of T (T elements); null when the pool refuses the block.
// T odd: k <= (T-1)/2 computed. T = 2 mod 4: k <= T/4 computed, then up to
// T/2 the quadrant rule W^k = {-Re W^(T/2-k), Im W^(T/2-k)}. T = 0 mod 4:
// k <= T/8 computed, up to T/4 the octant rule W^k = {-Im W^(T/4-k),
// -Re W^(T/4-k)}, then the quadrant rule. Above T/2, W^k = conj W^(T-k).
inline float* BuildRootsTable(std::int32_t t) {
  float* table = AllocateArray<float>(2 * std::int64_t{t});
  if (table == nullptr) return nullptr;
  if (t % 2 == 1) {
    ComputeRoots(table, t, (t - 1) / 2);
  } else {
    if (t % 4 == 2) {
      ComputeRoots(table, t, t / 4);
    } else {
      ComputeRoots(table, t, t / 8);
      for (std::int32_t k = t / 8 + 1; k <= t / 4; ++k) {
        const Root e = RootAt(table, t / 4 - k);
        PutRoot(table, k, {-e.im, -e.re});
      }
    }
    for (std::int32_t k = t / 4 + 1; k <= t / 2; ++k) {
      const Root e = RootAt(table, t / 2 - k);
      PutRoot(table, k, {-e.re, e.im});
    }
  }
  for (std::int32_t k = t / 2 + 1; k < t; ++k) {
    const Root e = RootAt(table, t - k);
    PutRoot(table, k, {e.re, -e.im});
  }
  return table;
}

// A dft_roots_table's values, and (a6, w7) its index entries after them.
inline const float* RootValues(const dft_roots_table* roots) {
  return reinterpret_cast<const float*>(roots);
}
inline const std::int32_t* IndexEntries(const dft_roots_table* roots, std::int32_t n) {
  return reinterpret_cast<const std::int32_t*>(RootValues(roots) + 2 * std::int64_t{n});
}

// The roots of n from a roots table of T (n divides T): element m is element
// m·(T/n) of the table. With index entries, 2n of them follow: 2·(k mod n).
template <bool kIndexEntries>
dft_roots_table* BuildRootsSubset(std::int32_t n, const float* table, std::int32_t t) {
  const std::int64_t floats = 2 * std::int64_t{n};
  auto* values = AllocateArray<float>(kIndexEntries ? 2 * floats : floats);
  if (values == nullptr) return nullptr;
  const std::int64_t step = t / n;
  for (std::int64_t m = 0; m < n; ++m) PutRoot(values, m, RootAt(table, m * step));
  if constexpr (kIndexEntries) {
    auto* entries = reinterpret_cast<std::int32_t*>(values + floats);
    for (std::int64_t k = 0; k < floats; ++k) {
      StoreAt(entries, k, static_cast<std::int32_t>(2 * (k % n)));
    }
  }
  return reinterpret_cast<dft_roots_table*>(values);
}

}  // namespace qvls::dft
