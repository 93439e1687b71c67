// G.711 coders, m6 variant: decoders read four codes at once; encoders
// search 32-bit bounds in a loop (mu-law after its clip test).
#include "siglib/g711/g711_entries.h"
#include "siglib/g711/g711_rules.h"

QVLS_DEFINE_G711_COPY(m6, QVLS_VARIANT_M6)
