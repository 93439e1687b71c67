// Bluestein's algorithm, a6 variant: the product in 128-bit single
// precision (w7 runs the same code), zero fills by single-precision stores,
// px's conjugate.
#include "siglib/transforms/dft_bluestein/bluestein_engine.h"
#include "siglib/transforms/dft_bluestein/elementwise.h"
#include "siglib/transforms/dft_context/variants.h"

QVLS_DEFINE_BLUESTEIN_ENTRIES(a6, qvls::dft::A6)

void qvlsMul_cf32_a6(const float* a, const float* b, float* dst, std::int32_t n) {
  qvls::bluestein::MulVector(a, b, dst, n);
}
void qvlsZero_cf32_a6(float* dst, std::int32_t n) {
  qvls::bluestein::ZeroVector<qvls::bluestein::StoreFloatZeros>(dst, n);
}
