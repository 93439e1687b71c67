// The small kernels, generic routines (px, and m6 through the same tables):
// double intermediates, single precision where stored.
#include "siglib/transforms/small_kernels/kernel_bodies.h"
#include "siglib/transforms/small_kernels/kernel_tables.h"

QVLS_DEFINE_SMALL_KERNELS(px, double)
QVLS_DEFINE_SHORT_SCALED_KERNELS(px, double)

void qvlsDFT1_cf32_px_kernel(const float* src, float* dst) {
  qvls::small_kernels::CopyWords(src, dst, 2);
}
void qvlsDFT1_f32_px_kernel(const float* src, float* dst) {
  qvls::small_kernels::CopyWords(src, dst, 1);
}
void qvlsDFT2_cf32_px_kernel(const float* src, float* dst) {
  qvls::small_kernels::Complex2<double>(src, dst, qvls::small_kernels::Unscaled{});
}
void qvlsDFT2_f32_px_kernel(const float* src, float* dst) {
  qvls::small_kernels::Real2<double>(src, dst, qvls::small_kernels::Unscaled{});
}

QVLS_DEFINE_SMALL_KERNEL_TABLES(px, px, qvlsDFT1_cf32_sc_px_kernel, qvlsDFT1_f32_sc_px_kernel,
                                qvlsDFT2_cf32_sc_px_kernel, qvlsDFT2_f32_px_kernel)
