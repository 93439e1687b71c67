// Dot products in their variants (slots s91 to s95). s91 and s92 share the
// m6 kernel in m6 and a6; s93 and s95 run the px loop up to a6; s94 has its
// own kernels in a6 and w7 only.
#pragma once

#include "siglib/frame/entries.h"

qvlsDot_i16_sc_fn qvlsDot_i16_sc_px, qvlsDot_i16_sc_m6, qvlsDot_i16_sc_w7;
qvlsDot_i16toi32_sc_fn qvlsDot_i16toi32_sc_px, qvlsDot_i16toi32_sc_m6, qvlsDot_i16toi32_sc_w7;
qvlsDot_i16i32toi32_sc_fn qvlsDot_i16i32toi32_sc_px, qvlsDot_i16i32toi32_sc_w7;
qvlsDot_i16ci16toci32_sc_fn qvlsDot_i16ci16toci32_sc_px, qvlsDot_i16ci16toci32_sc_a6,
    qvlsDot_i16ci16toci32_sc_w7;
qvlsDot_i32_sc_fn qvlsDot_i32_sc_px, qvlsDot_i32_sc_w7;

QVLS_VARIANT_ENTRIES(qvlsDot_i16_sc, qvlsDot_i16_sc_px, qvlsDot_i16_sc_m6, qvlsDot_i16_sc_m6,
                     qvlsDot_i16_sc_w7);
QVLS_VARIANT_ENTRIES(qvlsDot_i16toi32_sc, qvlsDot_i16toi32_sc_px, qvlsDot_i16toi32_sc_m6,
                     qvlsDot_i16toi32_sc_m6, qvlsDot_i16toi32_sc_w7);
QVLS_VARIANT_ENTRIES(qvlsDot_i16i32toi32_sc, qvlsDot_i16i32toi32_sc_px, qvlsDot_i16i32toi32_sc_px,
                     qvlsDot_i16i32toi32_sc_px, qvlsDot_i16i32toi32_sc_w7);
QVLS_VARIANT_ENTRIES(qvlsDot_i16ci16toci32_sc, qvlsDot_i16ci16toci32_sc_px,
                     qvlsDot_i16ci16toci32_sc_px, qvlsDot_i16ci16toci32_sc_a6,
                     qvlsDot_i16ci16toci32_sc_w7);
QVLS_VARIANT_ENTRIES(qvlsDot_i32_sc, qvlsDot_i32_sc_px, qvlsDot_i32_sc_px, qvlsDot_i32_sc_px,
                     qvlsDot_i32_sc_w7);
