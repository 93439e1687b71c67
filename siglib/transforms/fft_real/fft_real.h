// The real forward FFT's recombination: N real samples x are transformed as
// the h = N/2 complex values z(j) = x(2j) + i·x(2j+1), Z = DFT(z); the real
// driver folds Z(0) into X(0) and X(N/2), and the recombination turns Z(k)
// and Z(h-k) into X(k) and X(h-k) for 1 <= k < N/4 and conjugates Z(N/4).
#pragma once

#include <cstdint>

// The recombination table of real order n >= 4 from the sine table S of
// order n: T(k) = (0.5·S(N/4 - k), 0.5 - 0.5·S(k)) = (0.5·cos θk,
// 0.5 - 0.5·sin θk), θk = 2πk/N, the second rounded once to single. px
// (and m6): N/4 pairs for k = 0..N/4-1. a6 and w7: k = 1..N/4 in groups of
// four (four real parts, then four imaginary parts); the last, k = N/4, is
// (0, 0). N/4·8 bytes from qvlsAlloc_u8; null when the pool refuses them.
using qvlsFFTInitRealTable_f32_fn = float*(std::int32_t n, const float* sine);
qvlsFFTInitRealTable_f32_fn qvlsFFTInitRealTable_f32_px, qvlsFFTInitRealTable_f32_m6,
    qvlsFFTInitRealTable_f32_a6, qvlsFFTInitRealTable_f32_w7;

// In place on h >= 8 interleaved complex values: for 1 <= k < h/2, with
// a = Z(k), b = Z(h-k) and T(k) = (c, s),
//   L = (Re a - Re b)·s + (Im a + Im b)·c,  M = (Im a + Im b)·s - (Re a - Re b)·c,
//   X(k) = (Re b + L, M - Im b),  X(h-k) = (Re a - L, M - Im a);
// then X(h/2) = conj Z(h/2). Element 0 is not touched. px and m6 one pair
// at a time in double, a6 and w7 four pairs per step in single precision.
using qvlsFFTRealRecombine_f32_fn = void(float* data, std::int32_t h, const float* table);
qvlsFFTRealRecombine_f32_fn qvlsFFTRealRecombine_f32_px, qvlsFFTRealRecombine_f32_m6,
    qvlsFFTRealRecombine_f32_a6, qvlsFFTRealRecombine_f32_w7;
