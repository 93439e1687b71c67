// The float FFT's radix passes: the unscaled transform of N = 2^n complex
// floats (interleaved {re, im}) by a 4-point pass, a radix-2 pass for odd n
// and radix-4 passes of growing span. They check nothing; their tables come
// from a context of the same order (fft_context/fft_context.h).
#pragma once

#include <cstdint>

// px and m6 (the same passes): in place on N = 4..1024 elements in
// bit-reversed order, with the twiddle records; the result in natural order.
using qvlsFFTRadix_cf32_ip_fn = void(float* data, std::int32_t n, const float* twiddles);
qvlsFFTRadix_cf32_ip_fn qvlsFFTFwdRadix_cf32_ip_px_kernel, qvlsFFTInvRadix_cf32_ip_px_kernel,
    qvlsFFTFwdRadix_cf32_ip_m6_kernel, qvlsFFTInvRadix_cf32_ip_m6_kernel;

// a6 and w7 (bit for bit the same results), with the pass table. N = 8..2^L
// (a6 L = 10, w7 L = 14). `work` is 8N bytes on a 16-byte boundary, needed
// where the kernel cannot work in its output (it may be null otherwise).
//
// Reordering: src in natural order (any alignment; it may equal dst)
// through the quarter list into dst, the bit reversal fused with the first
// pass; the work buffer serves when src equals dst or dst is not on a
// 16-byte boundary. Gives the same bits as the bit reversal followed by the
// in-place kernel with interleave 1. The transforms run it up to order 9
// (a6) and 13 (w7).
using qvlsFFTRadix_cf32_fn = void(const float* src, float* dst, std::int32_t n,
                                  const float* twiddles, const std::int32_t* list,
                                  std::uint8_t* work);
qvlsFFTRadix_cf32_fn qvlsFFTFwdRadix_cf32_a6_kernel, qvlsFFTInvRadix_cf32_a6_kernel,
    qvlsFFTFwdRadix_cf32_w7_kernel, qvlsFFTInvRadix_cf32_w7_kernel;
// In place on data in bit-reversed order; the work buffer serves when data
// is not on a 16-byte boundary. interleave 1: the result interleaved;
// otherwise split by 4 (element 4g+u: real part at float 8g+u, imaginary
// part at 8g+4+u).
using qvlsFFTRadix_cf32_ip_vector_fn = void(float* data, std::int32_t n, const float* twiddles,
                                            std::uint8_t* work, std::int32_t interleave);
qvlsFFTRadix_cf32_ip_vector_fn qvlsFFTFwdRadix_cf32_ip_a6_kernel, qvlsFFTInvRadix_cf32_ip_a6_kernel,
    qvlsFFTFwdRadix_cf32_ip_w7_kernel, qvlsFFTInvRadix_cf32_ip_w7_kernel;
