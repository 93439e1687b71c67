// The entries of a variant's large-order FFT over its policy V
// (fft_large/large_setup.h and large_engine.h): the set-up, the whole
// transform and one level, per direction.
#pragma once

#include "siglib/transforms/fft_large/fft_large.h"
#include "siglib/transforms/fft_large/large_engine.h"
#include "siglib/transforms/fft_large/large_setup.h"

#define QVLS_DEFINE_LARGE_FFT(tag, V)                                                              \
  qvls_status qvlsFFTInitLarge_cf32_##tag(fft_context* context, std::int32_t n, const float* sine, \
                                          std::int32_t r) {                                        \
    return qvls::fft_large::InitLarge<V>(context, n, sine, r);                                     \
  }                                                                                                \
  qvls_status qvlsFFTInitSplit_cf32_##tag(fft_context* context, std::int32_t n, const float* sine, \
                                          std::int32_t r, std::int32_t depth) {                    \
    return qvls::fft_large::InitSplit<V>(context, n, sine, r, depth);                              \
  }                                                                                                \
  void qvlsFFTFwdLarge_cf32_##tag(const fft_context* context, float* data, std::int32_t n,         \
                                  std::uint8_t* work) {                                            \
    qvls::fft_large::Large<V, qvls::transforms::Direction::kForward>(*context, data, n, work);     \
  }                                                                                                \
  void qvlsFFTInvLarge_cf32_##tag(const fft_context* context, float* data, std::int32_t n,         \
                                  std::uint8_t* work) {                                            \
    qvls::fft_large::Large<V, qvls::transforms::Direction::kInverse>(*context, data, n, work);     \
  }                                                                                                \
  void qvlsFFTFwdSplit_cf32_##tag(const fft_context* context, float* data, std::int32_t n,         \
                                  std::int32_t depth, std::uint8_t* work) {                        \
    qvls::fft_large::Split<V, qvls::transforms::Direction::kForward>(*context, data, n, depth,     \
                                                                     work);                        \
  }                                                                                                \
  void qvlsFFTInvSplit_cf32_##tag(const fft_context* context, float* data, std::int32_t n,         \
                                  std::int32_t depth, std::uint8_t* work) {                        \
    qvls::fft_large::Split<V, qvls::transforms::Direction::kInverse>(*context, data, n, depth,     \
                                                                     work);                        \
  }
