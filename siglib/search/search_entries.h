// Minimum, maximum and nearest value in their variants (slots s103, s75,
// s74, s99, s28, s29): the index searches of a6 also serve w7; the single
// nearest value runs the px search up to a6.
#pragma once

#include "siglib/frame/entries.h"

qvlsMin_i16_fn qvlsMin_i16_px, qvlsMin_i16_m6, qvlsMin_i16_a6, qvlsMin_i16_w7;
qvlsMax_i16_fn qvlsMax_i16_px, qvlsMax_i16_m6, qvlsMax_i16_a6, qvlsMax_i16_w7;
qvlsMinWithIndex_i16_fn qvlsMinWithIndex_i16_px, qvlsMinWithIndex_i16_m6, qvlsMinWithIndex_i16_a6;
qvlsMaxWithIndex_i16_fn qvlsMaxWithIndex_i16_px, qvlsMaxWithIndex_i16_m6, qvlsMaxWithIndex_i16_a6;
qvlsNearest_u16_fn qvlsNearest_u16_px, qvlsNearest_u16_w7;
qvlsNearestVec_u16_fn qvlsNearestVec_u16_px, qvlsNearestVec_u16_m6, qvlsNearestVec_u16_a6,
    qvlsNearestVec_u16_w7;

QVLS_VARIANT_ENTRIES(qvlsMin_i16, qvlsMin_i16_px, qvlsMin_i16_m6, qvlsMin_i16_a6, qvlsMin_i16_w7);
QVLS_VARIANT_ENTRIES(qvlsMax_i16, qvlsMax_i16_px, qvlsMax_i16_m6, qvlsMax_i16_a6, qvlsMax_i16_w7);
QVLS_VARIANT_ENTRIES(qvlsMinWithIndex_i16, qvlsMinWithIndex_i16_px, qvlsMinWithIndex_i16_m6,
                     qvlsMinWithIndex_i16_a6, qvlsMinWithIndex_i16_a6);
QVLS_VARIANT_ENTRIES(qvlsMaxWithIndex_i16, qvlsMaxWithIndex_i16_px, qvlsMaxWithIndex_i16_m6,
                     qvlsMaxWithIndex_i16_a6, qvlsMaxWithIndex_i16_a6);
QVLS_VARIANT_ENTRIES(qvlsNearest_u16, qvlsNearest_u16_px, qvlsNearest_u16_px, qvlsNearest_u16_px,
                     qvlsNearest_u16_w7);
QVLS_VARIANT_ENTRIES(qvlsNearestVec_u16, qvlsNearestVec_u16_px, qvlsNearestVec_u16_m6,
                     qvlsNearestVec_u16_a6, qvlsNearestVec_u16_w7);
