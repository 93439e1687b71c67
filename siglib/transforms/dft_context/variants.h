// What each variant's DFT runs: the policies of the context, the transforms
// and Bluestein's set-up. A variant calls only its own column's routines,
// and those another column names again where two variants share one.
#pragma once

#include "siglib/transforms/dft_bluestein/dft_bluestein.h"
#include "siglib/transforms/dft_context/context_engine.h"
#include "siglib/transforms/dft_context/dft_context.h"
#include "siglib/transforms/dft_direct/dft_direct.h"
#include "siglib/transforms/dft_mixed/dft_mixed.h"
#include "siglib/transforms/direction.h"
#include "siglib/transforms/fft_context/fft_context.h"
#include "siglib/transforms/fft_exec/fft_exec.h"
#include "siglib/transforms/small_kernels/small_kernels.h"

// The policy `name` of variant `tag` computing its scale and 1/M in T, with
// the routines it takes from other columns named by their tags.
#define QVLS_DFT_VARIANT_POLICY(name, tag, T, subset, factorize, fft_work_size, mul_const, mul, \
                                conj)                                                           \
  struct name {                                                                                 \
    using Arithmetic = T;                                                                       \
    static constexpr const small_kernel_table& kSmallKernels = qvlsDFTSmallKernels_##tag;       \
    static constexpr qvls::dft::FftContextOps kFft = {qvlsFFTCreate_cf32_##tag,                 \
                                                      qvlsFFTDestroy_cf32_##tag,                \
                                                      qvlsFFTWorkSize_cf32_##fft_work_size};    \
    static constexpr qvls::transforms::ByDirection<qvlsFFTFwd_cf32_fn> kFftTransform = {        \
        qvlsFFTFwd_cf32_##tag, qvlsFFTInv_cf32_##tag};                                          \
    static constexpr qvls::transforms::ByDirection<qvlsDFTMixed_cf32_fn> kMixed = {             \
        qvlsDFTFwdMixed_cf32_##tag, qvlsDFTInvMixed_cf32_##tag};                                \
    static constexpr auto* RootsTable = qvlsDFTRootsTable_cf32_##tag;                           \
    static constexpr auto* RootsSubset = qvlsDFTRootsSubset_cf32_##subset;                      \
    static constexpr auto* Factorize = qvlsDFTFactorize_cf32_##factorize;                       \
    static constexpr auto* InitMixed = qvlsDFTInitMixed_cf32_##tag;                             \
    static constexpr auto* InitBluestein = qvlsDFTInitBluestein_cf32_##tag;                     \
    static constexpr auto* FreeContext = qvlsDFTFreeContext_cf32_##tag;                         \
    static constexpr auto* Bluestein = qvlsDFTBluestein_cf32_##tag;                             \
    static constexpr auto* Direct = qvlsDFTDirectOdd_cf32_##tag##_kernel;                       \
    static constexpr auto* MulConst = qvlsMulConst_f32_ip_##mul_const;                          \
    static constexpr auto* Mul = qvlsMul_cf32_##mul;                                            \
    static constexpr auto* Zero = qvlsZero_cf32_##tag;                                          \
    static constexpr auto* Conj = qvlsConj_cf32_##conj;                                         \
  };

namespace qvls::dft {

QVLS_DFT_VARIANT_POLICY(Px, px, double, px, px, px, px, px, px)
QVLS_DFT_VARIANT_POLICY(M6, m6, double, px, px, px, px, px, px)
QVLS_DFT_VARIANT_POLICY(A6, a6, float, a6, px, px, a6, a6, px)
QVLS_DFT_VARIANT_POLICY(W7, w7, float, w7, w7, w7, w7, w7, w7)

}  // namespace qvls::dft

#undef QVLS_DFT_VARIANT_POLICY
