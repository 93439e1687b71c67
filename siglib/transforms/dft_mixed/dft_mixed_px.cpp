// The mixed-radix DFT, generic variant: double intermediates, singles where
// stored; m6's radix-2 passes and inverse radix-4 pass.
#include "siglib/transforms/dft_mixed/drivers.h"
#include "siglib/transforms/dft_mixed/kernels.h"

QVLS_DEFINE_DFT_MIXED_KERNELS(px, double)
QVLS_DEFINE_DFT_RADIX_KERNEL(Fwd, 4, px, double, kForward)

namespace {
QVLS_DEFINE_DFT_MIXED_POLICY(Px, px, m6, px, m6, m6)
}  // namespace

QVLS_DEFINE_DFT_MIXED_DRIVERS(px, Px)
