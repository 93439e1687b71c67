// The small kernels, m6 variant: the generic routines throughout.
#include "siglib/transforms/small_kernels/kernel_tables.h"

QVLS_DEFINE_SMALL_KERNEL_TABLES(m6, px, qvlsDFT1_cf32_sc_px_kernel, qvlsDFT1_f32_sc_px_kernel,
                                qvlsDFT2_cf32_sc_px_kernel, qvlsDFT2_f32_px_kernel)
