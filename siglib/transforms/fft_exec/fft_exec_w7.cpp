// The float FFT's transforms, w7 variant: the a6 road with its own kernels,
// the reordering kernel up to order 13 and the in-place passes at order 14,
// the 128-bit-unit in-place permutation, and the a6 multiply by a constant
// in its own entry.
#include "siglib/transforms/bitrev/bitrev.h"
#include "siglib/transforms/fft_exec/exec_engine.h"
#include "siglib/transforms/fft_exec/mul_const.h"
#include "siglib/transforms/fft_large/fft_large.h"
#include "siglib/transforms/fft_radix/fft_radix.h"
#include "siglib/transforms/fft_real/fft_real.h"

namespace {

struct W7 {
  static constexpr qvls::float_fft::Limits kLimits = qvls::float_fft::kW7Limits;
  using Arithmetic = float;
  static constexpr const small_kernel_table& kSmallKernels = qvlsFFTSmallKernels_w7;
  static constexpr auto* Permute = qvlsBitReverse_cf32_w7;
  static constexpr auto* PermuteInPlace = qvlsBitReverse_cf32_ip_w7;
  static constexpr qvls::transforms::ByDirection<qvlsFFTRadix_cf32_fn> kReordering = {
      qvlsFFTFwdRadix_cf32_w7_kernel, qvlsFFTInvRadix_cf32_w7_kernel};
  static constexpr qvls::transforms::ByDirection<qvlsFFTRadix_cf32_ip_vector_fn> kPasses = {
      qvlsFFTFwdRadix_cf32_ip_w7_kernel, qvlsFFTInvRadix_cf32_ip_w7_kernel};
  static constexpr qvls::transforms::ByDirection<qvlsFFTLarge_cf32_fn> kLarge = {
      qvlsFFTFwdLarge_cf32_w7, qvlsFFTInvLarge_cf32_w7};
  static constexpr auto* Recombine = qvlsFFTRealRecombine_f32_w7;
  static constexpr auto* MulConst = qvlsMulConst_f32_ip_w7;
};

}  // namespace

QVLS_DEFINE_FLOAT_FFT_TRANSFORMS(w7, W7)

void qvlsMulConst_f32_ip_w7(float value, float* data, std::int32_t count) {
  qvls::float_fft::MulConstVector(value, data, count);
}
