// The small kernels, w7 variant: the a6 operations in its own routines, the
// scaled kernels of lengths 1 and 2 of a6, and an own unscaled real 2-point
// kernel in double like the generic one.
#include "siglib/transforms/small_kernels/kernel_bodies.h"
#include "siglib/transforms/small_kernels/kernel_tables.h"

QVLS_DEFINE_SMALL_KERNELS(w7, float)

void qvlsDFT2_f32_w7_kernel(const float* src, float* dst) {
  qvls::small_kernels::Real2<double>(src, dst, qvls::small_kernels::Unscaled{});
}

QVLS_DEFINE_SMALL_KERNEL_TABLES(w7, w7, qvlsDFT1_cf32_sc_a6_kernel, qvlsDFT1_f32_sc_a6_kernel,
                                qvlsDFT2_cf32_sc_a6_kernel, qvlsDFT2_f32_w7_kernel)
