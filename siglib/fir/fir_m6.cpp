// The FIR filters, m6 variant: the generic layouts and the generic
// algorithm, as m6's own compiled copies over its own block operations.
#include "siglib/fir/fir_column_entries.h"
#include "siglib/fir/fir_generic.h"

using qvls::fir::Layout;

QVLS_FIR_SETUP_ENTRIES(m6, Layout::kGenericReal, Layout::kGenericComplex)
QVLS_FIR_GENERIC_FILTER_ENTRIES(m6, QVLS_FIR_MEMORY(m6))
QVLS_FIR_IN_PLACE_ENTRIES(m6, Layout::kGenericReal, Layout::kGenericComplex)
