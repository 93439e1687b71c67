// The mixed-radix DFT, w7 variant: scalar single precision, every operation
// rounded to single, in the generic variant's expressions and order.
#include "siglib/transforms/dft_mixed/drivers.h"
#include "siglib/transforms/dft_mixed/kernels.h"

QVLS_DEFINE_DFT_MIXED_OWN_KERNELS(w7, float)

namespace {
QVLS_DEFINE_DFT_MIXED_POLICY(W7, w7, w7, w7, w7, w7)
}  // namespace

QVLS_DEFINE_DFT_MIXED_DRIVERS(w7, W7)
