// The float FFT context, m6 variant: as px (direct limit 10, swap list at
// every order from a6's builder, px's twiddle records, no work buffer up to
// the limit, the scale in double), with px's free and work-size queries.
#include "siglib/transforms/bitrev/bitrev.h"
#include "siglib/transforms/fft_context/context_engine.h"
#include "siglib/transforms/fft_context/limits.h"
#include "siglib/transforms/fft_large/fft_large.h"
#include "siglib/transforms/fft_real/fft_real.h"

namespace {

struct M6 {
  static constexpr std::int32_t kDirectLimit = qvls::float_fft::kM6Limits.direct;
  using Arithmetic = double;
  static constexpr auto* BitReverseTable = qvlsFFTSwapList_i32_a6;
  static constexpr auto* SineTable = qvlsFFTSineTable_f32_m6;
  static constexpr auto* TwiddleTable = qvlsFFTTwiddleTable_cf32_px;
  static constexpr auto* RealTable = qvlsFFTInitRealTable_f32_m6;
  static constexpr auto* InitTables = qvlsFFTInitTables_cf32_m6;
  static constexpr auto* FreeContext = qvlsFFTFreeContext_f32_px;
  static constexpr std::int32_t DirectWorkSize(std::int32_t) { return 0; }
  static constexpr auto* InitLarge = qvlsFFTInitLarge_cf32_m6;
  static constexpr std::int32_t kLargeWorkSize = 16;
};

}  // namespace

QVLS_DEFINE_FLOAT_FFT_CONTEXT_ENTRIES(m6, M6)

float* qvlsFFTBlockTwiddles_cf32_m6(std::int32_t m, const float* sine, std::int32_t s) {
  return qvls::float_fft::BuildBlockTwiddles(m, sine, s);
}
