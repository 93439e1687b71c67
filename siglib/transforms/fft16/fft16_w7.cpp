// The 16-bit FFT operations, w7 variant: fixed-point path up to order 3 for
// hints 0 and 1, with the w7 fixed-point routines, and w7's own work-size
// queries and context free; the w7 float engine and float conversions above.
#include "siglib/convert/convert.h"
#include "siglib/transforms/bitrev/bitrev.h"
#include "siglib/transforms/fft16/fft16_engine.h"
#include "siglib/transforms/fixed_fft/fixed_fft.h"

namespace {

struct W7 {
  static constexpr std::int32_t kFixedLimitHint0 = 3;
  static constexpr std::int32_t kFixedLimitHint1 = 3;
  static constexpr auto* SwapList = qvlsFFTSwapList_i32_w7;
  static constexpr auto* SineTable = qvlsFFTSineTable_i16_w7;
  static constexpr auto* TwiddleTable = qvlsFFTTwiddleTable_ci16_w7;
  static constexpr auto* InitFixed = qvlsFFTInitFixed_i16_w7;
  static constexpr auto* FreeContext = qvlsFFTFreeContext_i16_w7;
  static constexpr auto* PreShift = qvlsConvertShift_i16toi32_w7;
  static constexpr auto* Passes = qvlsFFTFwdRadix_ci32_ip_w7_kernel;
  static constexpr auto* MulInvSqrt2 = qvlsMulInvSqrt2_i32_ip_w7;
  static constexpr auto* Permute = qvlsBitReverse_ci32_ip_w7;
  static constexpr auto* Recombine = qvlsFFTRealRecombine_i32_w7;
  static constexpr auto* RoundShift = qvlsConvertScaled_i32toi16_w7;
  static constexpr qvls::fft16::FloatEngine kFloatComplex = {
      qvlsFFTCreate_cf32_w7, qvlsFFTDestroy_cf32_w7, qvlsFFTWorkSize_cf32_w7, qvlsFFTFwd_cf32_w7};
  static constexpr qvls::fft16::FloatEngine kFloatReal = {
      qvlsFFTCreate_f32_w7, qvlsFFTDestroy_f32_w7, qvlsFFTWorkSize_f32_w7, qvlsFFTFwd_f32_w7};
  static constexpr auto* ToFloat = qvlsConvert_i16tof32_w7;
  static constexpr auto* ToInt16 = qvlsConvert_f32toi16_sc_w7;
};

}  // namespace

QVLS_DEFINE_FFT16_ENTRIES(w7, W7)
QVLS_DEFINE_FFT16_SHARED_ENTRIES(w7)
