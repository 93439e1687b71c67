// The float FFT's transforms, generic variant: the px small kernels, the
// 32-bit-word permutations, the in-place passes and recombination in double,
// and the multiply by a constant (which m6 runs too).
#include "siglib/transforms/bitrev/bitrev.h"
#include "siglib/transforms/fft_exec/exec_engine.h"
#include "siglib/transforms/fft_exec/mul_const.h"
#include "siglib/transforms/fft_large/fft_large.h"
#include "siglib/transforms/fft_radix/fft_radix.h"
#include "siglib/transforms/fft_real/fft_real.h"

namespace {

struct Px {
  static constexpr qvls::float_fft::Limits kLimits = qvls::float_fft::kPxLimits;
  using Arithmetic = double;
  static constexpr const small_kernel_table& kSmallKernels = qvlsFFTSmallKernels_px;
  static constexpr auto* Permute = qvlsBitReverse_cf32_px;
  static constexpr auto* PermuteInPlace = qvlsBitReverse_cf32_ip_px;
  static constexpr qvls::transforms::ByDirection<qvlsFFTRadix_cf32_ip_fn> kPasses = {
      qvlsFFTFwdRadix_cf32_ip_px_kernel, qvlsFFTInvRadix_cf32_ip_px_kernel};
  static constexpr qvls::transforms::ByDirection<qvlsFFTLarge_cf32_fn> kLarge = {
      qvlsFFTFwdLarge_cf32_px, qvlsFFTInvLarge_cf32_px};
  static constexpr auto* Recombine = qvlsFFTRealRecombine_f32_px;
  static constexpr auto* MulConst = qvlsMulConst_f32_ip_px;
};

}  // namespace

QVLS_DEFINE_FLOAT_FFT_TRANSFORMS(px, Px)

void qvlsMulConst_f32_ip_px(float value, float* data, std::int32_t count) {
  qvls::float_fft::MulConstScalar(value, data, count);
}
