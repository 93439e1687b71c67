// Bluestein's algorithm, w7 variant: a6's product code, zero fills by
// 128-bit integer stores, the generic conjugate under its own name.
#include "siglib/transforms/dft_bluestein/bluestein_engine.h"
#include "siglib/transforms/dft_bluestein/elementwise.h"
#include "siglib/transforms/dft_context/variants.h"

QVLS_DEFINE_BLUESTEIN_ENTRIES(w7, qvls::dft::W7)

void qvlsMul_cf32_w7(const float* a, const float* b, float* dst, std::int32_t n) {
  qvls::bluestein::MulVector(a, b, dst, n);
}
void qvlsZero_cf32_w7(float* dst, std::int32_t n) {
  qvls::bluestein::ZeroVector<qvls::bluestein::StoreIntegerZeros>(dst, n);
}
void qvlsConj_cf32_w7(const float* src, float* dst, std::int32_t n) {
  qvls::bluestein::ConjScalar(src, dst, n);
}
