// Bluestein's algorithm, m6 variant: px's product and conjugate, a zero fill
// of its own with the generic code.
#include "siglib/transforms/dft_bluestein/bluestein_engine.h"
#include "siglib/transforms/dft_bluestein/elementwise.h"
#include "siglib/transforms/dft_context/variants.h"

QVLS_DEFINE_BLUESTEIN_ENTRIES(m6, qvls::dft::M6)

void qvlsZero_cf32_m6(float* dst, std::int32_t n) { qvls::bluestein::ZeroScalar(dst, n); }
