// The float FFT's transforms, m6 variant: its small kernels (the generic
// routines), the 64-bit-unit permutations, its own passes and recombination
// computing the px way, and px's multiply by a constant.
#include "siglib/transforms/bitrev/bitrev.h"
#include "siglib/transforms/fft_exec/exec_engine.h"
#include "siglib/transforms/fft_large/fft_large.h"
#include "siglib/transforms/fft_radix/fft_radix.h"
#include "siglib/transforms/fft_real/fft_real.h"

namespace {

struct M6 {
  static constexpr qvls::float_fft::Limits kLimits = qvls::float_fft::kM6Limits;
  using Arithmetic = double;
  static constexpr const small_kernel_table& kSmallKernels = qvlsFFTSmallKernels_m6;
  static constexpr auto* Permute = qvlsBitReverse_cf32_m6;
  static constexpr auto* PermuteInPlace = qvlsBitReverse_cf32_ip_m6;
  static constexpr qvls::transforms::ByDirection<qvlsFFTRadix_cf32_ip_fn> kPasses = {
      qvlsFFTFwdRadix_cf32_ip_m6_kernel, qvlsFFTInvRadix_cf32_ip_m6_kernel};
  static constexpr qvls::transforms::ByDirection<qvlsFFTLarge_cf32_fn> kLarge = {
      qvlsFFTFwdLarge_cf32_m6, qvlsFFTInvLarge_cf32_m6};
  static constexpr auto* Recombine = qvlsFFTRealRecombine_f32_m6;
  static constexpr auto* MulConst = qvlsMulConst_f32_ip_px;
};

}  // namespace

QVLS_DEFINE_FLOAT_FFT_TRANSFORMS(m6, M6)
