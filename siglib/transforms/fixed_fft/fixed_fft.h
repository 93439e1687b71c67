// The fixed-point FFT behind the 16-bit FFT's small orders: Q14 tables,
// radix-4 passes and the real recombination on complex 32-bit integers, and
// the m6, a6 and w7 twins of the three conversions around them (the generic
// forms are in siglib/convert/convert.h).
//
// Working data: complex values of two 32-bit words {re, im}, interleaved.
// The passes and the recombination keep unit gain in their products, let
// their sums grow with the transform and wrap every sum and product modulo
// 2^32; nothing saturates before the final rounding shift.
//
// Q14 pair product prod(p, q; u, v) ~ (p·u + q·v) / 2^14, each operand split
// into H(x) = x >> 16 and L(x) = (x & 0xFFFF) >> 1 so that every
// multiplication is 16 by 16 bits:
//   ((L(p)·u + L(q)·v + 4096) >> 13) + 4·(H(p)·u + H(q)·v)
// The generic variant rounds its low part so (the + 4096); m6, a6 and w7
// truncate it. Bit 0 of each operand is lost.
#pragma once

#include <cstdint>

// Sine table of order n (N = 2^n): N/4 + 1 entries, entry i the integer
// nearest to 16384·sin(2πi/N); orders 0 and 1 give the single entry 0. From
// qvlsAlloc_u8; null when the pool refuses the block.
using qvlsFFTSineTable_i16_fn = std::int16_t*(std::int32_t order);
qvlsFFTSineTable_i16_fn qvlsFFTSineTable_i16_px, qvlsFFTSineTable_i16_m6, qvlsFFTSineTable_i16_a6,
    qvlsFFTSineTable_i16_w7;

// Twiddle table of order n, read from a sine table of order r >= n: N records
// (cs, sn, -sn, cs) with cs + i·sn = e^(2πij/N) in Q14, so that record j,
// read as two pairs, rotates z by e^(-2πij/N):
//   (prod(z.re, z.im; cs, sn), prod(z.re, z.im; -sn, cs)).
// Orders 0 and 1 give zero records, which no routine reads. From
// qvlsAlloc_u8 (8N bytes); null when the pool refuses the block. m6 uses the
// a6 builder.
using qvlsFFTTwiddleTable_ci16_fn = std::int16_t*(std::int32_t order, const std::int16_t* sine,
                                                  std::int32_t sine_order);
qvlsFFTTwiddleTable_ci16_fn qvlsFFTTwiddleTable_ci16_px, qvlsFFTTwiddleTable_ci16_a6,
    qvlsFFTTwiddleTable_ci16_w7;

// Forward radix passes on n >= 2 (a power of two) complex values in place,
// with the twiddle table of order log2 n: position rev(k) ends up holding
// X(k) = Σ x(m)·e^(-2πimk/n), at the scale of the input.
using qvlsFFTFwdRadix_ci32_ip_fn = void(std::int32_t* data, std::int32_t n,
                                        const std::int16_t* twiddles);
qvlsFFTFwdRadix_ci32_ip_fn qvlsFFTFwdRadix_ci32_ip_px_kernel, qvlsFFTFwdRadix_ci32_ip_m6_kernel,
    qvlsFFTFwdRadix_ci32_ip_a6_kernel, qvlsFFTFwdRadix_ci32_ip_w7_kernel;

// Forward real recombination in place: data holds Z(0..m-1), the natural-order
// DFT of z(k) = x(2k) + i·x(2k+1) (m >= 2, a power of two); afterwards Z(k)
// holds X(k) of the 2m-point real DFT for 1 <= k < m, with the twiddle table
// of order log2 2m. Z(0) is left as it is.
using qvlsFFTRealRecombine_i32_fn = void(std::int32_t* data, std::int32_t m,
                                         const std::int16_t* twiddles);
qvlsFFTRealRecombine_i32_fn qvlsFFTRealRecombine_i32_px, qvlsFFTRealRecombine_i32_m6,
    qvlsFFTRealRecombine_i32_a6, qvlsFFTRealRecombine_i32_w7;

// The conversion twins: the same results as the generic forms; no checks, a
// count of 0 or less writes nothing. One code in m6, a6 and w7.
//
// Pre-shift: dst[i] = src[i]·2^shift, shift 0..16.
using qvlsConvertShift_i16toi32_fn = void(const std::int16_t* src, std::int32_t* dst,
                                          std::int32_t len, std::int32_t shift);
qvlsConvertShift_i16toi32_fn qvlsConvertShift_i16toi32_m6, qvlsConvertShift_i16toi32_a6,
    qvlsConvertShift_i16toi32_w7;
// Rounding shift: dst[i] = src[i]·2^-s rounded to nearest with ties toward
// +infinity, saturated to 16 bits; exact for every 32-bit value (no rounding
// addition that wraps). Shifts beyond 32 act as 32, below -31 as -31.
using qvlsConvertScaled_i32toi16_fn = void(const std::int32_t* src, std::int16_t* dst,
                                           std::int32_t len, std::int32_t s);
qvlsConvertScaled_i32toi16_fn qvlsConvertScaled_i32toi16_m6, qvlsConvertScaled_i32toi16_a6,
    qvlsConvertScaled_i32toi16_w7;
// x becomes floor(x·23170 / 32768), two values at a time from the end.
using qvlsMulInvSqrt2_i32_ip_fn = void(std::int32_t* srcdst, std::int32_t len);
qvlsMulInvSqrt2_i32_ip_fn qvlsMulInvSqrt2_i32_ip_m6, qvlsMulInvSqrt2_i32_ip_a6,
    qvlsMulInvSqrt2_i32_ip_w7;
