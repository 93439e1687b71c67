// G.711 coders, a6 variant: its own copy of the m6 code.
#include "siglib/g711/g711_entries.h"
#include "siglib/g711/g711_rules.h"

QVLS_DEFINE_G711_COPY(a6, QVLS_VARIANT_A6)
