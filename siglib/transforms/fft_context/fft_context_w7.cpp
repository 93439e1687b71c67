// The float FFT context, w7 variant: direct limit 14, the quarter list up
// to order 13 and the swap list at 14, the pass table, a work buffer for
// the passes, the scale in single precision; its own free and work-size
// queries.
#include "siglib/transforms/bitrev/bitrev.h"
#include "siglib/transforms/fft_context/context_engine.h"
#include "siglib/transforms/fft_context/limits.h"
#include "siglib/transforms/fft_context/vector_context.h"
#include "siglib/transforms/fft_large/fft_large.h"
#include "siglib/transforms/fft_real/fft_real.h"

namespace {

struct W7 {
  static constexpr std::int32_t kDirectLimit = qvls::float_fft::kW7Limits.direct;
  using Arithmetic = float;
  static constexpr auto* BitReverseTable =
      qvls::float_fft::VectorBitReverseTable<qvls::float_fft::kW7Limits.reordering,
                                             qvlsFFTQuarterBitRevList_i32_w7,
                                             qvlsFFTSwapList_i32_w7>;
  static constexpr auto* SineTable = qvlsFFTSineTable_f32_w7;
  static constexpr auto* TwiddleTable = qvlsFFTTwiddleTable_cf32_w7;
  static constexpr auto* RealTable = qvlsFFTInitRealTable_f32_w7;
  static constexpr auto* InitTables = qvlsFFTInitTables_cf32_w7;
  static constexpr auto* FreeContext = qvlsFFTFreeContext_f32_w7;
  static constexpr auto* DirectWorkSize = qvls::float_fft::VectorWorkSize;
  static constexpr auto* InitLarge = qvlsFFTInitLarge_cf32_w7;
  static constexpr std::int32_t kLargeWorkSize = qvls::float_fft::VectorWorkSize(kDirectLimit);
};

}  // namespace

QVLS_DEFINE_FLOAT_FFT_CONTEXT_ENTRIES(w7, W7)
QVLS_DEFINE_FLOAT_FFT_SHARED_ENTRIES(w7)

float* qvlsFFTTwiddleTable_cf32_w7(std::int32_t m, const float* sine, std::int32_t s) {
  return qvls::float_fft::BuildPassTable(m, sine, s);
}
