// Up- and down-sampling, px variant: the generic loops, one sample at a
// time; factor 1 through the px copy.
#include "siglib/memory/memory.h"
#include "siglib/resample/resample_entries.h"
#include "siglib/resample/resample_rules.h"

QVLS_DEFINE_GENERIC_RESAMPLE_ENTRIES(px)
