// The small kernels, a6 variant: scalar single precision, every operation
// rounded to single; the scaled kernels of lengths 1 and 2 serve w7 too.
#include "siglib/transforms/small_kernels/kernel_bodies.h"
#include "siglib/transforms/small_kernels/kernel_tables.h"

QVLS_DEFINE_SMALL_KERNELS(a6, float)
QVLS_DEFINE_SHORT_SCALED_KERNELS(a6, float)

QVLS_DEFINE_SMALL_KERNEL_TABLES(a6, a6, qvlsDFT1_cf32_sc_a6_kernel, qvlsDFT1_f32_sc_a6_kernel,
                                qvlsDFT2_cf32_sc_a6_kernel, qvlsDFT2_f32_px_kernel)
