// The 16-bit FFT operations, m6 variant: fixed-point path up to order 8 for
// hint 0 and order 10 for hint 1, with the m6 fixed-point routines (the
// swap-list and twiddle builders of a6) and the context free of px; the m6
// float engine (px's work-size queries) and float conversions above.
#include "siglib/convert/convert.h"
#include "siglib/transforms/bitrev/bitrev.h"
#include "siglib/transforms/fft16/fft16_engine.h"
#include "siglib/transforms/fixed_fft/fixed_fft.h"

namespace {

struct M6 {
  static constexpr std::int32_t kFixedLimitHint0 = 8;
  static constexpr std::int32_t kFixedLimitHint1 = 10;
  static constexpr auto* SwapList = qvlsFFTSwapList_i32_a6;
  static constexpr auto* SineTable = qvlsFFTSineTable_i16_m6;
  static constexpr auto* TwiddleTable = qvlsFFTTwiddleTable_ci16_a6;
  static constexpr auto* InitFixed = qvlsFFTInitFixed_i16_m6;
  static constexpr auto* FreeContext = qvlsFFTFreeContext_i16_px;
  static constexpr auto* PreShift = qvlsConvertShift_i16toi32_m6;
  static constexpr auto* Passes = qvlsFFTFwdRadix_ci32_ip_m6_kernel;
  static constexpr auto* MulInvSqrt2 = qvlsMulInvSqrt2_i32_ip_m6;
  static constexpr auto* Permute = qvlsBitReverse_ci32_ip_m6;
  static constexpr auto* Recombine = qvlsFFTRealRecombine_i32_m6;
  static constexpr auto* RoundShift = qvlsConvertScaled_i32toi16_m6;
  static constexpr qvls::fft16::FloatEngine kFloatComplex = {
      qvlsFFTCreate_cf32_m6, qvlsFFTDestroy_cf32_m6, qvlsFFTWorkSize_cf32_px, qvlsFFTFwd_cf32_m6};
  static constexpr qvls::fft16::FloatEngine kFloatReal = {
      qvlsFFTCreate_f32_m6, qvlsFFTDestroy_f32_m6, qvlsFFTWorkSize_f32_px, qvlsFFTFwd_f32_m6};
  static constexpr auto* ToFloat = qvlsConvert_i16tof32_m6;
  static constexpr auto* ToInt16 = qvlsConvert_f32toi16_sc_m6;
};

}  // namespace

QVLS_DEFINE_FFT16_ENTRIES(m6, M6)
