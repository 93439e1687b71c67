// The large-order FFT, w7 variant: its own split table (every order from 15
// split, leaves up to order 14, column transforms down to 8 points), split
// by 4 between the steps, the gather and scatter kernels with w7's moves.
#include "siglib/transforms/fft_exec/fft_exec.h"
#include "siglib/transforms/fft_large/large_entries.h"
#include "siglib/transforms/fft_large/vector_large.h"
#include "siglib/transforms/fft_radix/element_pairs.h"
#include "siglib/transforms/fft_radix/fft_radix.h"

namespace {

using qvls::transforms::ByDirection;

struct W7 {
  static constexpr qvls::fft_large::SplitTable kSplits = qvls::fft_large::kW7Splits;
  static constexpr bool kVector = true;
  static constexpr bool kBlockPath = false;
  static constexpr auto kMatrix = qvls::fft_large::MatrixLayout::kGroups;
  static constexpr auto* TwiddleTable = qvlsFFTTwiddleTable_cf32_w7;
  static constexpr auto* InitSplit = qvlsFFTInitSplit_cf32_w7;
  static constexpr ByDirection<qvlsFFTRadix_cf32_ip_vector_fn> kPasses = {
      qvlsFFTFwdRadix_cf32_ip_w7_kernel, qvlsFFTInvRadix_cf32_ip_w7_kernel};
  static constexpr auto* MulConst = qvlsMulConst_f32_ip_w7;
  static constexpr ByDirection<qvlsFFTSplit_cf32_fn> kSplit = {qvlsFFTFwdSplit_cf32_w7,
                                                               qvlsFFTInvSplit_cf32_w7};
  static constexpr auto* Gather = qvlsFFTTwiddleGather_cf32_w7_kernel;
  static constexpr auto* Scatter = qvlsFFTColumnScatter_cf32_w7_kernel;
};

}  // namespace

QVLS_DEFINE_LARGE_FFT(w7, W7)
QVLS_DEFINE_LEVEL_KERNELS(w7, qvls::fft_radix::W7Pairs)
