// The radix passes of a6 and w7 over 128-bit single-precision vectors, one
// code over the element moves P (A6Pairs or W7Pairs): a6 and w7 evaluate the
// same expressions on the same operands, so their results agree bit for bit.
//
// The passes work in the split-by-4 layout (element 4g+u: real part at float
// 8g+u, imaginary part at 8g+4+u), four butterflies per vector step, in a
// 16-byte aligned working area: the output itself when it is aligned (and,
// for the reordering kernel, not the input), else the caller's work buffer
// of 8N bytes.
//
// The first sweep fuses the 4-point pass with the pass after it: for an odd
// order, pairs of 4-point results go through the radix-2 pass with the
// eighth-turn factors; for an even order, quadruples go through the span-4
// pass with the first block of the pass table. Both use full complex
// products for every lane. The remaining radix-4 passes (spans 8 or 16, then
// times 4) read one table block each. Last, the result is interleaved into
// the output (or left split, or copied split, as the in-place kernel's flag
// says).
#pragma once

#include <xmmintrin.h>

#include <bit>
#include <cstddef>
#include <cstdint>

#include "siglib/memory/alignment.h"
#include "siglib/transforms/fft_context/fft_tables.h"
#include "siglib/transforms/fft_radix/split_complex.h"

namespace qvls::fft_radix {

inline bool IsOddOrder(std::int32_t n) { return (n & 0xAAAAAAAA) != 0; }

// e^(-2πij/8) in lane j; c = 0x3F3504F4, one unit above the single nearest
// sqrt(1/2).
inline Split4 EighthTurns() {
  const float c = std::bit_cast<float>(0x3F3504F4u);
  return {_mm_setr_ps(1.0f, c, 0.0f, -c), _mm_setr_ps(0.0f, -c, -1.0f, -c)};
}

// The 4-point pass of one quadruple y0..y3 (y01 = {y0, y1} and y23 =
// {y2, y3} as loaded pairs): output t in lane t. a = y0 + y1, b = y0 - y1,
// c = y2 + y3, d = y2 - y3; out0 = a + c, out2 = a - c, out1 = b - i·d and
// out3 = b + i·d forward (exchanged inverse). A subtraction is the addition
// of the negated operand, so every lane gets exactly the butterfly's value.
template <Direction D>
Split4 FourPoint(__m128 y01, __m128 y23) {
  const __m128 negate_high = _mm_setr_ps(0.0f, 0.0f, -0.0f, -0.0f);  // sign bits to flip
  const __m128 ab = _mm_add_ps(_mm_movelh_ps(y01, y01),              // {a, b} = {y0 + y1, y0 - y1}
                               _mm_xor_ps(_mm_movehl_ps(y01, y01), negate_high));
  const __m128 cd = _mm_add_ps(_mm_movelh_ps(y23, y23),  // {c, d}
                               _mm_xor_ps(_mm_movehl_ps(y23, y23), negate_high));
  // re: {a, b, a, b} + {c, ±Im d, -c, ∓Im d}; im: {a, b, a, b} + {c, ∓Re d, -c, ±Re d}.
  constexpr bool kFwd = D == Direction::kForward;
  const __m128 re_signs = _mm_setr_ps(0.0f, kFwd ? 0.0f : -0.0f, -0.0f, kFwd ? -0.0f : 0.0f);
  const __m128 im_signs = _mm_setr_ps(0.0f, kFwd ? -0.0f : 0.0f, -0.0f, kFwd ? 0.0f : -0.0f);
  const __m128 re =
      _mm_add_ps(_mm_shuffle_ps(ab, ab, _MM_SHUFFLE(2, 0, 2, 0)),
                 _mm_xor_ps(_mm_shuffle_ps(cd, cd, _MM_SHUFFLE(3, 0, 3, 0)), re_signs));
  const __m128 im =
      _mm_add_ps(_mm_shuffle_ps(ab, ab, _MM_SHUFFLE(3, 1, 3, 1)),
                 _mm_xor_ps(_mm_shuffle_ps(cd, cd, _MM_SHUFFLE(2, 1, 2, 1)), im_signs));
  return {re, im};
}

// The radix-4 butterflies of four lanes: t1 = W^2j·b1, t2 = W^j·b2,
// t3 = W^3j·b3 from the six vectors of a table group; outputs into the four
// quarters.
template <Direction D>
void Butterflies(Split4 b0, Split4 b1, Split4 b2, Split4 b3, const float* twiddle, float* q0,
                 float* q1, float* q2, float* q3) {
  const Split4 t1 = Multiply<D>(LoadGroup(twiddle + 8), b1);
  const Split4 t2 = Multiply<D>(LoadGroup(twiddle), b2);
  const Split4 t3 = Multiply<D>(LoadGroup(twiddle + 16), b3);
  const Split4 s = b0 + t1, d = b0 - t1, u = t2 + t3, v = t2 - t3;
  StoreGroup(q0, u + s);
  StoreGroup(q2, s - u);
  StoreGroup(q1, D == Direction::kForward ? MinusITimes(d, v) : PlusITimes(d, v));
  StoreGroup(q3, D == Direction::kForward ? PlusITimes(d, v) : MinusITimes(d, v));
}

// The fused first sweep. fetch(q, y01, y23) loads the pairs of quadruple q
// (q = 0, 1, ...); more(q) says whether quadruple q exists after q - 1.
template <Direction D, class Fetch, class More>
void FirstSweep(float* area, std::int32_t n, const float* twiddles, Fetch fetch, More more) {
  auto quadruple = [&](std::int32_t q) {
    __m128 y01, y23;
    fetch(q, y01, y23);
    return FourPoint<D>(y01, y23);
  };
  if (IsOddOrder(n)) {
    const Split4 eighths = EighthTurns();
    std::int32_t q = 0;
    do {
      const Split4 lower = quadruple(q), upper = quadruple(q + 1);
      const Split4 t = Multiply<D>(eighths, upper);
      StoreGroup(area + 8 * q, lower + t);
      StoreGroup(area + 8 * q + 8, lower - t);
      q += 2;
    } while (more(q));
    return;
  }
  std::int32_t q = 0;
  do {
    const Split4 b0 = quadruple(q), b1 = quadruple(q + 1), b2 = quadruple(q + 2),
                 b3 = quadruple(q + 3);
    float* block = area + 8 * q;
    Butterflies<D>(b0, b1, b2, b3, twiddles, block, block + 8, block + 16, block + 24);
    q += 4;
  } while (more(q));
}

// 32, 64 and 96 bytes into the twiddle group after this one.
template <class P>
void PrefetchNextGroup(const float* group) {
  constexpr std::ptrdiff_t kNext = 4 * float_fft::kGroupFloats;
  for (std::ptrdiff_t bytes = 32; bytes <= 96; bytes += 32) P::Prefetch(group, kNext + bytes);
}

// The radix-4 passes after the first sweep, on the working area: span 8
// (odd order) or 16 (even), then times 4 up to n/4, each with its block of
// the pass table (6·span floats). a6 prefetches its span-256 twiddles.
template <class P, Direction D>
void LaterPasses(float* area, std::int32_t n, const float* twiddles) {
  std::int32_t span = IsOddOrder(n) ? 8 : 16;
  const float* block = twiddles + (IsOddOrder(n) ? 0 : 24);
  for (; 4 * span <= n; block += 6 * span, span *= 4) {
    for (std::int32_t base = 0; base < n; base += 4 * span) {
      for (std::int32_t j = 0; j < span; j += 4) {
        const float* twiddle = block + 6 * j;  // group j/4: 24 floats
        if (span == 256) PrefetchNextGroup<P>(twiddle);
        float* q0 = area + 2 * (base + j);
        float* q1 = q0 + 2 * span;
        float* q2 = q1 + 2 * span;
        float* q3 = q2 + 2 * span;
        Butterflies<D>(LoadGroup(q0), LoadGroup(q1), LoadGroup(q2), LoadGroup(q3), twiddle, q0, q1,
                       q2, q3);
      }
    }
  }
}

// The split-by-4 area into interleaved order in `out` (which may be the
// area itself), 8 elements per step: aligned 16-byte stores when out lies on
// a 16-byte boundary, 8-byte stores otherwise.
template <class P>
void Interleave(const float* area, float* out, std::int32_t n) {
  const bool aligned = IsOnBoundary(out, 16);
  for (std::int32_t e = 0; e < n; e += 8) {
    const Split4 first = LoadGroup(area + 2 * e), second = LoadGroup(area + 2 * e + 8);
    const __m128 pairs[4] = {
        _mm_unpacklo_ps(first.re, first.im), _mm_unpackhi_ps(first.re, first.im),
        _mm_unpacklo_ps(second.re, second.im), _mm_unpackhi_ps(second.re, second.im)};
    float* to = out + 2 * e;
    for (std::int32_t k = 0; k < 4; ++k) {
      if (aligned) {
        _mm_store_ps(to + 4 * k, pairs[k]);
      } else {
        P::StoreLow(to + 4 * k, pairs[k]);
        P::StoreHigh(to + 4 * k + 2, pairs[k]);
      }
    }
  }
}

// Reordering kernel: src (natural order, any alignment) to dst through the
// quarter list; src may equal dst.
template <class P, Direction D>
void Reordering(const float* src, float* dst, std::int32_t n, const float* twiddles,
                const std::int32_t* list, float* work) {
  float* area = src != dst && IsOnBoundary(dst, 16) ? dst : work;
  // List entry 2r reads x(r), x(r + n/2), x(r + n/4), x(r + 3n/4): the
  // bit-reversed quadruple whose first element's index has r as its
  // reversed upper bits.
  const auto fetch = [&](std::int32_t q, __m128& y01, __m128& y23) {
    const float* x = src + list[q];
    y01 = P::Load(x, x + n);
    y23 = P::Load(x + n / 2, x + 3 * n / 2);
  };
  FirstSweep<D>(area, n, twiddles, fetch, [&](std::int32_t q) { return list[q] > 0; });
  LaterPasses<P, D>(area, n, twiddles);
  Interleave<P>(area, dst, n);
}

// In-place kernel: data in bit-reversed order. interleave 1 leaves the
// transform interleaved in data; any other value leaves it split by 4.
template <class P, Direction D>
void InPlace(float* data, std::int32_t n, const float* twiddles, float* work,
             std::int32_t interleave) {
  float* area = IsOnBoundary(data, 16) ? data : work;
  const auto fetch = [&](std::int32_t q, __m128& y01, __m128& y23) {
    const float* x = data + 8 * q;
    y01 = P::LoadTwo(x);
    y23 = P::LoadTwo(x + 4);
  };
  FirstSweep<D>(area, n, twiddles, fetch, [&](std::int32_t q) { return 4 * q < n; });
  LaterPasses<P, D>(area, n, twiddles);
  if (interleave == 1) {
    Interleave<P>(area, data, n);
  } else if (area != data) {
    for (std::int32_t f = 0; f < 2 * n; f += 4) _mm_storeu_ps(data + f, _mm_load_ps(area + f));
  }
}

}  // namespace qvls::fft_radix
