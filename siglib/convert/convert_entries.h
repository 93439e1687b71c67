// The conversion family's slots: widening, narrowing and flip have an entry
// per variant (w7's flip is its own copy of the a6 code).
#pragma once

#include "siglib/convert/convert.h"
#include "siglib/frame/entries.h"

QVLS_VARIANT_ENTRIES(qvlsConvert_i16toi32, qvlsConvert_i16toi32_px, qvlsConvert_i16toi32_m6,
                     qvlsConvert_i16toi32_a6, qvlsConvert_i16toi32_w7);
QVLS_VARIANT_ENTRIES(qvlsConvert_i32toi16, qvlsConvert_i32toi16_px, qvlsConvert_i32toi16_m6,
                     qvlsConvert_i32toi16_a6, qvlsConvert_i32toi16_w7);
QVLS_VARIANT_ENTRIES(qvlsFlip_i16, qvlsFlip_i16_px, qvlsFlip_i16_m6, qvlsFlip_i16_a6,
                     qvlsFlip_i16_w7);
