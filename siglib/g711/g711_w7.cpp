// G.711 coders, w7 variant: its own copy of the m6 code.
#include "siglib/g711/g711_entries.h"
#include "siglib/g711/g711_rules.h"

QVLS_DEFINE_G711_COPY(w7, QVLS_VARIANT_W7)
