// The four kernels of a vector variant (tag a6 or w7) over its element
// moves P.
#pragma once

#include "siglib/transforms/fft_radix/element_pairs.h"
#include "siglib/transforms/fft_radix/fft_radix.h"
#include "siglib/transforms/fft_radix/vector_passes.h"

#define QVLS_DEFINE_VECTOR_RADIX_KERNELS(tag, P)                                                  \
  void qvlsFFTFwdRadix_cf32_##tag##_kernel(const float* src, float* dst, std::int32_t n,          \
                                           const float* twiddles, const std::int32_t* list,       \
                                           std::uint8_t* work) {                                  \
    qvls::fft_radix::Reordering<P, qvls::fft_radix::Direction::kForward>(                         \
        src, dst, n, twiddles, list, reinterpret_cast<float*>(work));                             \
  }                                                                                               \
  void qvlsFFTInvRadix_cf32_##tag##_kernel(const float* src, float* dst, std::int32_t n,          \
                                           const float* twiddles, const std::int32_t* list,       \
                                           std::uint8_t* work) {                                  \
    qvls::fft_radix::Reordering<P, qvls::fft_radix::Direction::kInverse>(                         \
        src, dst, n, twiddles, list, reinterpret_cast<float*>(work));                             \
  }                                                                                               \
  void qvlsFFTFwdRadix_cf32_ip_##tag##_kernel(float* data, std::int32_t n, const float* twiddles, \
                                              std::uint8_t* work, std::int32_t interleave) {      \
    qvls::fft_radix::InPlace<P, qvls::fft_radix::Direction::kForward>(                            \
        data, n, twiddles, reinterpret_cast<float*>(work), interleave);                           \
  }                                                                                               \
  void qvlsFFTInvRadix_cf32_ip_##tag##_kernel(float* data, std::int32_t n, const float* twiddles, \
                                              std::uint8_t* work, std::int32_t interleave) {      \
    qvls::fft_radix::InPlace<P, qvls::fft_radix::Direction::kInverse>(                            \
        data, n, twiddles, reinterpret_cast<float*>(work), interleave);                           \
  }
