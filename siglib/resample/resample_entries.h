// Up- and down-sampling in its variants (slots s72, s73): every column its
// own entry, each copying factor 1 through its own variant of the copy.
#pragma once

#include "siglib/frame/entries.h"

qvlsUpsample_i16_fn qvlsUpsample_i16_px, qvlsUpsample_i16_m6, qvlsUpsample_i16_a6,
    qvlsUpsample_i16_w7;
qvlsDownsample_i16_fn qvlsDownsample_i16_px, qvlsDownsample_i16_m6, qvlsDownsample_i16_a6,
    qvlsDownsample_i16_w7;

QVLS_VARIANT_ENTRIES(qvlsUpsample_i16, qvlsUpsample_i16_px, qvlsUpsample_i16_m6,
                     qvlsUpsample_i16_a6, qvlsUpsample_i16_w7);
QVLS_VARIANT_ENTRIES(qvlsDownsample_i16, qvlsDownsample_i16_px, qvlsDownsample_i16_m6,
                     qvlsDownsample_i16_a6, qvlsDownsample_i16_w7);
