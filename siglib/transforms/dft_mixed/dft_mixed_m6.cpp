// The mixed-radix DFT, m6 variant: the generic variant's arithmetic in its
// own routines (double intermediates, singles where stored); the radix-2
// passes and the inverse radix-4 pass that px runs too, and px's forward
// radix-4 pass.
#include "siglib/transforms/dft_mixed/drivers.h"
#include "siglib/transforms/dft_mixed/kernels.h"

QVLS_DEFINE_DFT_MIXED_KERNELS(m6, double)
QVLS_DEFINE_DFT_RADIX_KERNEL(Fwd, 2, m6, double, kForward)
QVLS_DEFINE_DFT_RADIX_KERNEL(Inv, 2, m6, double, kInverse)
QVLS_DEFINE_DFT_RADIX_KERNEL(Inv, 4, m6, double, kInverse)

namespace {
QVLS_DEFINE_DFT_MIXED_POLICY(M6, m6, m6, px, m6, m6)
}  // namespace

QVLS_DEFINE_DFT_MIXED_DRIVERS(m6, M6)
