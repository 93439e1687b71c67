// The float FFT's table builders, one code behind every variant's builder:
// the sine table, and the twiddle tables taken from it by copies and
// negations alone, so that all variants (and tables of every order read from
// one sine table) hold the same values.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "siglib/memory/memory.h"

namespace qvls::float_fft {

// Floats from the library's allocator; null when the count does not fit
// the allocator's 32-bit size or the pool refuses the block.
inline float* NewFloats(std::int64_t count) {
  const std::int64_t bytes = 4 * count;
  if (bytes > INT32_MAX) return nullptr;
  return reinterpret_cast<float*>(qvlsAlloc_u8_px(static_cast<std::int32_t>(bytes)));
}

// Entry i of S/4 + 1: the sine of i steps for the first eighth, the cosine
// of the complement for the rest, so that no argument exceeds π/4. The step
// is the double constant 2π divided by S, taken in long double with the
// functions, and each entry is rounded to single once.
inline float* BuildSineTable(std::int32_t s) {
  const std::int64_t size = std::int64_t{1} << s;
  const std::int64_t quarter = size / 4;
  const std::int64_t eighth = size / 8;
  float* table = NewFloats(quarter + 1);
  if (table == nullptr) return nullptr;
  constexpr double kTwoPi = 6.283185307179586;
  const long double step = static_cast<long double>(kTwoPi) / static_cast<long double>(size);
  for (std::int64_t i = 0; i <= eighth; ++i) {
    table[i] = static_cast<float>(std::sin(step * static_cast<long double>(i)));
  }
  for (std::int64_t i = eighth + 1; i <= quarter; ++i) {
    table[i] = static_cast<float>(std::cos(step * static_cast<long double>(quarter - i)));
  }
  return table;
}

struct Twiddle {
  float re, im;
};

// A sine table of order s read as the quarter wave of order m <= s:
// T(k) = sin(2πk/M) = sine[k·2^(s-m)] for 0 <= k <= M/4. W^k = e^(-2πik/M)
// for 0 <= k <= 3M/4 is a copy or negation of two entries.
class QuarterWave {
 public:
  QuarterWave(const float* sine, std::int32_t m, std::int32_t s)
      : sine_(sine), stride_(std::int64_t{1} << (s - m)), quarter_((std::int64_t{1} << m) / 4) {}

  Twiddle Power(std::int64_t k) const {
    const std::int64_t q = quarter_;
    if (k <= q) return {T(q - k), -T(k)};
    if (k <= 2 * q) return {-T(k - q), -T(2 * q - k)};
    return {-T(3 * q - k), T(k - 2 * q)};
  }

  // W^d for 0 <= d < M, by half-open quadrants (the first entry of a
  // quadrant taken from its own rule): the large-order split's matrix.
  Twiddle Root(std::int64_t d) const {
    const std::int64_t q = quarter_;
    if (d < q) return {T(q - d), -T(d)};
    if (d < 2 * q) return {-T(d - q), -T(2 * q - d)};
    if (d < 3 * q) return {-T(3 * q - d), T(d - 2 * q)};
    return {T(d - 3 * q), T(4 * q - d)};
  }

 private:
  float T(std::int64_t k) const { return sine_[k * stride_]; }

  const float* sine_;
  std::int64_t stride_;
  std::int64_t quarter_;
};

inline constexpr std::int32_t kRecordFloats = 6;  // W^i, W^2i, W^3i

// px and m6: records i = 0..M/4 of W^i, W^2i, W^3i.
inline float* BuildTwiddleRecords(std::int32_t m, const float* sine, std::int32_t s) {
  const std::int64_t quarter = (std::int64_t{1} << m) / 4;
  float* table = NewFloats(kRecordFloats * (quarter + 1));
  if (table == nullptr) return nullptr;
  const QuarterWave wave(sine, m, s);
  for (std::int64_t i = 0; i <= quarter; ++i) {
    float* record = table + kRecordFloats * i;
    for (std::int64_t power = 1; power <= 3; ++power) {
      const Twiddle w = wave.Power(power * i);
      record[2 * power - 2] = w.re;
      record[2 * power - 1] = w.im;
    }
  }
  return table;
}

inline constexpr std::int32_t kGroupFloats = 24;  // four lanes of W^k, W^2k, W^3k, re and im apart

// The order of the first block of a pass table of order m: that of the first
// radix-4 pass with twiddles other than the eighth turns (16 points when m is
// even, 32 when m is odd).
constexpr std::int32_t FirstPassBlockOrder(std::int32_t m) { return m % 2 == 0 ? 4 : 5; }

// a6 and w7: the pass blocks of sizes c = 2^j for j = 4 or 5, j + 2, ... m.
inline float* BuildPassTable(std::int32_t m, const float* sine, std::int32_t s) {
  const std::int64_t size = std::int64_t{1} << m;
  const std::int64_t count = size <= 8 ? 2 : 2 * size;
  float* table = NewFloats(count);
  if (table == nullptr) return nullptr;
  std::memset(table, 0, 4 * static_cast<std::size_t>(count));
  if (size <= 8) return table;
  float* group = table;
  for (std::int32_t j = FirstPassBlockOrder(m); j <= m; j += 2) {
    const QuarterWave wave(sine, j, s);
    const std::int64_t quarter = (std::int64_t{1} << j) / 4;
    for (std::int64_t k0 = 0; k0 < quarter; k0 += 4, group += kGroupFloats) {
      for (std::int64_t lane = 0; lane < 4; ++lane) {
        for (std::int64_t power = 1; power <= 3; ++power) {
          const Twiddle w = wave.Power(power * (k0 + lane));
          group[8 * (power - 1) + lane] = w.re;
          group[8 * (power - 1) + 4 + lane] = w.im;
        }
      }
    }
  }
  return table;
}

// The block path's table of order m (px, m6): W^i for i < M/4, as pairs
// (room for one pair at least).
inline float* BuildBlockTwiddles(std::int32_t m, const float* sine, std::int32_t s) {
  const std::int64_t quarter = (std::int64_t{1} << m) / 4;
  float* table = NewFloats(2 * (quarter > 1 ? quarter : 1));
  if (table == nullptr) return nullptr;
  const QuarterWave wave(sine, m, s);
  for (std::int64_t i = 0; i < quarter; ++i) {
    const Twiddle w = wave.Power(i);
    table[2 * i] = w.re;
    table[2 * i + 1] = w.im;
  }
  return table;
}

// The order of the smallest merge of the a6 block path: two leaves of
// 1024 points.
inline constexpr std::int32_t kSmallestBlockLevel = 11;

// a6: one level per order l from m down to 11, each W_(2^l)^i for
// i < 2^l/4 in groups of four (the four real parts, then the four imaginary
// parts), each level right behind the one before (M floats of room).
inline float* BuildBlockLevels(std::int32_t m, const float* sine, std::int32_t s) {
  float* table = NewFloats(std::int64_t{1} << m);
  if (table == nullptr) return nullptr;
  float* level = table;
  for (std::int32_t l = m; l >= kSmallestBlockLevel; --l) {
    const QuarterWave wave(sine, l, s);
    const std::int64_t quarter = (std::int64_t{1} << l) / 4;
    for (std::int64_t i = 0; i < quarter; ++i) {
      const Twiddle w = wave.Power(i);
      level[8 * (i / 4) + i % 4] = w.re;
      level[8 * (i / 4) + 4 + i % 4] = w.im;
    }
    level += 2 * quarter;
  }
  return table;
}

}  // namespace qvls::float_fft
