// The DFT context and its transforms, m6 variant: the generic variant's arithmetic (the scale in
// double), px's roots subsets, work-size query and factorisation.
#include "siglib/transforms/dft_context/context_engine.h"
#include "siglib/transforms/dft_context/dispatch.h"
#include "siglib/transforms/dft_context/roots_table.h"
#include "siglib/transforms/dft_context/variants.h"

QVLS_DEFINE_DFT_ENTRIES(m6, qvls::dft::M6)
