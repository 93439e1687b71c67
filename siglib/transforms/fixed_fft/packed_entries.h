// The entries of a packed variant (tag m6, a6 or w7) over its complex
// arithmetic: sine table, passes, recombination and the conversion twins.
// Only the arithmetic differs between the variants, in how it builds its
// word pairs.
#pragma once

#include "siglib/transforms/fixed_fft/fixed_fft.h"
#include "siglib/transforms/fixed_fft/packed_arithmetic.h"
#include "siglib/transforms/fixed_fft/packed_conversions.h"
#include "siglib/transforms/fixed_fft/q14_tables.h"
#include "siglib/transforms/fixed_fft/radix_passes.h"
#include "siglib/transforms/fixed_fft/real_recombine.h"

#define QVLS_DEFINE_PACKED_FIXED_FFT(tag, Arithmetic)                               \
  std::int16_t* qvlsFFTSineTable_i16_##tag(std::int32_t order) {                    \
    return qvls::fixed_fft::BuildSineTable(order);                                  \
  }                                                                                 \
  void qvlsFFTFwdRadix_ci32_ip_##tag##_kernel(std::int32_t* data, std::int32_t n,   \
                                              const std::int16_t* twiddles) {       \
    qvls::fixed_fft::ForwardRadix<Arithmetic>(data, n, twiddles);                   \
  }                                                                                 \
  void qvlsFFTRealRecombine_i32_##tag(std::int32_t* data, std::int32_t m,           \
                                      const std::int16_t* twiddles) {               \
    qvls::fixed_fft::RealRecombine<Arithmetic>(data, m, twiddles);                  \
  }                                                                                 \
  void qvlsConvertShift_i16toi32_##tag(const std::int16_t* src, std::int32_t* dst,  \
                                       std::int32_t len, std::int32_t shift) {      \
    qvls::fixed_fft::packed::PreShift(src, dst, len, shift);                        \
  }                                                                                 \
  void qvlsConvertScaled_i32toi16_##tag(const std::int32_t* src, std::int16_t* dst, \
                                        std::int32_t len, std::int32_t s) {         \
    qvls::fixed_fft::packed::RoundingShift(src, dst, len, s);                       \
  }                                                                                 \
  void qvlsMulInvSqrt2_i32_ip_##tag(std::int32_t* srcdst, std::int32_t len) {       \
    qvls::fixed_fft::packed::MulInvSqrt2(srcdst, len);                              \
  }
