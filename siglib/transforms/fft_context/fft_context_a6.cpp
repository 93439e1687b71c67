// The float FFT context, a6 variant: direct limit 10, the quarter list up
// to order 9 and the swap list at 10, the pass table, a work buffer for the
// passes, the scale in single precision; px's free and work-size queries.
#include "siglib/transforms/bitrev/bitrev.h"
#include "siglib/transforms/fft_context/context_engine.h"
#include "siglib/transforms/fft_context/limits.h"
#include "siglib/transforms/fft_context/vector_context.h"
#include "siglib/transforms/fft_large/fft_large.h"
#include "siglib/transforms/fft_real/fft_real.h"

namespace {

struct A6 {
  static constexpr std::int32_t kDirectLimit = qvls::float_fft::kA6Limits.direct;
  using Arithmetic = float;
  static constexpr auto* BitReverseTable =
      qvls::float_fft::VectorBitReverseTable<qvls::float_fft::kA6Limits.reordering,
                                             qvlsFFTQuarterBitRevList_i32_a6,
                                             qvlsFFTSwapList_i32_a6>;
  static constexpr auto* SineTable = qvlsFFTSineTable_f32_a6;
  static constexpr auto* TwiddleTable = qvlsFFTTwiddleTable_cf32_a6;
  static constexpr auto* RealTable = qvlsFFTInitRealTable_f32_a6;
  static constexpr auto* InitTables = qvlsFFTInitTables_cf32_a6;
  static constexpr auto* FreeContext = qvlsFFTFreeContext_f32_px;
  static constexpr auto* DirectWorkSize = qvls::float_fft::VectorWorkSize;
  static constexpr auto* InitLarge = qvlsFFTInitLarge_cf32_a6;
  static constexpr std::int32_t kLargeWorkSize = qvls::float_fft::VectorWorkSize(kDirectLimit);
};

}  // namespace

QVLS_DEFINE_FLOAT_FFT_CONTEXT_ENTRIES(a6, A6)

float* qvlsFFTTwiddleTable_cf32_a6(std::int32_t m, const float* sine, std::int32_t s) {
  return qvls::float_fft::BuildPassTable(m, sine, s);
}

float* qvlsFFTBlockTwiddles_cf32_a6(std::int32_t m, const float* sine, std::int32_t s) {
  return qvls::float_fft::BuildBlockLevels(m, sine, s);
}
