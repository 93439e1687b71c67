// Bluestein's algorithm: a DFT of any length N as a circular convolution of
// power-of-two length M >= 2N - 1, for the lengths above 150 that the
// mixed-radix plan cannot take. The set-up builds the chirp c[n] =
// W_2N^(n²), the spectrum of the filter conj c (divided by M) and the inner
// FFT of length M (flag 8, hint 0); a transform costs three element-wise
// products and two FFTs of length M, and applies no factor.
#pragma once

#include <cstdint>

#include "siglib/transforms/dft_context/dft_context.h"

// Into a context of length N: bluestein_length, chirp, chirp_spectrum,
// bluestein_fft and work_size (8M + 16 + the inner FFT's). -9 when a size
// does not fit 32 bits (before anything is allocated) or a table cannot be
// allocated; the inner FFT's status when its create or its transform of the
// filter fails. What was stored stays for the release.
using qvlsDFTInitBluestein_cf32_fn = qvls_status(dft_context* context, std::int32_t n);
// dst = the unscaled transform of src (direction +1 forward, -1 inverse;
// src may equal dst); work: 16-byte aligned, M elements then the inner
// FFT's work area. An inner FFT's error is returned at once.
using qvlsDFTBluestein_cf32_fn = qvls_status(const dft_context* context, const float* src,
                                             float* dst, std::int32_t n, std::int32_t direction,
                                             std::uint8_t* work);

// Element-wise, on n interleaved complex singles at any address; no checks.
// dst[k] = a[k]·b[k] (Re = Re a·Re b - Im a·Im b, Im = Im a·Re b + Re a·Im
// b); dst may equal b.
using qvlsMul_cf32_fn = void(const float* a, const float* b, float* dst, std::int32_t n);
// n elements set to (+0, +0).
using qvlsZero_cf32_fn = void(float* dst, std::int32_t n);
// dst[k] = (Re src[k], -Im src[k]), the sign flipped exactly.
using qvlsConj_cf32_fn = void(const float* src, float* dst, std::int32_t n);

#define QVLS_DECLARE_BLUESTEIN_ENTRIES(tag)                     \
  qvlsDFTInitBluestein_cf32_fn qvlsDFTInitBluestein_cf32_##tag; \
  qvlsDFTBluestein_cf32_fn qvlsDFTBluestein_cf32_##tag;         \
  qvlsZero_cf32_fn qvlsZero_cf32_##tag;
QVLS_DECLARE_BLUESTEIN_ENTRIES(px)
QVLS_DECLARE_BLUESTEIN_ENTRIES(m6)
QVLS_DECLARE_BLUESTEIN_ENTRIES(a6)
QVLS_DECLARE_BLUESTEIN_ENTRIES(w7)
#undef QVLS_DECLARE_BLUESTEIN_ENTRIES
// px's product serves m6, a6's code is w7's too; px's conjugate serves m6
// and a6, w7's is the same code.
qvlsMul_cf32_fn qvlsMul_cf32_px, qvlsMul_cf32_a6, qvlsMul_cf32_w7;
qvlsConj_cf32_fn qvlsConj_cf32_px, qvlsConj_cf32_w7;
