// The phase of complex vectors in its variants (slot s90): every column its own.
#pragma once

#include "siglib/frame/entries.h"

qvlsPhase_ci16toi16_sc_fn qvlsPhase_ci16toi16_sc_px, qvlsPhase_ci16toi16_sc_m6,
    qvlsPhase_ci16toi16_sc_a6, qvlsPhase_ci16toi16_sc_w7;

QVLS_VARIANT_ENTRIES(qvlsPhase_ci16toi16_sc, qvlsPhase_ci16toi16_sc_px, qvlsPhase_ci16toi16_sc_m6,
                     qvlsPhase_ci16toi16_sc_a6, qvlsPhase_ci16toi16_sc_w7);
