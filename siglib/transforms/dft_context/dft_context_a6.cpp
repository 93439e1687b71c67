// The DFT context and its transforms, a6 variant: the scale in single precision, roots subsets with
// index entries; px's work-size query and factorisation.
#include "siglib/transforms/dft_context/context_engine.h"
#include "siglib/transforms/dft_context/dispatch.h"
#include "siglib/transforms/dft_context/roots_table.h"
#include "siglib/transforms/dft_context/variants.h"

QVLS_DEFINE_DFT_ENTRIES(a6, qvls::dft::A6)

dft_roots_table* qvlsDFTRootsSubset_cf32_a6(std::int32_t n, const float* table, std::int32_t t) {
  return qvls::dft::BuildRootsSubset<true>(n, table, t);
}
