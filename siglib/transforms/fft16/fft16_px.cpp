// The 16-bit FFT operations, generic variant: fixed-point path up to order 8
// for hints 0 and 1, with the generic fixed-point routines and conversions;
// the generic float engine and float conversions above.
#include "siglib/convert/convert.h"
#include "siglib/transforms/bitrev/bitrev.h"
#include "siglib/transforms/fft16/fft16_engine.h"
#include "siglib/transforms/fixed_fft/fixed_fft.h"

namespace {

struct Px {
  static constexpr std::int32_t kFixedLimitHint0 = 8;
  static constexpr std::int32_t kFixedLimitHint1 = 8;
  static constexpr auto* SwapList = qvlsFFTSwapList_i32_px;
  static constexpr auto* SineTable = qvlsFFTSineTable_i16_px;
  static constexpr auto* TwiddleTable = qvlsFFTTwiddleTable_ci16_px;
  static constexpr auto* InitFixed = qvlsFFTInitFixed_i16_px;
  static constexpr auto* FreeContext = qvlsFFTFreeContext_i16_px;
  static constexpr auto* PreShift = qvlsConvertShift_i16toi32;
  static constexpr auto* Passes = qvlsFFTFwdRadix_ci32_ip_px_kernel;
  static constexpr auto* MulInvSqrt2 = qvlsMulInvSqrt2_i32_ip;
  static constexpr auto* Permute = qvlsBitReverse_cf32_ip_px;
  static constexpr auto* Recombine = qvlsFFTRealRecombine_i32_px;
  static constexpr auto* RoundShift = qvlsConvertScaled_i32toi16;
  static constexpr qvls::fft16::FloatEngine kFloatComplex = {
      qvlsFFTCreate_cf32_px, qvlsFFTDestroy_cf32_px, qvlsFFTWorkSize_cf32_px, qvlsFFTFwd_cf32_px};
  static constexpr qvls::fft16::FloatEngine kFloatReal = {
      qvlsFFTCreate_f32_px, qvlsFFTDestroy_f32_px, qvlsFFTWorkSize_f32_px, qvlsFFTFwd_f32_px};
  static constexpr auto* ToFloat = qvlsConvert_i16tof32_px;
  static constexpr auto* ToInt16 = qvlsConvert_f32toi16_sc_px;
};

}  // namespace

QVLS_DEFINE_FFT16_ENTRIES(px, Px)
QVLS_DEFINE_FFT16_SHARED_ENTRIES(px)
