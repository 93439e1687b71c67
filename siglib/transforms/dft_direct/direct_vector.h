// The direct kernel of a6 and w7 in 128-bit single precision. A pair record
// holds the four values that one multiply-add takes: {Re s, Re d, Im s,
// Im d} times {Re w, Im w, Re w, Im w} in a6, {Re s, Im s, Re d, Im d}
// times {Re w, Re w, Im w, Im w} in w7, so that both form the same products
// and sums lane for lane and give the same bits.
//
// For output j the four sums o = Re x0 + Σ Re w·Re s, m = Im x0 + Σ Re w·Im
// s, t = Σ Im w·Re d and l = Σ Im w·Im d run as two partial sums: the first
// from x0 over the pairs 1, 3, 5, ..., the second from zero over 2, 4, ...;
// the second is added to the first, then the last pair when their count is
// odd. X[j] = (o - l, m + t) and X[N-j] = (o + l, m - t) forward (exchanged
// inverse). The root index is kept doubled (a float offset) and stepped by
// the table's index entries, without a division.
#pragma once

#include <xmmintrin.h>

#include <cstddef>
#include <cstdint>

#include "siglib/frame/unaligned.h"
#include "siglib/transforms/dft_context/roots_table.h"
#include "siglib/transforms/dft_direct/dft_direct.h"

namespace qvls::dft_direct {

// The four sums of one output as a layout keeps them.
struct Sums {
  float o, m, t, l;
};

// a6: records {Re s, Re d, Im s, Im d}, sums in lanes (o, t, m, l).
struct SumDifferenceLayout {
  static __m128 Record(float sr, float si, float dr, float di) {
    return _mm_setr_ps(sr, dr, si, di);
  }
  static __m128 Start(float re, float im) { return _mm_setr_ps(re, 0.0f, im, 0.0f); }
  static __m128 Spread(__m128 w) { return _mm_movelh_ps(w, w); }
  static Sums Read(const float (&lanes)[4]) { return {lanes[0], lanes[2], lanes[1], lanes[3]}; }
};

// w7: records {Re s, Im s, Re d, Im d}, sums in lanes (o, m, t, l).
struct PairLayout {
  static __m128 Record(float sr, float si, float dr, float di) {
    return _mm_setr_ps(sr, si, dr, di);
  }
  static __m128 Start(float re, float im) { return _mm_setr_ps(re, im, 0.0f, 0.0f); }
  static __m128 Spread(__m128 w) { return _mm_unpacklo_ps(w, w); }
  static Sums Read(const float (&lanes)[4]) { return {lanes[0], lanes[1], lanes[2], lanes[3]}; }
};

template <class Layout>
void DirectVector(const float* src, float* dst, std::int32_t n, std::int32_t direction,
                  const dft_roots_table* roots, std::uint8_t* work) {
  const std::int32_t p = (n - 1) / 2;
  auto* records = reinterpret_cast<float*>(work);
  const float x0_re = LoadAt(src, 0), x0_im = LoadAt(src, 1);
  float sum_re = x0_re, sum_im = x0_im;
  for (std::ptrdiff_t k = 1; k <= p; ++k) {
    const float a_re = LoadAt(src, 2 * k), a_im = LoadAt(src, 2 * k + 1);
    const float b_re = LoadAt(src, 2 * (n - k)), b_im = LoadAt(src, 2 * (n - k) + 1);
    const float s_re = a_re + b_re, s_im = a_im + b_im;
    _mm_store_ps(records + 4 * (k - 1), Layout::Record(s_re, s_im, a_re - b_re, a_im - b_im));
    sum_re += s_re;
    sum_im += s_im;
  }
  StoreAt(dst, 0, sum_re);
  StoreAt(dst, 1, sum_im);

  const float* w = dft::RootValues(roots);
  const std::int32_t* entries = dft::IndexEntries(roots, n);
  for (std::int32_t j = 1; j <= p; ++j) {
    // The odd and the even pairs step their own doubled index by 2j, so
    // that neither lookup waits for the other: W^(kj) for k = 1, 3, 5, ...
    // and k = 2, 4, ... (index + 2j stays below the 2N entries).
    std::int32_t odd = 2 * j, even = LoadAt(entries, 2 * j);
    auto times_root = [&](std::int32_t& at, std::ptrdiff_t k) {
      const __m128 root = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(w + at));
      at = LoadAt(entries, at / 2 + 2 * j);
      return _mm_mul_ps(_mm_load_ps(records + 4 * k), Layout::Spread(root));
    };
    __m128 first = Layout::Start(x0_re, x0_im);
    __m128 second = _mm_setzero_ps();
    std::ptrdiff_t k = 0;
    for (; k + 1 < p; k += 2) {
      first = _mm_add_ps(first, times_root(odd, k));
      second = _mm_add_ps(second, times_root(even, k + 1));
    }
    first = _mm_add_ps(first, second);
    if (k < p) first = _mm_add_ps(first, times_root(odd, k));
    float lanes[4];
    _mm_storeu_ps(lanes, first);
    const Sums s = Layout::Read(lanes);
    const float plus_re = s.o - s.l, plus_im = s.m + s.t;
    const float minus_re = s.o + s.l, minus_im = s.m - s.t;
    const std::ptrdiff_t forward_at = direction < 0 ? n - j : j;
    const std::ptrdiff_t mirror_at = direction < 0 ? j : n - j;
    StoreAt(dst, 2 * forward_at, plus_re);
    StoreAt(dst, 2 * forward_at + 1, plus_im);
    StoreAt(dst, 2 * mirror_at, minus_re);
    StoreAt(dst, 2 * mirror_at + 1, minus_im);
  }
}

}  // namespace qvls::dft_direct
