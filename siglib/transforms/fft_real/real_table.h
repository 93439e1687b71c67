// The recombination table builders, one code behind every variant's: the
// same values in every variant, laid out as pairs (px, m6) or in groups of
// four (a6, w7).
#pragma once

#include <cstdint>

#include "siglib/transforms/fft_context/fft_tables.h"

namespace qvls::fft_real {

// T(k) of real order n from its sine table: 0.5·S is exact, 0.5 - 0.5·S is
// rounded once.
struct RealTwiddle {
  float c, s;
};
inline RealTwiddle At(const float* sine, std::int64_t quarter, std::int64_t k) {
  return {0.5f * sine[quarter - k], 0.5f - 0.5f * sine[k]};
}

inline float* BuildPairs(std::int32_t n, const float* sine) {
  const std::int64_t quarter = (std::int64_t{1} << n) / 4;
  float* table = float_fft::NewFloats(2 * quarter);
  if (table == nullptr) return nullptr;
  for (std::int64_t k = 0; k < quarter; ++k) {
    const RealTwiddle t = At(sine, quarter, k);
    table[2 * k] = t.c;
    table[2 * k + 1] = t.s;
  }
  return table;
}

inline float* BuildGroups(std::int32_t n, const float* sine) {
  const std::int64_t quarter = (std::int64_t{1} << n) / 4;
  float* table = float_fft::NewFloats(2 * quarter);
  if (table == nullptr) return nullptr;
  for (std::int64_t k = 1; k <= quarter; ++k) {
    const RealTwiddle t = At(sine, quarter, k);
    float* group = table + 8 * ((k - 1) / 4);
    const std::int64_t lane = (k - 1) % 4;
    group[lane] = t.c;
    group[4 + lane] = t.s;
  }
  return table;
}

}  // namespace qvls::fft_real
