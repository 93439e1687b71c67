// The DFT context and its transforms, generic variant: the scale in double, the roots copied
// without index entries; its work-size query and factorisation serve m6 and a6.
#include "siglib/transforms/dft_context/context_engine.h"
#include "siglib/transforms/dft_context/dispatch.h"
#include "siglib/transforms/dft_context/roots_table.h"
#include "siglib/transforms/dft_context/variants.h"

QVLS_DEFINE_DFT_ENTRIES(px, qvls::dft::Px)
QVLS_DEFINE_DFT_SHARED_ENTRIES(px)

dft_roots_table* qvlsDFTRootsSubset_cf32_px(std::int32_t n, const float* table, std::int32_t t) {
  return qvls::dft::BuildRootsSubset<false>(n, table, t);
}
