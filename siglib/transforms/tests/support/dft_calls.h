// The float DFT engine of one variant as its caller reaches it (it has no
// slots: the 16-bit DFT calls a variant's entries by name), a context that
// destroys itself, transforms that return what they wrote (keeping the
// floating-point settings), and the engine's error bounds by way.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "siglib/tests/support/fp_env.h"
#include "siglib/transforms/dft_context/dft_context.h"
#include "siglib/transforms/fft_context/fft_context.h"
#include "siglib/transforms/tests/support/float_fft_calls.h"

namespace qvls_test::transforms {

struct DftEntries {
  qvlsDFTCreate_cf32_fn* create;
  qvlsDFTDestroy_cf32_fn* destroy;
  qvlsDFTWorkSize_cf32_fn* work_size;
  qvlsDFTFwd_cf32_fn* transform[2];  // by Way: forward, inverse
  qvlsFFTCreate_f32_fn* fft_create;  // the variant's complex FFT, the inner one of ways 2 and 5
  qvlsFFTDestroy_f32_fn* fft_destroy;
};

// By variant column: px, m6, a6, w7.
inline const DftEntries kDft[] = {
    {qvlsDFTCreate_cf32_px,
     qvlsDFTDestroy_cf32_px,
     qvlsDFTWorkSize_cf32_px,
     {qvlsDFTFwd_cf32_px, qvlsDFTInv_cf32_px},
     qvlsFFTCreate_cf32_px,
     qvlsFFTDestroy_cf32_px},
    {qvlsDFTCreate_cf32_m6,
     qvlsDFTDestroy_cf32_m6,
     qvlsDFTWorkSize_cf32_px,
     {qvlsDFTFwd_cf32_m6, qvlsDFTInv_cf32_m6},
     qvlsFFTCreate_cf32_m6,
     qvlsFFTDestroy_cf32_m6},
    {qvlsDFTCreate_cf32_a6,
     qvlsDFTDestroy_cf32_a6,
     qvlsDFTWorkSize_cf32_px,
     {qvlsDFTFwd_cf32_a6, qvlsDFTInv_cf32_a6},
     qvlsFFTCreate_cf32_a6,
     qvlsFFTDestroy_cf32_a6},
    {qvlsDFTCreate_cf32_w7,
     qvlsDFTDestroy_cf32_w7,
     qvlsDFTWorkSize_cf32_w7,
     {qvlsDFTFwd_cf32_w7, qvlsDFTInv_cf32_w7},
     qvlsFFTCreate_cf32_w7,
     qvlsFFTDestroy_cf32_w7},
};

inline constexpr Way kWays[] = {Way::kForward, Way::kInverse};
inline constexpr std::int32_t kDftFlags[] = {1, 2, 4, 8};

// A created context, destroyed (and checked) at the end of its scope.
class DftContext {
 public:
  DftContext(const DftEntries& entries, std::int32_t length, std::int32_t flag,
             std::int32_t hint = 0)
      : entries_(entries), status_(entries.create(&context_, length, flag, hint)) {}
  ~DftContext() {
    if (context_ != nullptr) {
      EXPECT_EQ(entries_.destroy(context_), QVLS_OK);
    }
  }
  DftContext(const DftContext&) = delete;
  DftContext& operator=(const DftContext&) = delete;

  qvls_status status() const { return status_; }
  dft_context* get() const { return context_; }

  std::int32_t WorkSize() const {
    std::int32_t size = -1;
    EXPECT_EQ(entries_.work_size(context_, &size), QVLS_OK);
    return size;
  }

  // The transform into a fresh destination (or in place in a copy of src),
  // with a null work pointer unless one is given.
  std::vector<float> Run(Way way, std::span<const float> src, std::uint8_t* work = nullptr,
                         bool in_place = false) const {
    std::vector<float> dst(src.size(), -777.0f);
    if (in_place) std::copy(src.begin(), src.end(), dst.begin());
    const float* from = in_place ? dst.data() : src.data();
    EXPECT_EQ(CallKeepingFpSettings(entries_.transform[static_cast<int>(way)], from, dst.data(),
                                    context_, work),
              QVLS_OK);
    return dst;
  }

 private:
  const DftEntries& entries_;
  dft_context* context_ = nullptr;
  qvls_status status_;
};

// The way the engine takes for a length.
enum class DftWay { kSmall, kPowerOfTwo, kMixedRadix, kDirect, kBluestein };

// The way of N from its factors, found here by trial division: the
// lengths up to 4; powers of two; composites whose prime factors are all
// 149 or less; the primes 5..149; all others.
inline DftWay WayOf(std::int32_t n) {
  if (n <= 4) return DftWay::kSmall;
  if ((n & (n - 1)) == 0) return DftWay::kPowerOfTwo;
  std::int64_t rest = n, largest = 1;
  for (std::int64_t p = 2; p * p <= rest; ++p) {
    while (rest % p == 0) {
      largest = p;
      rest /= p;
    }
  }
  largest = std::max(largest, rest);
  if (largest < n && largest <= 149) return DftWay::kMixedRadix;
  return n <= 149 ? DftWay::kDirect : DftWay::kBluestein;
}

// The smallest power of two M >= 2N - 1, Bluestein's FFT length.
inline std::int64_t BluesteinLength(std::int64_t n) {
  std::int64_t m = 1;
  while (m < 2 * n - 1) m *= 2;
  return m;
}

// The relative RMS error the engine keeps to against the exact DFT:
// 3·log2(N)·2^-24 for the small kernels, powers of two and mixed radix,
// 4·sqrt(N)·2^-24 direct, 3·log2(M)·2^-24 Bluestein.
inline long double DftErrorBound(DftWay way, std::int32_t n) {
  const long double ulp = std::ldexp(1.0L, -24);
  switch (way) {
    case DftWay::kDirect:
      return 4 * std::sqrt(static_cast<long double>(n)) * ulp;
    case DftWay::kBluestein:
      return 3 * std::log2(static_cast<long double>(BluesteinLength(n))) * ulp;
    default:
      return 3 * std::log2(static_cast<long double>(n)) * ulp;
  }
}

// The factor a flag applies to a DFT of length N in one direction: 1/N,
// 1/sqrt N or 1.
inline long double DftFlagScale(std::int32_t flag, Way way, std::int32_t n) {
  const bool scaled_by_n = way == Way::kForward ? flag == 1 : flag == 2;
  return scaled_by_n ? 1.0L / n : flag == 4 ? 1 / std::sqrt(static_cast<long double>(n)) : 1;
}

}  // namespace qvls_test::transforms
