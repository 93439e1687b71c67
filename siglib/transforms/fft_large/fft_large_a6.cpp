// The large-order FFT, a6 variant: split by 4 between the steps, the
// gather and scatter kernels with a6's moves and non-temporal prefetches,
// and the block path by recursive halving with its merge kernel and level
// table.
#include "siglib/transforms/fft_exec/fft_exec.h"
#include "siglib/transforms/fft_large/large_entries.h"
#include "siglib/transforms/fft_large/vector_large.h"
#include "siglib/transforms/fft_radix/element_pairs.h"
#include "siglib/transforms/fft_radix/fft_radix.h"

namespace {

using qvls::fft_radix::A6Pairs;
using qvls::transforms::ByDirection;
using qvls::transforms::Direction;

struct A6 {
  static constexpr qvls::fft_large::SplitTable kSplits = qvls::fft_large::kPxSplits;
  static constexpr bool kVector = true;
  static constexpr bool kBlockPath = true;
  static constexpr auto kMatrix = qvls::fft_large::MatrixLayout::kGroups;
  static constexpr auto* TwiddleTable = qvlsFFTTwiddleTable_cf32_a6;
  static constexpr auto* BlockTwiddles = qvlsFFTBlockTwiddles_cf32_a6;
  static constexpr auto* InitSplit = qvlsFFTInitSplit_cf32_a6;
  static constexpr ByDirection<qvlsFFTRadix_cf32_ip_vector_fn> kPasses = {
      qvlsFFTFwdRadix_cf32_ip_a6_kernel, qvlsFFTInvRadix_cf32_ip_a6_kernel};
  static constexpr auto* MulConst = qvlsMulConst_f32_ip_a6;
  static constexpr ByDirection<qvlsFFTSplit_cf32_fn> kSplit = {qvlsFFTFwdSplit_cf32_a6,
                                                               qvlsFFTInvSplit_cf32_a6};
  static constexpr ByDirection<qvlsFFTBlock_cf32_fn> kBlock = {qvlsFFTFwdBlock_cf32_a6,
                                                               qvlsFFTInvBlock_cf32_a6};
  static constexpr ByDirection<qvlsFFTBlockLevel_cf32_fn> kBlockLevel = {
      qvlsFFTFwdBlockLevel_cf32_a6, qvlsFFTInvBlockLevel_cf32_a6};
  static constexpr ByDirection<qvlsFFTMerge_cf32_kernel_fn> kMerge = {
      qvlsFFTFwdMerge_cf32_a6_kernel, qvlsFFTInvMerge_cf32_a6_kernel};
  static constexpr auto* Gather = qvlsFFTTwiddleGather_cf32_a6_kernel;
  static constexpr auto* Scatter = qvlsFFTColumnScatter_cf32_a6_kernel;
  // A 2048- or 4096-point chunk of a level: left split by 4.
  template <Direction D>
  static void SubBlock(const fft_context& context, float* chunk, std::int32_t count,
                       std::uint8_t* work) {
    kBlockLevel.Get<D>()(&context, chunk, count, context.block_twiddles, work, 0);
  }
};

template <Direction D>
void Block(const fft_context* context, float* data, std::int32_t count, std::uint8_t* work) {
  A6::kBlockLevel.Get<D>()(context, data, count, context->block_twiddles, work, 1);
}

}  // namespace

QVLS_DEFINE_LARGE_FFT(a6, A6)
QVLS_DEFINE_LEVEL_KERNELS(a6, A6Pairs)

void qvlsFFTFwdBlock_cf32_a6(const fft_context* context, float* data, std::int32_t count,
                             std::uint8_t* work) {
  Block<Direction::kForward>(context, data, count, work);
}

void qvlsFFTInvBlock_cf32_a6(const fft_context* context, float* data, std::int32_t count,
                             std::uint8_t* work) {
  Block<Direction::kInverse>(context, data, count, work);
}

void qvlsFFTFwdBlockLevel_cf32_a6(const fft_context* context, float* data, std::int32_t count,
                                  const float* level, std::uint8_t* work, std::int32_t final) {
  qvls::fft_large::BlockLevel<A6, A6Pairs, Direction::kForward>(*context, data, count, level, work,
                                                                final);
}

void qvlsFFTInvBlockLevel_cf32_a6(const fft_context* context, float* data, std::int32_t count,
                                  const float* level, std::uint8_t* work, std::int32_t final) {
  qvls::fft_large::BlockLevel<A6, A6Pairs, Direction::kInverse>(*context, data, count, level, work,
                                                                final);
}

void qvlsFFTFwdMerge_cf32_a6_kernel(float* data, std::int32_t count, const float* level,
                                    std::int32_t final) {
  qvls::fft_large::MergeHalves<A6Pairs, Direction::kForward>(data, count, level, final == 1);
}

void qvlsFFTInvMerge_cf32_a6_kernel(float* data, std::int32_t count, const float* level,
                                    std::int32_t final) {
  qvls::fft_large::MergeHalves<A6Pairs, Direction::kInverse>(data, count, level, final == 1);
}
