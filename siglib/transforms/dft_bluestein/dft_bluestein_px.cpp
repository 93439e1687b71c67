// Bluestein's algorithm, generic variant: the products in double, rounded
// once per part; the zero fill and the conjugate (which m6 and a6 run too).
#include "siglib/transforms/dft_bluestein/bluestein_engine.h"
#include "siglib/transforms/dft_bluestein/elementwise.h"
#include "siglib/transforms/dft_context/variants.h"

QVLS_DEFINE_BLUESTEIN_ENTRIES(px, qvls::dft::Px)

void qvlsMul_cf32_px(const float* a, const float* b, float* dst, std::int32_t n) {
  qvls::bluestein::MulScalar(a, b, dst, n);
}
void qvlsZero_cf32_px(float* dst, std::int32_t n) { qvls::bluestein::ZeroScalar(dst, n); }
void qvlsConj_cf32_px(const float* src, float* dst, std::int32_t n) {
  qvls::bluestein::ConjScalar(src, dst, n);
}
