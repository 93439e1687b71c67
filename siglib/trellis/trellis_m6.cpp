// The trellis kernels, m6 variant: its own copies of the scalar 2D metrics
// (a6 runs them too) and of the 4D loop; add-compare-select is px's.
#include "siglib/trellis/trellis_define_entries.h"

QVLS_DEFINE_TRELLIS_2D_ENTRY(m6, QVLS_VARIANT_M6)
QVLS_DEFINE_TRELLIS_4D_LOOP_ENTRY(m6, QVLS_VARIANT_M6)
