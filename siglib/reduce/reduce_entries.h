// Sum, mean and norms in their variants (slots s100, s44, s68 to s71): the
// sum and the mean run the m6 kernel in a6; the norms have an entry per
// variant.
#pragma once

#include "siglib/frame/entries.h"

qvlsSum_i16toi32_sc_fn qvlsSum_i16toi32_sc_px, qvlsSum_i16toi32_sc_m6, qvlsSum_i16toi32_sc_w7;
qvlsMean_i16_sc_fn qvlsMean_i16_sc_px, qvlsMean_i16_sc_m6, qvlsMean_i16_sc_w7;
qvlsNormInf_i16toi32_sc_fn qvlsNormInf_i16toi32_sc_px, qvlsNormInf_i16toi32_sc_m6,
    qvlsNormInf_i16toi32_sc_a6, qvlsNormInf_i16toi32_sc_w7;
qvlsNormL1_i16toi32_sc_fn qvlsNormL1_i16toi32_sc_px, qvlsNormL1_i16toi32_sc_m6,
    qvlsNormL1_i16toi32_sc_a6, qvlsNormL1_i16toi32_sc_w7;
qvlsNormL2_i16toi32_sc_fn qvlsNormL2_i16toi32_sc_px, qvlsNormL2_i16toi32_sc_m6,
    qvlsNormL2_i16toi32_sc_a6, qvlsNormL2_i16toi32_sc_w7;
qvlsDiffNormL1_i16toi32_sc_fn qvlsDiffNormL1_i16toi32_sc_px, qvlsDiffNormL1_i16toi32_sc_m6,
    qvlsDiffNormL1_i16toi32_sc_a6, qvlsDiffNormL1_i16toi32_sc_w7;

QVLS_VARIANT_ENTRIES(qvlsSum_i16toi32_sc, qvlsSum_i16toi32_sc_px, qvlsSum_i16toi32_sc_m6,
                     qvlsSum_i16toi32_sc_m6, qvlsSum_i16toi32_sc_w7);
QVLS_VARIANT_ENTRIES(qvlsMean_i16_sc, qvlsMean_i16_sc_px, qvlsMean_i16_sc_m6, qvlsMean_i16_sc_m6,
                     qvlsMean_i16_sc_w7);
QVLS_VARIANT_ENTRIES(qvlsNormInf_i16toi32_sc, qvlsNormInf_i16toi32_sc_px,
                     qvlsNormInf_i16toi32_sc_m6, qvlsNormInf_i16toi32_sc_a6,
                     qvlsNormInf_i16toi32_sc_w7);
QVLS_VARIANT_ENTRIES(qvlsNormL1_i16toi32_sc, qvlsNormL1_i16toi32_sc_px, qvlsNormL1_i16toi32_sc_m6,
                     qvlsNormL1_i16toi32_sc_a6, qvlsNormL1_i16toi32_sc_w7);
QVLS_VARIANT_ENTRIES(qvlsNormL2_i16toi32_sc, qvlsNormL2_i16toi32_sc_px, qvlsNormL2_i16toi32_sc_m6,
                     qvlsNormL2_i16toi32_sc_a6, qvlsNormL2_i16toi32_sc_w7);
QVLS_VARIANT_ENTRIES(qvlsDiffNormL1_i16toi32_sc, qvlsDiffNormL1_i16toi32_sc_px,
                     qvlsDiffNormL1_i16toi32_sc_m6, qvlsDiffNormL1_i16toi32_sc_a6,
                     qvlsDiffNormL1_i16toi32_sc_w7);
