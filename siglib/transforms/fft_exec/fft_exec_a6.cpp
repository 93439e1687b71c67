// The float FFT's transforms, a6 variant: its small kernels, the reordering
// kernel up to order 9, the 64-bit-unit permutations and the in-place passes
// at order 10, the four-pair recombination and its multiply by a constant,
// all in single precision.
#include "siglib/transforms/bitrev/bitrev.h"
#include "siglib/transforms/fft_exec/exec_engine.h"
#include "siglib/transforms/fft_exec/mul_const.h"
#include "siglib/transforms/fft_large/fft_large.h"
#include "siglib/transforms/fft_radix/fft_radix.h"
#include "siglib/transforms/fft_real/fft_real.h"

namespace {

struct A6 {
  static constexpr qvls::float_fft::Limits kLimits = qvls::float_fft::kA6Limits;
  using Arithmetic = float;
  static constexpr const small_kernel_table& kSmallKernels = qvlsFFTSmallKernels_a6;
  static constexpr auto* Permute = qvlsBitReverse_cf32_a6;
  static constexpr auto* PermuteInPlace = qvlsBitReverse_cf32_ip_a6;
  static constexpr qvls::transforms::ByDirection<qvlsFFTRadix_cf32_fn> kReordering = {
      qvlsFFTFwdRadix_cf32_a6_kernel, qvlsFFTInvRadix_cf32_a6_kernel};
  static constexpr qvls::transforms::ByDirection<qvlsFFTRadix_cf32_ip_vector_fn> kPasses = {
      qvlsFFTFwdRadix_cf32_ip_a6_kernel, qvlsFFTInvRadix_cf32_ip_a6_kernel};
  static constexpr qvls::transforms::ByDirection<qvlsFFTLarge_cf32_fn> kLarge = {
      qvlsFFTFwdLarge_cf32_a6, qvlsFFTInvLarge_cf32_a6};
  static constexpr auto* Recombine = qvlsFFTRealRecombine_f32_a6;
  static constexpr auto* MulConst = qvlsMulConst_f32_ip_a6;
};

}  // namespace

QVLS_DEFINE_FLOAT_FFT_TRANSFORMS(a6, A6)

void qvlsMulConst_f32_ip_a6(float value, float* data, std::int32_t count) {
  qvls::float_fft::MulConstVector(value, data, count);
}
