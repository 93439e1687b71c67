// The mixed-radix DFT, a6 variant: scalar single precision, every operation
// rounded to single, in the generic variant's expressions and order.
#include "siglib/transforms/dft_mixed/drivers.h"
#include "siglib/transforms/dft_mixed/kernels.h"

QVLS_DEFINE_DFT_MIXED_OWN_KERNELS(a6, float)

namespace {
QVLS_DEFINE_DFT_MIXED_POLICY(A6, a6, a6, a6, a6, a6)
}  // namespace

QVLS_DEFINE_DFT_MIXED_DRIVERS(a6, A6)
