// The float FFT context, generic variant: direct limit 10, the swap list at
// every order, twiddle records, no work buffer up to the limit, the scale
// in double.
#include "siglib/transforms/bitrev/bitrev.h"
#include "siglib/transforms/fft_context/context_engine.h"
#include "siglib/transforms/fft_context/limits.h"
#include "siglib/transforms/fft_large/fft_large.h"
#include "siglib/transforms/fft_real/fft_real.h"

namespace {

struct Px {
  static constexpr std::int32_t kDirectLimit = qvls::float_fft::kPxLimits.direct;
  using Arithmetic = double;
  static constexpr auto* BitReverseTable = qvlsFFTSwapList_i32_px;
  static constexpr auto* SineTable = qvlsFFTSineTable_f32_px;
  static constexpr auto* TwiddleTable = qvlsFFTTwiddleTable_cf32_px;
  static constexpr auto* RealTable = qvlsFFTInitRealTable_f32_px;
  static constexpr auto* InitTables = qvlsFFTInitTables_cf32_px;
  static constexpr auto* FreeContext = qvlsFFTFreeContext_f32_px;
  static constexpr std::int32_t DirectWorkSize(std::int32_t) { return 0; }
  static constexpr auto* InitLarge = qvlsFFTInitLarge_cf32_px;
  static constexpr std::int32_t kLargeWorkSize = 16;
};

}  // namespace

QVLS_DEFINE_FLOAT_FFT_CONTEXT_ENTRIES(px, Px)
QVLS_DEFINE_FLOAT_FFT_SHARED_ENTRIES(px)

float* qvlsFFTTwiddleTable_cf32_px(std::int32_t m, const float* sine, std::int32_t s) {
  return qvls::float_fft::BuildTwiddleRecords(m, sine, s);
}

float* qvlsFFTBlockTwiddles_cf32_px(std::int32_t m, const float* sine, std::int32_t s) {
  return qvls::float_fft::BuildBlockTwiddles(m, sine, s);
}
