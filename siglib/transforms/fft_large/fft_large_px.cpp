// The large-order FFT, generic variant: interleaved data, double
// intermediates, the block path at orders 11 and 12 (and for the 2048- and
// 4096-point chunks of 21 and 22) with its blocked radix-2 merges.
#include "siglib/transforms/fft_exec/fft_exec.h"
#include "siglib/transforms/fft_large/large_entries.h"
#include "siglib/transforms/fft_large/scalar_large.h"
#include "siglib/transforms/fft_radix/fft_radix.h"

namespace {

using qvls::transforms::ByDirection;
using qvls::transforms::Direction;

struct Px {
  static constexpr qvls::fft_large::SplitTable kSplits = qvls::fft_large::kPxSplits;
  static constexpr bool kVector = false;
  static constexpr bool kBlockPath = true;
  static constexpr auto kMatrix = qvls::fft_large::MatrixLayout::kPairs;
  static constexpr auto* TwiddleTable = qvlsFFTTwiddleTable_cf32_px;
  static constexpr auto* BlockTwiddles = qvlsFFTBlockTwiddles_cf32_px;
  static constexpr auto* InitSplit = qvlsFFTInitSplit_cf32_px;
  static constexpr ByDirection<qvlsFFTRadix_cf32_ip_fn> kPasses = {
      qvlsFFTFwdRadix_cf32_ip_px_kernel, qvlsFFTInvRadix_cf32_ip_px_kernel};
  static constexpr auto* MulConst = qvlsMulConst_f32_ip_px;
  static constexpr ByDirection<qvlsFFTSplit_cf32_fn> kSplit = {qvlsFFTFwdSplit_cf32_px,
                                                               qvlsFFTInvSplit_cf32_px};
  static constexpr ByDirection<qvlsFFTBlock_cf32_fn> kBlock = {qvlsFFTFwdBlock_cf32_px,
                                                               qvlsFFTInvBlock_cf32_px};
  static constexpr auto* Merge = qvlsFFTMerge_cf32_px;
  static constexpr auto* Gather = qvls::fft_large::ScalarGatherBoth;
  static constexpr auto* Scatter = qvls::fft_large::ScalarScatter;
  template <Direction D>
  static void SubBlock(const fft_context& context, float* chunk, std::int32_t count,
                       std::uint8_t* work) {
    kBlock.Get<D>()(&context, chunk, count, work);
  }
};

}  // namespace

QVLS_DEFINE_LARGE_FFT(px, Px)
QVLS_DEFINE_SCALAR_BLOCK_PATH(px, Px)
