// Up- and down-sampling, m6 variant: the generic loops, one sample at a
// time; factor 1 through the m6 copy.
#include "siglib/memory/memory.h"
#include "siglib/resample/resample_entries.h"
#include "siglib/resample/resample_rules.h"

QVLS_DEFINE_GENERIC_RESAMPLE_ENTRIES(m6)
