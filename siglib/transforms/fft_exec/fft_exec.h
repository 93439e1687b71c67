// The float power-of-two FFT's transforms: complex forward and inverse, real
// forward, each over a context of fft_context/fft_context.h, and the
// in-place multiply by a constant that scales every float transform.
//
// Checks, in order: context null -8, context of the other kind -17, src null
// -8, dst null -8; nothing is written then. Orders 0 to 3 run the small
// kernels; larger ones the bit reversal and radix passes, with a work buffer
// of the context's work_size: the caller's from its first 16-byte boundary,
// or (when work is null and the size is not 0) one allocated for the call,
// -9 with dst untouched when that fails. src may equal dst.
//
// Complex: N = 2^order interleaved {re, im} values in and out. Real: N
// samples in, the N/2 + 1 bins X(0)..X(N/2) out as N + 2 floats, the
// imaginary parts of X(0) and X(N/2) exactly 0 ({x0, 0} for N = 1); in place
// the buffer holds N + 2 floats.
#pragma once

#include <cstdint>

#include "siglib/transforms/fft_context/fft_context.h"

using qvlsFFTFwd_cf32_fn = qvls_status(const float* src, float* dst, const fft_context* context,
                                       std::uint8_t* work);

#define QVLS_DECLARE_FLOAT_FFT_TRANSFORMS(tag) \
  qvlsFFTFwd_cf32_fn qvlsFFTFwd_cf32_##tag, qvlsFFTInv_cf32_##tag, qvlsFFTFwd_f32_##tag;
QVLS_DECLARE_FLOAT_FFT_TRANSFORMS(px)
QVLS_DECLARE_FLOAT_FFT_TRANSFORMS(m6)
QVLS_DECLARE_FLOAT_FFT_TRANSFORMS(a6)
QVLS_DECLARE_FLOAT_FFT_TRANSFORMS(w7)
#undef QVLS_DECLARE_FLOAT_FFT_TRANSFORMS

// data[i] = data[i]·value rounded to single, for i < count (data at any
// address); no status. The same results in every variant: px (serving m6)
// in double, four at a time then singly; a6 and w7 (one code) from the end,
// singly up to a 16-byte boundary, then eight per step, then singly.
using qvlsMulConst_f32_ip_fn = void(float value, float* data, std::int32_t count);
qvlsMulConst_f32_ip_fn qvlsMulConst_f32_ip_px, qvlsMulConst_f32_ip_a6, qvlsMulConst_f32_ip_w7;
